#include "sweep.h"
#include "motion.h"

#include <OGRE/OgreMath.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace kwo::media {

namespace {

// The cross-section frame at u: tangent, first axis, second axis.
struct Frame {
    Ogre::Vector3 centre, tangent, first, second;
};

Frame frameAt(const Sweep& sweep, float u)
{
    constexpr float step = 1e-3f;
    const float a = std::max(0.0f, u - step);
    const float b = std::min(1.0f, u + step);
    Frame frame;
    frame.centre = sweep.spine(u);
    frame.tangent = (sweep.spine(b) - sweep.spine(a)).normalisedCopy();
    Ogre::Vector3 side = sweep.side - sweep.side.dotProduct(frame.tangent) * frame.tangent;
    if (side.squaredLength() < 1e-8f) {
        side = frame.tangent.perpendicular();
    }
    frame.first = side.normalisedCopy();
    frame.second = frame.tangent.crossProduct(frame.first);
    return frame;
}

Ogre::Vector3 pointAt(const Sweep& sweep, float u, float around)
{
    const Frame frame = frameAt(sweep, u);
    const Ogre::Vector2 r = sweep.radius(u);
    const float angle = Ogre::Math::TWO_PI * around;
    return frame.centre + frame.first * (r.x * std::cos(angle)) + frame.second * (r.y * std::sin(angle));
}

// Smooth normal from the surface's partial derivatives; at the closed ends the
// derivative around vanishes, so the normal is taken a little inside.
Ogre::Vector3 normalAt(const Sweep& sweep, float u, float around)
{
    constexpr float edge = 0.02f;
    constexpr float du = 1e-3f;
    constexpr float dv = 1e-3f;
    const float uc = std::clamp(u, edge, 1.0f - edge);
    const Ogre::Vector3 alongU = pointAt(sweep, std::min(1.0f, uc + du), around) - pointAt(sweep, std::max(0.0f, uc - du), around);
    const Ogre::Vector3 alongV = pointAt(sweep, uc, around + dv) - pointAt(sweep, uc, around - dv);
    Ogre::Vector3 normal = alongU.crossProduct(alongV);
    if (normal.squaredLength() < 1e-20f) {
        const Frame frame = frameAt(sweep, uc);
        return u < 0.5f ? -frame.tangent : frame.tangent;
    }
    normal.normalise();
    const Frame frame = frameAt(sweep, uc);
    if (normal.dotProduct(pointAt(sweep, uc, around) - frame.centre) < 0) {
        normal = -normal;
    }
    return normal;
}

} // namespace

void addSweep(Surface& surface, const Sweep& sweep)
{
    const auto base = static_cast<std::uint32_t>(surface.vertices.size());
    for (int i = 0; i <= sweep.rings; ++i) {
        const float u = static_cast<float>(i) / sweep.rings;
        for (int j = 0; j < sweep.sides; ++j) {
            const float around = static_cast<float>(j) / sweep.sides;
            Vertex vertex;
            vertex.position = pointAt(sweep, u, around);
            vertex.normal = normalAt(sweep, u, around);
            vertex.colour = sweep.colour(u, around);
            vertex.skin = sweep.skin(u);
            if (sweep.uv) {
                vertex.uv = sweep.uv(u, around);
            }
            surface.vertices.push_back(vertex);
        }
    }
    auto index = [&](int ring, int side) { return base + static_cast<std::uint32_t>(ring * sweep.sides + side % sweep.sides); };
    auto triangle = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        const auto& va = surface.vertices[a];
        const auto& vb = surface.vertices[b];
        const auto& vc = surface.vertices[c];
        const Ogre::Vector3 face = (vb.position - va.position).crossProduct(vc.position - va.position);
        if (face.squaredLength() < 1e-12f) {
            return;   // collapsed at a closed end
        }
        if (face.dotProduct(va.normal + vb.normal + vc.normal) < 0) {
            std::swap(b, c);
        }
        surface.indices.insert(surface.indices.end(), {a, b, c});
    };
    for (int i = 0; i < sweep.rings; ++i) {
        for (int j = 0; j < sweep.sides; ++j) {
            triangle(index(i, j), index(i + 1, j), index(i + 1, j + 1));
            triangle(index(i, j), index(i + 1, j + 1), index(i, j + 1));
        }
    }
}

Ogre::Vector3 curve(const std::vector<Ogre::Vector3>& points, float u)
{
    if (points.size() < 2) {
        throw std::invalid_argument("a curve needs two points");
    }
    const float scaled = std::clamp(u, 0.0f, 1.0f) * static_cast<float>(points.size() - 1);
    const std::size_t i = std::min(static_cast<std::size_t>(scaled), points.size() - 2);
    const float t = scaled - static_cast<float>(i);
    const Ogre::Vector3& p1 = points[i];
    const Ogre::Vector3& p2 = points[i + 1];
    const Ogre::Vector3 p0 = i == 0 ? p1 * 2 - p2 : points[i - 1];
    const Ogre::Vector3 p3 = i + 2 >= points.size() ? p2 * 2 - p1 : points[i + 2];
    const float t2 = t * t;
    const float t3 = t2 * t;
    return 0.5f * ((2 * p1) + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 + (-p0 + 3 * p1 - 3 * p2 + p3) * t3);
}

std::function<Ogre::Vector3(float)> curveOf(std::vector<Ogre::Vector3> points)
{
    return [points = std::move(points)](float u) { return curve(points, u); };
}

std::function<Ogre::Vector3(float)> line(Ogre::Vector3 from, Ogre::Vector3 to)
{
    return [from, to](float u) { return from + (to - from) * u; };
}

float ellipse(float u)
{
    return std::sqrt(std::max(0.0f, 4.0f * u * (1.0f - u)));
}

float capsule(float u, float ends)
{
    const float d = std::min(u, 1.0f - u);
    if (d >= ends) {
        return 1.0f;
    }
    const float t = (ends - d) / ends;
    return std::sqrt(std::max(0.0f, 1.0f - t * t));
}

float leaf(float u, float widest)
{
    if (u <= widest) {
        const float t = (widest - u) / widest;
        return std::sqrt(std::max(0.0f, 1.0f - t * t));
    }
    const float t = (u - widest) / (1.0f - widest);
    return std::pow(std::max(0.0f, 1.0f - t * t), 0.75f);
}

Skin rigid(int bone)
{
    return Skin{{bone, bone}, {1.0f, 0.0f}};
}

Skin blend(int a, int b, float t)
{
    const float w = smooth(t);
    if (a == b || w <= 0.0f) {
        return rigid(a);
    }
    if (w >= 1.0f) {
        return rigid(b);
    }
    return Skin{{a, b}, {1.0f - w, w}};
}

Skin chain(const std::vector<std::pair<float, int>>& stops, float u)
{
    if (u <= stops.front().first) {
        return rigid(stops.front().second);
    }
    for (std::size_t i = 1; i < stops.size(); ++i) {
        if (u <= stops[i].first) {
            const float t = (u - stops[i - 1].first) / (stops[i].first - stops[i - 1].first);
            return blend(stops[i - 1].second, stops[i].second, t);
        }
    }
    return rigid(stops.back().second);
}

float smooth(float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

Ogre::ColourValue mix(const Ogre::ColourValue& a, const Ogre::ColourValue& b, float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    return a * (1.0f - t) + b * t;
}

Ogre::ColourValue rgb(int hex)
{
    return Ogre::ColourValue(((hex >> 16) & 0xff) / 255.0f, ((hex >> 8) & 0xff) / 255.0f, (hex & 0xff) / 255.0f, 1.0f);
}

Texture paint(int width, int height, const std::function<Ogre::ColourValue(float s, float t)>& colour)
{
    Texture texture{width, height, {}};
    texture.rgba.reserve(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Ogre::ColourValue c = colour((x + 0.5f) / width, (y + 0.5f) / height).saturateCopy();
            for (float channel : {c.r, c.g, c.b, c.a}) {
                texture.rgba.push_back(static_cast<std::uint8_t>(channel * 255.0f + 0.5f));
            }
        }
    }
    return texture;
}

int Model::boneIndex(const std::string& bone) const
{
    for (std::size_t i = 0; i < bones.size(); ++i) {
        if (bones[i].name == bone) {
            return static_cast<int>(i);
        }
    }
    throw std::invalid_argument(name + ": no bone '" + bone + "'");
}

} // namespace kwo::media

namespace kwo::media {

void standOnGround(Model& model)
{
    float lowest = std::numeric_limits<float>::max();
    for (const auto& [material, surface] : model.surfaces) {
        for (const Vertex& vertex : surface.vertices) {
            lowest = std::min(lowest, vertex.position.y);
        }
    }
    const Ogre::Vector3 shift(0.0f, -lowest, 0.0f);
    for (auto& [material, surface] : model.surfaces) {
        for (Vertex& vertex : surface.vertices) {
            vertex.position += shift;
        }
    }
    for (BoneSpec& bone : model.bones) {
        bone.head += shift;
    }
}

} // namespace kwo::media
