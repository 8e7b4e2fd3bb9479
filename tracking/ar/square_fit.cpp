#include "tracking/ar/stages.h"

#include <algorithm>
#include <cmath>

namespace kwo::ar {
namespace {

struct Line {
    double a, b, c; // a x + b y + c = 0, a^2 + b^2 = 1
};

// Recursively collects the outline points that stand out from the chord
// between two outline positions (indices taken modulo n), in outline order.
void collectCorners(const std::vector<cv::Point>& outline, int from, int to, double threshold,
                    std::vector<int>& corners) {
    if (corners.size() > 8 || to - from < 2) return;
    const int n = static_cast<int>(outline.size());
    const cv::Point& a = outline[from % n];
    const cv::Point& b = outline[to % n];
    const long ex = b.x - a.x, ey = b.y - a.y;
    const double length = std::sqrt(static_cast<double>(ex * ex + ey * ey));
    // Distance from the chord (times its length), or from the start point
    // (squared) when the chord closes the outline; exact in integers.
    long best = -1;
    int bestIndex = -1;
    auto farthest = [&](int begin, int end, int shift) {
        for (int i = begin; i < end; ++i) {
            const long px = outline[i - shift].x - a.x, py = outline[i - shift].y - a.y;
            const long d = length > 0 ? std::abs(px * ey - py * ex) : px * px + py * py;
            if (d > best) {
                best = d;
                bestIndex = i;
            }
        }
    };
    // Positions run up to twice round the outline: the stretch past its end
    // is read from its start.
    farthest(from + 1, std::min(to, n), 0);
    farthest(std::max(from + 1, n), to, n);
    if (best <= (length > 0 ? threshold * length : threshold * threshold)) return;
    collectCorners(outline, from, bestIndex, threshold, corners);
    corners.push_back(bestIndex % n);
    collectCorners(outline, bestIndex, to, threshold, corners);
}

// Defined with the side fits below.
double fitSide(const std::vector<cv::Point2d>& points, double tolerance, Line& line, std::vector<cv::Point2d>& scratch);
double distance(const Line& l, const cv::Point2d& p);

// Of a few more bends than four (a corner rounded off by blur into two), the
// four that span the largest quadrilateral, if every other bend is one half
// of a split corner: on the quadrilateral's outline, near one of its
// corners or on one of its sides. A fifth corner of its own (a house, a
// hexagon) or the bends of a disc or a blob stand off it or turn it
// sharply. Whether the sides are straight is for the side fits to tell.
bool keepFourCorners(const std::vector<cv::Point>& outline, double bendThreshold, std::vector<int>& corners) {
    std::sort(corners.begin(), corners.end());
    const int m = static_cast<int>(corners.size());
    double bestArea = 0;
    int best[4] = {0, 1, 2, 3};
    for (int a = 0; a < m; ++a)
        for (int b = a + 1; b < m; ++b)
            for (int c = b + 1; c < m; ++c)
                for (int d = c + 1; d < m; ++d) {
                    const int pick[4] = {a, b, c, d};
                    double area = 0;
                    for (int i = 0; i < 4; ++i) {
                        const cv::Point& p = outline[corners[pick[i]]];
                        const cv::Point& q = outline[corners[pick[(i + 1) % 4]]];
                        area += static_cast<double>(p.x) * q.y - static_cast<double>(q.x) * p.y;
                    }
                    if (std::abs(area) > bestArea) {
                        bestArea = std::abs(area);
                        std::copy(pick, pick + 4, best);
                    }
                }
    std::vector<int> kept;
    for (int i : best) kept.push_back(corners[i]);
    double perimeter = 0;
    for (int i = 0; i < 4; ++i) {
        const cv::Point& a = outline[kept[i]];
        const cv::Point& b = outline[kept[(i + 1) % 4]];
        perimeter += std::hypot(b.x - a.x, b.y - a.y);
    }
    // Each side's straight line, fitted to the outline between its kept
    // bends as the side fits will do. The chord between two kept bends is no
    // measure: blur rounds an acute corner back by a pixel or more, so the
    // chord to its bend runs askew to the side.
    const int n = static_cast<int>(outline.size());
    Line sides[4];
    std::vector<cv::Point2d> points, scratch;
    for (int i = 0; i < 4; ++i) {
        const int start = kept[i], end = i == 3 ? kept[0] + n : kept[i + 1];
        const int trim = static_cast<int>((end - start) * 0.05) + 1;
        points.clear();
        for (int k = start + trim; k <= end - trim; ++k) points.emplace_back(outline[k % n].x, outline[k % n].y);
        const cv::Point& a = outline[start];
        const cv::Point& b = outline[end % n];
        if (fitSide(points, 1.5 + 0.03 * std::hypot(b.x - a.x, b.y - a.y), sides[i], scratch) == 0) return false;
    }
    // The half of a split corner that was left out lies close beside the
    // kept half. Where blur has rounded off a long stretch of an acute
    // corner, it is where the straight side begins, or a slight bend along
    // it: on that side's line within about a pixel, far less than a bend
    // has to stand out to be one, and turning the outline by little. The
    // bends of a disc or a polygon turn it by 360 degrees over their number
    // (45 or more, as there are at most 8).
    const double offLine = std::max(1.5, 0.5 * bendThreshold);
    const double slightTurnCosine = std::cos(20 * CV_PI / 180);
    for (int j = 0; j < m; ++j) {
        const int c = corners[j];
        if (std::find(kept.begin(), kept.end(), c) != kept.end()) continue;
        const cv::Point& p = outline[c];
        double nearestCorner = 1e18;
        for (int k : kept) nearestCorner = std::min(nearestCorner, std::hypot(p.x - outline[k].x, p.y - outline[k].y));
        if (nearestCorner <= 0.06 * perimeter + 1.5) continue;
        // The side whose stretch of outline holds the bend.
        int side = 3;
        for (int i = 0; i < 3; ++i)
            if (c > kept[i] && c < kept[i + 1]) side = i;
        // The turn between the chords to the neighbouring bends.
        const cv::Point& before = outline[corners[(j + m - 1) % m]];
        const cv::Point& after = outline[corners[(j + 1) % m]];
        const cv::Point2d e0(p.x - before.x, p.y - before.y), e1(after.x - p.x, after.y - p.y);
        const double turnCosine = e0.dot(e1) / (std::hypot(e0.x, e0.y) * std::hypot(e1.x, e1.y));
        if (distance(sides[side], cv::Point2d(p.x, p.y)) > offLine || !(turnCosine >= slightTurnCosine)) return false;
    }
    corners = kept;
    return true;
}

// Least-squares line through points (direction of largest spread).
bool fitLine(const std::vector<cv::Point2d>& points, Line& line) {
    if (points.size() < 2) return false;
    double mx = 0, my = 0;
    for (const auto& p : points) {
        mx += p.x;
        my += p.y;
    }
    mx /= points.size();
    my /= points.size();
    double sxx = 0, sxy = 0, syy = 0;
    for (const auto& p : points) {
        const double x = p.x - mx, y = p.y - my;
        sxx += x * x;
        sxy += x * y;
        syy += y * y;
    }
    // The normal is the eigenvector of the smaller eigenvalue.
    const double angle = 0.5 * std::atan2(2 * sxy, sxx - syy); // direction of the line
    line.a = -std::sin(angle);
    line.b = std::cos(angle);
    line.c = -(line.a * mx + line.b * my);
    return sxx + syy > 0;
}

double distance(const Line& l, const cv::Point2d& p) { return std::abs(l.a * p.x + l.b * p.y + l.c); }

// Fits a side and refits it on the points that follow the first fit (the
// rounded ends of a blurred corner do not). Returns the share of points
// within `tolerance` of the final line.
double fitSide(const std::vector<cv::Point2d>& points, double tolerance, Line& line, std::vector<cv::Point2d>& scratch) {
    if (!fitLine(points, line)) return 0;
    scratch.clear();
    for (const auto& p : points)
        if (distance(line, p) <= tolerance) scratch.push_back(p);
    if (scratch.size() >= 2 && scratch.size() < points.size()) {
        Line refit;
        if (fitLine(scratch, refit)) line = refit;
    }
    int near = 0;
    for (const auto& p : points) near += distance(line, p) <= tolerance;
    return static_cast<double>(near) / points.size();
}

bool intersect(const Line& l1, const Line& l2, cv::Point2d& p) {
    const double det = l1.a * l2.b - l2.a * l1.b;
    if (std::abs(det) < 1e-9) return false;
    p.x = (l1.b * l2.c - l2.b * l1.c) / det;
    p.y = (l2.a * l1.c - l1.a * l2.c) / det;
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// Distortion factor 0 and scale 1 leave positions as they are; the Newton
// steps are then skipped.
bool isDistorted(const double d[4]) { return d[2] != 0 || d[3] != 1.0; }

cv::Point2d toIdeal(const double d[4], double x, double y) {
    if (!isDistorted(d)) return {x, y};
    cv::Point2d p;
    observedToIdeal(d, x, y, p.x, p.y);
    return p;
}

// Moves a side onto the steepest dark-to-bright step across it: samples the
// brightness along the outward normal at points spread over the side (away
// from the corners) and fits a line to the step positions (kept in
// `points`). The search reaches `reach` pixels either way (0: a few pixels,
// for a side already on its edge); `samples`, when given, receives how
// many places were searched.
bool refineSide(const FrameView& frame, const double d[4], const cv::Point2d& from, const cv::Point2d& to,
                const Line& current, Line& refined, std::vector<cv::Point2d>& points, double reach = 0,
                int* searched = nullptr) {
    const double length = std::hypot(to.x - from.x, to.y - from.y);
    const int samples = std::clamp(static_cast<int>(length / 3), 6, 24);
    if (searched) *searched = samples;
    if (reach <= 0) reach = std::clamp(0.06 * length, 1.2, 3.0);
    constexpr int maxSteps = 64;
    const double stepSize = std::max(0.25, 2 * reach / (maxSteps - 1));
    const int steps = std::min(maxSteps, static_cast<int>(2 * reach / stepSize) + 1);
    points.clear();
    double profile[maxSteps];
    const bool distorted = isDistorted(d);
    for (int s = 0; s < samples; ++s) {
        const double t = 0.12 + 0.76 * (s + 0.5) / samples;
        const double px = from.x + (to.x - from.x) * t, py = from.y + (to.y - from.y) * t;
        // Project onto the current line so the search is centred on it.
        const double off = current.a * px + current.b * py + current.c;
        const double cx = px - off * current.a, cy = py - off * current.b;
        bool ok = true;
        if (distorted) {
            for (int k = 0; k < steps && ok; ++k) {
                const double o = -reach + k * stepSize;
                double ox = cx + o * current.a, oy = cy + o * current.b;
                idealToObserved(d, ox, oy, ox, oy);
                if (!frame.contains(ox, oy)) ok = false;
                else profile[k] = frame.brightnessAt(ox, oy);
            }
        } else {
            // A straight search line lies in the frame when both its ends do.
            const double last = -reach + (steps - 1) * stepSize;
            ok = frame.contains(cx - reach * current.a, cy - reach * current.b) &&
                 frame.contains(cx + last * current.a, cy + last * current.b);
            for (int k = 0; k < steps && ok; ++k) {
                const double o = -reach + k * stepSize;
                profile[k] = frame.brightnessAt(cx + o * current.a, cy + o * current.b);
            }
        }
        if (!ok) continue;
        double step[maxSteps];
        int best = -1;
        double bestStep = 0;
        for (int k = 0; k + 1 < steps; ++k) {
            step[k] = profile[k + 1] - profile[k];
            if (step[k] > bestStep) {
                bestStep = step[k];
                best = k;
            }
        }
        // A step of less than about 3 grey levels per quarter pixel is noise.
        if (best < 0 || bestStep < 9 * stepSize / 0.25) continue;
        // The edge is the centroid of the rise around the steepest step: a
        // sharp edge between two pixels rises evenly over a whole pixel of
        // the interpolated profile, a blurred one over several.
        int first = best, last = best;
        while (first > 0 && step[first - 1] > 0.05 * bestStep) --first;
        while (last + 2 < steps && step[last + 1] > 0.05 * bestStep) ++last;
        double weight = 0, moment = 0;
        for (int k = first; k <= last; ++k) {
            weight += step[k];
            moment += step[k] * (k + 0.5);
        }
        const double o = -reach + moment / weight * stepSize;
        points.emplace_back(cx + o * current.a, cy + o * current.b);
    }
    if (points.size() < 4) return false;
    return fitLine(points, refined);
}

double signedArea(const cv::Point2d v[4]) {
    double sum = 0;
    for (int i = 0; i < 4; ++i) sum += v[i].x * v[(i + 1) % 4].y - v[(i + 1) % 4].x * v[i].y;
    return 0.5 * sum;
}

bool isConvex(const cv::Point2d v[4]) {
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d e1 = v[(i + 1) % 4] - v[i], e2 = v[(i + 2) % 4] - v[(i + 1) % 4];
        const double cross = e1.x * e2.y - e1.y * e2.x;
        const int s = cross > 0 ? 1 : cross < 0 ? -1 : 0;
        if (s == 0 || (sign != 0 && s != sign)) return false;
        sign = s;
    }
    return true;
}

} // namespace

bool fitSquare(const std::vector<cv::Point>& outline, const Region& region, const FrameView& frame,
               const double distFactor[4], bool subPixel, ARMarkerInfo& marker) {
    const int n = static_cast<int>(outline.size());
    if (n < 8) return false;

    // 1. Corners: the point farthest from the outline's start is a corner;
    //    split the closed outline from there wherever it bends.
    int first = 0;
    double farthest = -1;
    for (int i = 0; i < n; ++i) {
        const double dx = outline[i].x - outline[0].x, dy = outline[i].y - outline[0].y;
        const double d = dx * dx + dy * dy;
        if (d > farthest) {
            farthest = d;
            first = i;
        }
    }
    const double threshold = std::max(1.5, 0.1 * std::sqrt(static_cast<double>(region.area)));
    std::vector<int> corners{first};
    collectCorners(outline, first, first + n, threshold, corners);
    if (corners.size() > 4 && corners.size() <= 8 && !keepFourCorners(outline, threshold, corners)) return false;
    if (corners.size() != 4) return false;
    for (int& c : corners) c = (c - first + n) % n; // positions along the outline from `first`
    std::sort(corners.begin(), corners.end());

    // 2. Sides: each side's outline points, trimmed at both ends, taken to
    //    ideal coordinates and fitted with a line. Every side must be one
    //    straight run: most of its points on its line.
    std::vector<cv::Point2d> ideal(n);
    for (int i = 0; i < n; ++i) ideal[i] = toIdeal(distFactor, outline[(first + i) % n].x, outline[(first + i) % n].y);
    double perimeter = 0;
    for (int side = 0; side < 4; ++side) {
        const cv::Point2d& a = ideal[corners[side]];
        const cv::Point2d& b = ideal[corners[(side + 1) % 4]];
        perimeter += std::hypot(b.x - a.x, b.y - a.y);
    }
    Line lines[4];
    std::vector<cv::Point2d> points, scratch;
    for (int side = 0; side < 4; ++side) {
        const int start = corners[side];
        const int end = side == 3 ? corners[0] + n : corners[side + 1];
        const int count = end - start;
        const int trim = static_cast<int>(count * 0.05) + 1;
        points.clear();
        for (int i = start + trim; i <= end - trim; ++i) points.push_back(ideal[i < n ? i : i - n]);
        const cv::Point2d& a = ideal[start % n];
        const cv::Point2d& b = ideal[end % n];
        // Whole pixels lie up to about 0.7 px off a straight edge; noise and
        // blur add a little, more on long sides.
        const double tolerance = 1.5 + 0.03 * std::hypot(b.x - a.x, b.y - a.y);
        if (fitSide(points, tolerance, lines[side], scratch) < 0.8) return false;
    }

    // 3. Corners again, as intersections of neighbouring sides; clockwise on
    //    screen (y down), with line[i] running from vertex[i] to vertex[i + 1].
    cv::Point2d vertex[4];
    for (int i = 0; i < 4; ++i)
        if (!intersect(lines[(i + 3) % 4], lines[i], vertex[i])) return false;
    // Each corner must be where the outline bends: lines of a thin stroke's
    // short ends meet its long sides far away.
    const double cornerReach = 2.0 + 0.03 * perimeter;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d& bend = ideal[corners[i]];
        if (std::hypot(vertex[i].x - bend.x, vertex[i].y - bend.y) > cornerReach) return false;
    }
    if (signedArea(vertex) < 0) {
        std::swap(vertex[1], vertex[3]);
        const Line l0 = lines[0], l1 = lines[1], l2 = lines[2], l3 = lines[3];
        lines[0] = l3;
        lines[1] = l2;
        lines[2] = l1;
        lines[3] = l0;
    }
    if (!isConvex(vertex)) return false;
    // A sliver (a stroke, or a marker seen almost edge-on) or a triangle
    // with one corner split in two carries no readable pattern: a square
    // tilted by 60 degrees still has sides of half the longest and corners
    // between about 50 and 130 degrees.
    double shortest = 1e18, longest = 0;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d e1 = vertex[(i + 1) % 4] - vertex[i], e0 = vertex[i] - vertex[(i + 3) % 4];
        const double length = std::hypot(e1.x, e1.y);
        shortest = std::min(shortest, length);
        longest = std::max(longest, length);
        // Cosine of the turn at this corner: near 1 is a straight run.
        const double turn = (e0.x * e1.x + e0.y * e1.y) / (std::hypot(e0.x, e0.y) * length);
        if (std::abs(turn) > std::cos(25 * CV_PI / 180)) return false;
    }
    if (shortest < 0.25 * longest) return false;
    // Below 10 px a side the pattern's inner half is 5 px across: nothing to
    // read, while specks of text that size are everywhere.
    if (signedArea(vertex) < 100) return false;

    // Orient every line so the inside of the square is on its negative side.
    const cv::Point2d centre = 0.25 * (vertex[0] + vertex[1] + vertex[2] + vertex[3]);
    for (Line& l : lines)
        if (l.a * centre.x + l.b * centre.y + l.c > 0) l = {-l.a, -l.b, -l.c};

    // 4. Sub-pixel sides on the brightness step, twice (the second pass starts
    //    from better corners).
    if (subPixel) {
        for (int pass = 0; pass < 2; ++pass) {
            Line refined[4];
            bool all = true;
            for (int i = 0; i < 4 && all; ++i) {
                all = refineSide(frame, distFactor, vertex[i], vertex[(i + 1) % 4], lines[i], refined[i], points);
                if (all && refined[i].a * centre.x + refined[i].b * centre.y + refined[i].c > 0)
                    refined[i] = {-refined[i].a, -refined[i].b, -refined[i].c};
            }
            if (!all) break;
            cv::Point2d moved[4];
            bool ok = true;
            for (int i = 0; i < 4 && ok; ++i) ok = intersect(refined[(i + 3) % 4], refined[i], moved[i]);
            if (!ok || !isConvex(moved) || signedArea(moved) <= 0) break;
            // A side that jumped by more than a few pixels locked onto
            // something else (a shadow, the pattern): keep the outline fit.
            double jump = 0;
            for (int i = 0; i < 4; ++i) jump = std::max(jump, std::hypot(moved[i].x - vertex[i].x, moved[i].y - vertex[i].y));
            if (jump > 4.0) break;
            for (int i = 0; i < 4; ++i) {
                lines[i] = refined[i];
                vertex[i] = moved[i];
            }
        }
    }

    marker.area = region.area;
    marker.pos[0] = region.cx;
    marker.pos[1] = region.cy;
    for (int i = 0; i < 4; ++i) {
        marker.vertex[i][0] = vertex[i].x;
        marker.vertex[i][1] = vertex[i].y;
        marker.line[i][0] = lines[i].a;
        marker.line[i][1] = lines[i].b;
        marker.line[i][2] = lines[i].c;
    }
    return true;
}

} // namespace kwo::ar

namespace kwo::ar {

bool followSquare(const FrameView& frame, const double distFactor[4], const ARMarkerInfo& last, ARMarkerInfo& marker) {
    cv::Point2d before[4];
    for (int i = 0; i < 4; ++i) before[i] = {last.vertex[i][0], last.vertex[i][1]};
    if (!isConvex(before)) return false;
    const double area = std::abs(signedArea(before));
    const double side = std::sqrt(area);
    // Sides of last frame's square with the inside on their negative side.
    const cv::Point2d centre = 0.25 * (before[0] + before[1] + before[2] + before[3]);
    Line lines[4];
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d& a = before[i];
        const cv::Point2d& b = before[(i + 1) % 4];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        if (length <= 0) return false;
        lines[i] = {-(b.y - a.y) / length, (b.x - a.x) / length, 0};
        lines[i].c = -(lines[i].a * a.x + lines[i].b * a.y);
        if (lines[i].a * centre.x + lines[i].b * centre.y + lines[i].c > 0) lines[i] = {-lines[i].a, -lines[i].b, -lines[i].c};
    }

    // 1. Each side searched for its edge as far as a card moves between two
    //    frames, but less than the border's width (a quarter of the side),
    //    so the search never reaches the pattern. A side is whole when the
    //    edge is found along nearly all of it, on one straight line: a thumb
    //    over it breaks the run.
    const double reach = std::clamp(0.15 * side, 3.0, 16.0);
    bool whole[4];
    Line found[4];
    std::vector<cv::Point2d> points[4], scratch;
    int searched[4];
    for (int i = 0; i < 4; ++i) {
        whole[i] = false;
        if (!refineSide(frame, distFactor, before[i], before[(i + 1) % 4], lines[i], found[i], points[i], reach,
                        &searched[i]))
            continue;
        const double length = std::hypot(before[(i + 1) % 4].x - before[i].x, before[(i + 1) % 4].y - before[i].y);
        const double onLine = fitSide(points[i], 1.0 + 0.01 * length, found[i], scratch);
        whole[i] = points[i].size() >= 0.85 * searched[i] && onLine >= 0.9;
    }

    // 2. A corner between two whole sides is where the card is now, and the
    //    whole sides turned as the card did: the sides not seen whole are
    //    last frame's, so moved.
    cv::Point2d from(0, 0), to(0, 0);
    int anchors = 0;
    for (int i = 0; i < 4; ++i) {
        cv::Point2d corner;
        if (whole[(i + 3) % 4] && whole[i] && intersect(found[(i + 3) % 4], found[i], corner)) {
            from += before[i];
            to += corner;
            ++anchors;
        }
    }
    if (anchors == 0) return false;
    from *= 1.0 / anchors;
    to *= 1.0 / anchors;
    double turn = 0;
    int turned = 0;
    for (int i = 0; i < 4; ++i)
        if (whole[i]) {
            double t = std::atan2(found[i].b, found[i].a) - std::atan2(lines[i].b, lines[i].a);
            t = std::remainder(t, CV_PI); // the fit's normal may point either way
            turn += t;
            ++turned;
        }
    turn /= turned;
    const double cosTurn = std::cos(turn), sinTurn = std::sin(turn);
    auto moved = [&](const cv::Point2d& p) {
        const cv::Point2d q = p - from;
        return to + cv::Point2d(cosTurn * q.x - sinTurn * q.y, sinTurn * q.x + cosTurn * q.y);
    };
    for (int i = 0; i < 4; ++i) {
        if (whole[i]) continue;
        // The prediction, then onto the part of the edge still seen beside
        // the thumb when enough of it is.
        const cv::Point2d a = moved(before[i]), b = moved(before[(i + 1) % 4]);
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        Line predicted{-(b.y - a.y) / length, (b.x - a.x) / length, 0};
        predicted.c = -(predicted.a * a.x + predicted.b * a.y);
        found[i] = predicted;
        scratch.clear();
        for (const cv::Point2d& p : points[i])
            if (distance(predicted, p) <= 1.5 + 0.02 * length) scratch.push_back(p);
        if (scratch.size() < 0.4 * searched[i]) continue;
        double lo = 1e18, hi = -1e18;
        for (const cv::Point2d& p : scratch) {
            const double t = ((p.x - a.x) * (b.x - a.x) + (p.y - a.y) * (b.y - a.y)) / length;
            lo = std::min(lo, t);
            hi = std::max(hi, t);
        }
        Line seen;
        if (hi - lo >= 0.3 * length && fitLine(scratch, seen)) found[i] = seen;
    }
    cv::Point2d vertex[4];
    for (int i = 0; i < 4; ++i)
        if (!intersect(found[(i + 3) % 4], found[i], vertex[i])) return false;
    if (!isConvex(vertex) || signedArea(vertex) <= 0) return false;
    // The card moved as a card does between frames: its size nearly kept,
    // no corner farther than the search reached.
    const double now = signedArea(vertex);
    if (now < 0.8 * area || now > 1.25 * area) return false;
    for (int i = 0; i < 4; ++i)
        if (std::hypot(vertex[i].x - before[i].x, vertex[i].y - before[i].y) > 2 * reach) return false;

    marker = last;
    marker.area = static_cast<int>(now);
    const cv::Point2d middle = 0.25 * (vertex[0] + vertex[1] + vertex[2] + vertex[3]);
    idealToObserved(distFactor, middle.x, middle.y, marker.pos[0], marker.pos[1]);
    for (int i = 0; i < 4; ++i) {
        marker.vertex[i][0] = vertex[i].x;
        marker.vertex[i][1] = vertex[i].y;
        marker.line[i][0] = found[i].a;
        marker.line[i][1] = found[i].b;
        marker.line[i][2] = found[i].c;
    }
    return true;
}

} // namespace kwo::ar
