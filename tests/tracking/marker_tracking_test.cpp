// Placing the tracked objects from the markers of one frame: which marker an
// object takes, the limit, the two estimates, failures and the mirror.
#include "tests/tracking/scene_fixture.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/tracker.h"
#include "tracking/marker_tracking.h"

#include <OgreEntity.h>
#include <OgreSceneNode.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Estimates that put the marker at (pos x, pos y, 500) with the identity
// rotation, unless a marker's area is listed as failing. They record which
// estimate ran.
struct ScriptedEstimates {
    std::vector<int> failingAreas;
    std::vector<std::string> calls;

    double result(const ARMarkerInfo* marker, double conv[3][4])
    {
        if (std::find(failingAreas.begin(), failingAreas.end(), marker->area) != failingAreas.end())
            return -1;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                conv[r][c] = r == c ? 1 : 0;
        conv[0][3] = marker->pos[0];
        conv[1][3] = marker->pos[1];
        conv[2][3] = 500;
        return 0.5;
    }

    kwo::PoseEstimates estimates()
    {
        return {[this](ARMarkerInfo* m, double[2], double, double conv[3][4]) {
                    calls.push_back("fresh " + std::to_string(m->area));
                    return result(m, conv);
                },
                [this](ARMarkerInfo* m, double[3][4], double[2], double, double conv[3][4]) {
                    calls.push_back("continued " + std::to_string(m->area));
                    return result(m, conv);
                },
                [this](ARMarkerInfo* m, double[3][4], double[2], double, double conv[3][4]) {
                    calls.push_back("nearest " + std::to_string(m->area));
                    return result(m, conv);
                }};
    }
};

// A reported marker; `area` doubles as its name in the script.
ARMarkerInfo marker(int id, double cf, int area, double x = 0)
{
    ARMarkerInfo info{};
    info.id = id;
    info.cf = cf;
    info.area = area;
    info.pos[0] = x;
    return info;
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.makeMesh("Creature.mesh");
        for (int slot = 0; slot < 3; ++slot) {
            TrackedObject object;
            object.patternId = slot;
            object.width = 83;
            object.markerNode = engine.sceneManager()->getRootSceneNode()->createChildSceneNode();
            object.characterEntity = engine.sceneManager()->createEntity("Creature.mesh");
            object.markerNode->createChildSceneNode()->attachObject(object.characterEntity);
            object.markerNode->setVisible(false, true);
            objects.push_back(object);
        }
    }

    void frame(std::vector<ARMarkerInfo> markers, unsigned maxTracked = 0, bool mirror = false)
    {
        script.calls.clear();
        kwo::placeTrackedObjects(markers.data(), static_cast<int>(markers.size()), maxTracked, mirror, objects,
                                 script.estimates());
    }

    std::string shown() const
    {
        std::string flags;
        for (const TrackedObject& o : objects) {
            // What hangs below the marker node shows exactly while the object does.
            EXPECT_EQ(o.characterEntity->getVisible(), o.visible);
            flags += o.visible ? '1' : '0';
        }
        return flags;
    }

    kwo::test::EngineWithoutDisplay engine;
    std::vector<TrackedObject> objects;
    ScriptedEstimates script;
};

TEST_F(Placement, StatesOfTheObjectsFrameByFrame)
{
    struct Step {
        const char* what;
        std::vector<ARMarkerInfo> markers;
        unsigned maxTracked;
        std::vector<int> failing;
        const char* shown;
        std::vector<std::string> calls;
    };
    const Step steps[] = {
        {"nothing in view", {}, 0, {}, "000", {}},
        {"two markers appear: fresh estimates", {marker(0, 0.9, 10), marker(2, 0.8, 12)}, 0, {}, "101",
         {"fresh 10", "fresh 12"}},
        {"still in view: continued estimates", {marker(0, 0.9, 10), marker(2, 0.8, 12)}, 0, {}, "101",
         {"continued 10", "continued 12"}},
        {"a failed continued estimate keeps the object shown", {marker(0, 0.9, 10), marker(2, 0.8, 12)}, 0, {10},
         "101", {"continued 10", "continued 12"}},
        {"marker gone: hidden", {marker(2, 0.8, 12)}, 0, {}, "001", {"continued 12"}},
        {"a failed fresh estimate leaves it hidden", {marker(0, 0.9, 10), marker(2, 0.8, 12)}, 0, {10}, "001",
         {"fresh 10", "continued 12"}},
        {"unknown squares never qualify", {marker(-1, 0.99, 30), marker(2, 0.8, 12)}, 0, {}, "001",
         {"continued 12"}},
    };
    for (const Step& s : steps) {
        script.failingAreas = s.failing;
        frame(s.markers, s.maxTracked);
        EXPECT_EQ(shown(), s.shown) << s.what;
        EXPECT_EQ(script.calls, s.calls) << s.what;
    }
}

TEST_F(Placement, TheLimitTakesObjectsInConfigurationOrder)
{
    const std::vector<ARMarkerInfo> all = {marker(2, 0.9, 12), marker(1, 0.9, 11), marker(0, 0.9, 10)};
    frame(all, 2);
    EXPECT_EQ(shown(), "110");
    // An object whose estimate fails uses no place: the third one is shown.
    script.failingAreas = {11};
    frame(all, 2);
    EXPECT_EQ(shown(), "111") << "the failed continued estimate keeps the second shown";
    script.failingAreas = {};
    frame({marker(2, 0.9, 12), marker(1, 0.9, 11)}, 2);
    EXPECT_EQ(shown(), "011");
    frame(all, 2);
    EXPECT_EQ(shown(), "110") << "the first takes its place back";
    frame(all, 0);
    EXPECT_EQ(shown(), "111") << "0 means no limit";
}

TEST_F(Placement, TheMostConfidentCopyWinsTheEarliestAmongEquals)
{
    frame({marker(0, 0.6, 10, 1), marker(0, 0.8, 11, 2), marker(0, 0.8, 12, 3), marker(0, 0.7, 13, 4)});
    EXPECT_EQ(script.calls, std::vector<std::string>{"fresh 11"});
    EXPECT_EQ(objects[0].markerNode->getPosition().x, 2);
}

TEST_F(Placement, PoseIntoTheNodeAndTheMirror)
{
    // A rotation of 30 degrees about the camera's x axis.
    const Ogre::Quaternion turn(Ogre::Degree(30), Ogre::Vector3::UNIT_X);
    Ogre::Matrix3 rotation;
    turn.ToRotationMatrix(rotation);
    kwo::PoseEstimates estimates{[&](ARMarkerInfo*, double[2], double, double conv[3][4]) {
                                     for (int r = 0; r < 3; ++r)
                                         for (int c = 0; c < 3; ++c)
                                             conv[r][c] = rotation[r][c];
                                     conv[0][3] = 50;
                                     conv[1][3] = 0;
                                     conv[2][3] = 500;
                                     return 0.1;
                                 },
                                 nullptr, nullptr};
    for (bool mirror : {false, true}) {
        objects[0].visible = false;
        ARMarkerInfo m = marker(0, 0.9, 10);
        kwo::placeTrackedObjects(&m, 1, 0, mirror, objects, estimates);
        const Ogre::Vector3 position = objects[0].markerNode->getPosition();
        const Ogre::Quaternion q = objects[0].markerNode->getOrientation();
        EXPECT_EQ(position, Ogre::Vector3(mirror ? -50 : 50, 0, 500)) << mirror;
        EXPECT_NEAR(q.w, turn.w, 1e-6);
        EXPECT_NEAR(q.x, turn.x, 1e-6);
        // The x rotation has no y or z part; check the sign rule on one that has.
        EXPECT_NEAR(q.y, 0, 1e-6);
    }
    const Ogre::Quaternion general = Ogre::Quaternion(0.5f, 0.5f, 0.5f, 0.5f);
    general.ToRotationMatrix(rotation);
    ARMarkerInfo m = marker(0, 0.9, 10);
    objects[0].visible = false;
    kwo::placeTrackedObjects(&m, 1, 0, true, objects, estimates);
    const Ogre::Quaternion q = objects[0].markerNode->getOrientation();
    EXPECT_NEAR(q.w, 0.5, 1e-5);
    EXPECT_NEAR(q.x, 0.5, 1e-5);
    EXPECT_NEAR(q.y, -0.5, 1e-5);
    EXPECT_NEAR(q.z, -0.5, 1e-5);
}

TEST_F(Placement, SteadiedPosesAreMirroredExactly)
{
    // A card turning and moving over a few frames, placed with smoothing on,
    // once as it is and once mirrored: the same steadied poses, reflected.
    int step = 0;
    const auto turning = [&](ARMarkerInfo*, double conv[3][4]) {
        Ogre::Matrix3 rotation;
        Ogre::Quaternion(Ogre::Radian(0.3f + 0.05f * static_cast<float>(step)), Ogre::Vector3(1, 2, 3).normalisedCopy())
            .ToRotationMatrix(rotation);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                conv[r][c] = rotation[r][c];
        conv[0][3] = 50 + 2 * step;
        conv[1][3] = -20;
        conv[2][3] = 500 - step;
        return 0.1;
    };
    const kwo::PoseEstimates estimates{
        [&](ARMarkerInfo* m, double[2], double, double conv[3][4]) { return turning(m, conv); },
        [&](ARMarkerInfo* m, double[3][4], double[2], double, double conv[3][4]) { return turning(m, conv); },
        [&](ARMarkerInfo* m, double[3][4], double[2], double, double conv[3][4]) { return turning(m, conv); }};
    kwo::Steadying steadying;
    steadying.smoothing = kwo::PoseFilterParameters{};
    std::vector<std::pair<Ogre::Vector3, Ogre::Quaternion>> placed[2];
    for (const bool mirror : {false, true}) {
        objects[0].visible = false;
        for (step = 0; step < 6; ++step) {
            ARMarkerInfo m = marker(0, 0.9, 10 + step);
            kwo::placeTrackedObjects(&m, 1, 0, mirror, steadying, step / 30.0, objects, estimates);
            placed[mirror].emplace_back(objects[0].markerNode->getPosition(), objects[0].markerNode->getOrientation());
        }
    }
    for (std::size_t i = 0; i < placed[0].size(); ++i) {
        const auto& [p, q] = placed[0][i];
        const auto& [mp, mq] = placed[1][i];
        EXPECT_EQ(mp, Ogre::Vector3(-p.x, p.y, p.z)) << i;
        EXPECT_EQ(mq, Ogre::Quaternion(q.w, q.x, -q.y, -q.z)) << i;
    }
    // Steadied, not as estimated: the last pose lags the estimate.
    EXPECT_LT(placed[0].back().first.x, 60);
}

TEST_F(Placement, RealFramesTwoCopiesAndAnUnknownSquare)
{
    kwo::ar::Tracker tracker;
    ARParam camera;
    ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &camera), 0);
    ASSERT_TRUE(tracker.setCalibration(camera));
    ASSERT_EQ(tracker.loadPattern(KWO_PROGRAM_DIR "/tracking/Quillmoth.pattern"), 0);
    ASSERT_EQ(tracker.loadPattern(KWO_PROGRAM_DIR "/tracking/Brackenjaw.pattern"), 1);

    auto printed = [](const char* design, double x, double tilt) {
        kwo::synthetic::PrintedMarker p;
        p.picture = design ? kwo::synthetic::designPicture(design) : cv::Mat(64, 64, CV_8UC1, cv::Scalar(0));
        if (!design) // a black square with a plain white inside: no pattern
            p.picture(cv::Rect(16, 16, 32, 32)).setTo(255);
        p.width = 83;
        kwo::synthetic::makePose(tilt, 0, 0, x, 0, 600, p.pose);
        return p;
    };
    // Two copies of Quillmoth (one seen at a steep angle, so less confident)
    // and an unknown square; Brackenjaw is not in view.
    const auto frame = kwo::synthetic::renderFrame(
        camera, {printed("Quillmoth", -150, 60), printed("Quillmoth", 150, 0), printed(nullptr, 0, 0)});
    const auto& found = tracker.detect(kwo::ar::FrameView::packed(frame.data(), frame.width, frame.height), 100);
    std::vector<ARMarkerInfo> markers(found.begin(), found.end());
    const auto count = [&](int id) { return std::count_if(markers.begin(), markers.end(), [&](auto& m) { return m.id == id; }); };
    ASSERT_EQ(count(0), 2);
    ASSERT_EQ(count(1), 0);
    ASSERT_GE(count(-1), 1);

    const kwo::PoseEstimates estimates{
        [&](ARMarkerInfo* m, double center[2], double width, double conv[3][4]) {
            return tracker.pose(*m, center, width, conv);
        },
        [&](ARMarkerInfo* m, double prev[3][4], double center[2], double width, double conv[3][4]) {
            return tracker.poseContinued(*m, prev, center, width, conv);
        },
        nullptr};
    objects.resize(2);
    kwo::placeTrackedObjects(markers.data(), static_cast<int>(markers.size()), 0, false, objects, estimates);
    EXPECT_TRUE(objects[0].visible);
    EXPECT_FALSE(objects[1].visible);
    // The head-on copy on the right is the one used.
    EXPECT_NEAR(objects[0].transform[0][3], 150, 5);
    EXPECT_NEAR(objects[0].transform[2][3], 600, 15);
}

} // namespace
