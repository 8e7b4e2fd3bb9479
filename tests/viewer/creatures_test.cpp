// The viewer's main job, end to end: on a still clip of printed markers at
// known poses, each creature is drawn on its own marker and nowhere else, in
// a mirrored show too; a collision pair turns its creatures toward each
// other; a lost camera takes them away.
#include "config/documents.h"
#include "tests/support/files.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "tests/support/viewer.h"
#include "tests/support/still_clip.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"

#include <gtest/gtest.h>

#include <json/writer.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace {

using kwo::test::Picture;

constexpr const char* title = "KWO creatures under test";
constexpr int windowWidth = 800, windowHeight = 600;

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// A picture mirrored left to right.
Picture mirrored(const Picture& picture)
{
    Picture flipped = picture;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c)
                flipped.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3 + c] =
                    picture.rgb[(static_cast<std::size_t>(y) * picture.width + picture.width - 1 - x) * 3 + c];
    return flipped;
}

// The built-in creatures, or none.
const std::string builtIn = "{}";
const std::string noCreatures = R"({"tracking": {"objects": [], "collisions": []}})";

class Creatures : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &camera), 0); }

    kwo::synthetic::PrintedMarker printed(const char* design, double x, double y)
    {
        kwo::synthetic::PrintedMarker p;
        p.picture = kwo::synthetic::designPicture(design);
        p.width = 83;
        // Lying on a table seen from above at an angle, as at a station.
        kwo::synthetic::makePose(-35, 0, 15, x, y, 520, p.pose);
        return p;
    }

    // Quillmoth and Brackenjaw, a collision pair, on one line across the
    // picture, too far apart to meet by the built-in pair's distance. Neither
    // lies near where it or the other is seen mirrored left to right, so a
    // pose mirrored against the picture, or not mirrored with it, puts its
    // creature beside its marker.
    std::vector<kwo::synthetic::PrintedMarker> pairOnTheTable()
    {
        return {printed("Quillmoth", -200, 40), printed("Brackenjaw", 70, 40)};
    }

    // The window showing pairOnTheTable() without creatures, taken once for
    // the program.
    const Picture& pairWithoutCreatures()
    {
        static const Picture picture = run(pairOnTheTable(), noCreatures);
        return picture;
    }

    // Where anything standing on a marker can appear in the window: the
    // pixels of a box 100 mm wide and 100 mm high over the marker.
    Box standingRoom(const kwo::synthetic::PrintedMarker& marker) { return spot(marker, 0, 0, 50, 100); }

    // The pixels of a box over the marker's point (mx, my) (marker
    // millimetres, y up as printed), `half` millimetres to each side and
    // `height` high.
    Box spot(const kwo::synthetic::PrintedMarker& marker, double mx, double my, double half, double height)
    {
        Box box;
        for (double dx : {-half, half})
            for (double dy : {-half, half})
                for (double mz : {0.0, height}) {
                    const double point[3] = {mx + dx, my + dy, mz};
                    double camera3[3];
                    for (int r = 0; r < 3; ++r)
                        camera3[r] = marker.pose[r][0] * point[0] + marker.pose[r][1] * point[1] +
                                     marker.pose[r][2] * point[2] + marker.pose[r][3];
                    const double u = camera.mat[0][0] * camera3[0] / camera3[2] + camera.mat[0][2];
                    const double v = camera.mat[1][1] * camera3[1] / camera3[2] + camera.mat[1][2];
                    const int x = static_cast<int>(u * windowWidth / camera.xsize);
                    const int y = static_cast<int>(v * windowHeight / camera.ysize);
                    box.left = std::min(box.left, x - 4);
                    box.right = std::max(box.right, x + 4);
                    box.top = std::min(box.top, y - 4);
                    box.bottom = std::max(box.bottom, y + 4);
                }
        return box;
    }

    // The window of a viewer run on a still clip of `markers`; `overrides` (a
    // JSON document) is merged over the test's main document, which fills the
    // window with the camera picture. The picture is taken once `ready` holds
    // for it (given the clip's path, which it may change meanwhile); by
    // default once it shows the clip, which is when the creatures stand on
    // its markers.
    using Ready = std::function<bool(const Picture& window, const std::string& clip)>;
    Picture run(const std::vector<kwo::synthetic::PrintedMarker>& markers, const std::string& overrides,
                const Ready& ready = {})
    {
        const kwo::synthetic::SyntheticFrame frame = kwo::synthetic::renderFrame(camera, markers);
        kwo::test::ProgramFolder program;
        const std::string clip = program.file("table.mkv");
        kwo::test::writeStillClip(clip, frame);
        Json::Value document = kwo::test::parseJson(std::string(R"({"window": {"fullscreen": false, "title": ")") +
                                                    title + R"("}, "rendering": {"viewport": {"mode": "relative",
                                                    "left": 0, "top": 0, "width": 1, "height": 1}}})");
        kwo::mergeConfig(document, kwo::test::parseJson(overrides));
        program.write("kwo.config", Json::StyledWriter().write(document));

        kwo::test::Process viewer({program.executable()}, "", {"KWO_CLIP_CAMERAS=" + clip});
        return kwo::test::pictureOfRunWhen(viewer, title, [&](const Picture& window) {
            return ready ? ready(window, clip) : kwo::test::showsFrame(window, frame);
        });
    }

    ARParam camera;
};

int differing(const Picture& a, const Picture& b, int x, int y)
{
    const auto p = a.at(x, y), q = b.at(x, y);
    return std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) > 30;
}

// The room seen in a picture mirrored left to right.
Box mirrored(const Box& box)
{
    Box flipped = box;
    flipped.left = windowWidth - 1 - box.right;
    flipped.right = windowWidth - 1 - box.left;
    return flipped;
}

// Changed pixels per box (a pixel in more than one counts for each) and
// outside them all.
struct Changes {
    std::vector<int> inside;
    int outside = 0;
};
Changes changesBetween(const Picture& with, const Picture& without, const std::vector<Box>& boxes)
{
    Changes changes;
    changes.inside.assign(boxes.size(), 0);
    for (int y = 0; y < windowHeight; ++y)
        for (int x = 0; x < windowWidth; ++x) {
            if (!differing(with, without, x, y))
                continue;
            bool counted = false;
            for (std::size_t i = 0; i < boxes.size(); ++i)
                if (boxes[i].contains(x, y)) {
                    ++changes.inside[i];
                    counted = true;
                }
            if (!counted)
                ++changes.outside;
        }
    return changes;
}

int area(const Box& box)
{
    return (box.right - box.left) * (box.bottom - box.top);
}

TEST_F(Creatures, EachStandsOnItsMarkerAndNowhereElse)
{
    const std::vector<kwo::synthetic::PrintedMarker> markers = pairOnTheTable();
    const Picture& without = pairWithoutCreatures();
    ASSERT_EQ(without.width, windowWidth);
    const kwo::synthetic::SyntheticFrame frame = kwo::synthetic::renderFrame(camera, markers);
    for (const bool mirror : {false, true}) {
        SCOPED_TRACE(mirror ? "mirrored" : "as the camera sees it");
        const Picture with =
            mirror ? run(markers, R"({"rendering": {"mirror": true}})",
                         [&](const Picture& window, const std::string&) {
                             return kwo::test::showsFrame(mirrored(window), frame);
                         })
                   : run(markers, builtIn);
        ASSERT_EQ(with.width, windowWidth);
        kwo::test::savePicture(with, mirror ? "creatures-on-markers-mirrored.png" : "creatures-on-markers.png");

        std::vector<Box> rooms = {standingRoom(markers[0]), standingRoom(markers[1])};
        if (mirror)
            for (Box& room : rooms)
                room = mirrored(room);
        // The mirrored show without creatures is the plain one turned over,
        // pixel for pixel.
        const Changes changes = changesBetween(with, mirror ? mirrored(without) : without, rooms);
        // Each creature with its ground covers a good part of its room.
        for (int i = 0; i < 2; ++i)
            EXPECT_GT(changes.inside[static_cast<std::size_t>(i)], area(rooms[static_cast<std::size_t>(i)]) / 8)
                << "creature " << i;
        EXPECT_EQ(changes.outside, 0);
    }
}

// Two markers of a collision pair close together: both creatures turn to
// face each other. Here each creature stands 80 mm ahead of its marker's
// centre, and the pair meets within 300 mm, so turning shows as where they
// stand: each between the markers, toward the other, instead of ahead of
// its own marker.
TEST_F(Creatures, ACollisionPairTurnsToFaceEachOther)
{
    const std::vector<kwo::synthetic::PrintedMarker> markers = pairOnTheTable();
    std::string graphics, objects;
    for (const char* name : {"Quillmoth", "Brackenjaw"}) {
        graphics += std::string(graphics.empty() ? "" : ",") + R"({"name": ")" + name +
                    R"(", "decor": [], "character": {"mesh": ")" + name +
                    R"(.mesh", "position": {"x": 0, "y": 0, "z": -80}, "orientation": {"w": 0, "x": 0, "y": 1, "z": 0},
                       "scale": {"x": 0.5, "y": 0.5, "z": 0.5},
                       "animations": {"idle": "idle", "collision": "collision"}}})";
        objects += std::string(objects.empty() ? "" : ",") + R"({"name": ")" + name +
                   R"(", "pattern": {"file": "tracking/)" + name + R"(.pattern", "size": 83}})";
    }
    const Picture& without = pairWithoutCreatures();
    ASSERT_EQ(without.width, windowWidth);

    // Both markers lie in one plane and on one line across the picture: the
    // way to the partner is the camera's x axis, in each marker's own axes.
    std::vector<Box> facing;
    for (int i = 0; i < 2; ++i) {
        const auto& pose = markers[static_cast<std::size_t>(i)].pose;
        const double toward = i == 0 ? 80 : -80;
        facing.push_back(spot(markers[static_cast<std::size_t>(i)], toward * pose[0][0], toward * pose[0][1], 30, 60));
    }
    ASSERT_LT(facing[0].right, facing[1].left) << "the test's creatures would overlap";
    // A creature at half its size covers some per cent of its box.
    const auto standFacing = [&](const Changes& changes) {
        return changes.inside[0] > area(facing[0]) / 30 && changes.inside[1] > area(facing[1]) / 30 &&
               changes.outside == 0;
    };
    const Picture together = run(markers,
                                 R"({"graphics": {"objects": [)" + graphics + R"(]},
        "tracking": {"objects": [)" + objects + R"(], "collisions": [{"first": "Quillmoth", "second": "Brackenjaw",
            "distance": {"min": {"x": 300}, "max": {"x": 320}}, "angle": {"min": 20, "max": 30}}]}})",
                                 [&](const Picture& window, const std::string&) {
                                     return standFacing(changesBetween(window, without, facing));
                                 });
    ASSERT_EQ(together.width, windowWidth);
    kwo::test::savePicture(together, "creatures-collision.png");
    const Changes changes = changesBetween(together, without, facing);
    for (int i = 0; i < 2; ++i)
        EXPECT_GT(changes.inside[static_cast<std::size_t>(i)], area(facing[static_cast<std::size_t>(i)]) / 30)
            << "creature " << i << " does not stand toward its partner";
    EXPECT_EQ(changes.outside, 0) << "a creature stands elsewhere";
}

TEST_F(Creatures, TheLimitShowsTheFirstObjectsInConfigurationOrder)
{
    // All four markers in view, the built-in objects' order being Quillmoth,
    // Brackenjaw, Sliverfin, Mossglider; the first two lie at the bottom.
    const std::vector<kwo::synthetic::PrintedMarker> markers = {
        printed("Mossglider", -120, -75), printed("Sliverfin", 130, -75), printed("Quillmoth", -120, 95),
        printed("Brackenjaw", 130, 95)};
    const char* const names[] = {"Mossglider", "Sliverfin", "Quillmoth", "Brackenjaw"};
    const Picture without = run(markers, noCreatures);
    ASSERT_EQ(without.width, windowWidth);
    const struct {
        const char* tracking;
        const char* picture;
        bool shown[4]; // in the order of `markers`
    } cases[] = {
        {"", "creatures-limit-2.png", {false, false, true, true}}, // the built-in limit
        {R"("max": 3)", "creatures-limit-3.png", {false, true, true, true}},
        {R"("max": 0)", "creatures-no-limit.png", {true, true, true, true}},
    };
    Box rooms[4];
    for (int i = 0; i < 4; ++i)
        rooms[i] = standingRoom(markers[static_cast<std::size_t>(i)]);
    for (const auto& c : cases) {
        SCOPED_TRACE(*c.tracking ? c.tracking : "the built-in limit");
        const Picture with = run(markers, std::string(R"({"tracking": {)") + c.tracking + "}}");
        ASSERT_EQ(with.width, windowWidth);
        kwo::test::savePicture(with, c.picture);
        // Changed pixels that only one marker's room holds.
        int own[4] = {0, 0, 0, 0};
        for (int y = 0; y < windowHeight; ++y)
            for (int x = 0; x < windowWidth; ++x) {
                if (!differing(with, without, x, y))
                    continue;
                int holder = -1, holders = 0;
                for (int i = 0; i < 4; ++i)
                    if (rooms[i].contains(x, y)) {
                        holder = i;
                        ++holders;
                    }
                if (holders == 1)
                    ++own[holder];
            }
        for (int i = 0; i < 4; ++i) {
            const int area = (rooms[i].right - rooms[i].left) * (rooms[i].bottom - rooms[i].top);
            if (c.shown[i])
                EXPECT_GT(own[i], area / 16) << names[i] << " is missing";
            else
                EXPECT_EQ(own[i], 0) << names[i] << " is shown";
        }
    }
}

TEST_F(Creatures, NoMarkerNoCreature)
{
    const Picture with = run({}, builtIn);
    const Picture without = run({}, noCreatures);
    ASSERT_EQ(with.width, windowWidth);
    ASSERT_EQ(without.width, windowWidth);
    int changed = 0;
    for (int y = 0; y < windowHeight; ++y)
        for (int x = 0; x < windowWidth; ++x)
            changed += differing(with, without, x, y);
    EXPECT_EQ(changed, 0);
}

TEST_F(Creatures, ALostCameraTakesThemAwayAndLeavesTheLastPictureDarkened)
{
    const std::vector<kwo::synthetic::PrintedMarker> markers = pairOnTheTable();
    // Once the window shows the clip, the clip is cut short in place while
    // it plays, as copying a broken file over it does: the camera is lost.
    const kwo::synthetic::SyntheticFrame frame = kwo::synthetic::renderFrame(camera, markers);
    bool cut = false;
    const Picture lost = run(markers, builtIn, [&](const Picture& window, const std::string& clip) {
        if (!cut) {
            cut = kwo::test::showsFrame(window, frame);
            if (cut)
                std::filesystem::resize_file(clip, 600);
            return false;
        }
        return kwo::test::showsFrame(window, frame, 0.8, 0.3);
    });
    const Picture& without = pairWithoutCreatures();
    ASSERT_EQ(lost.width, windowWidth);
    ASSERT_EQ(without.width, windowWidth);
    kwo::test::savePicture(lost, "creatures-camera-lost.png");
    // The viewport fills the window: everywhere the markers' picture,
    // darkened, and no creature anywhere.
    int wrong = 0;
    for (int y = 0; y < windowHeight; ++y)
        for (int x = 0; x < windowWidth; ++x) {
            const auto p = lost.at(x, y), q = without.at(x, y);
            const auto dark = [](int c) { return static_cast<int>(c * 0.3); };
            wrong += std::abs(p.r - dark(q.r)) > 6 || std::abs(p.g - dark(q.g)) > 6 || std::abs(p.b - dark(q.b)) > 6;
        }
    EXPECT_EQ(wrong, 0);
}

} // namespace
