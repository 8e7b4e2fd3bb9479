#include "config/exception.h"
#include "tests/support/json.h"
#include "scene/object_scene.h"
#include "tests/tracking/scene_fixture.h"
#include "tracking/collision_pairs.h"
#include "tracking/marker_tracking.h"

#include <OgreAnimationState.h>
#include <OgreEntity.h>
#include <OgreSceneNode.h>

#include <gtest/gtest.h>
#include <json/reader.h>

namespace {

// Three objects on real scene nodes below a tracking root turned as the
// viewer turns it: A and B play idle and collision, C plays only idle.
class CollisionPairs : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.makeMesh("Animated.mesh", {"idle", "collision"});
        engine.makeMesh("IdleOnly.mesh", {"idle"});
        trackingRoot = engine.sceneManager()->getRootSceneNode()->createChildSceneNode();
        trackingRoot->rotate(Ogre::Vector3::UNIT_X, Ogre::Degree(180));
        const Json::Value config = kwo::test::parseJson(R"({"graphics": {"objects": [
            {"name": "A", "character": {"mesh": "Animated.mesh", "orientation": {"w": 0, "x": 0, "y": 1, "z": 0},
                "animations": {"idle": "idle", "collision": "collision"}}},
            {"name": "B", "character": {"mesh": "Animated.mesh", "animations": {"idle": "idle", "collision": "collision"}}},
            {"name": "C", "character": {"mesh": "IdleOnly.mesh", "animations": {"idle": "idle"}}}]}})");
        kwo::ObjectSceneContext context{engine.sceneManager(), trackingRoot, names, animationStates};
        for (const char* name : {"A", "B", "C"}) {
            TrackedObject object;
            object.name = name;
            kwo::buildObjectScene(object, kwo::Setting(config, ""), context);
            objects.push_back(object);
        }
    }

    std::vector<CollisionPair> pairs(const std::string& collisions)
    {
        document = kwo::test::parseJson(collisions);
        return kwo::readCollisionPairs(kwo::Setting(document, "tracking/collisions"), objects);
    }

    // Lays a marker flat in front of the camera at x millimetres, shown or hidden.
    void place(int index, float x, bool visible = true, float tiltDegrees = 0)
    {
        TrackedObject& object = objects[static_cast<std::size_t>(index)];
        object.markerNode->setPosition(x, 0, 500);
        object.markerNode->setOrientation(Ogre::Quaternion(Ogre::Degree(tiltDegrees), Ogre::Vector3::UNIT_Y));
        object.visible = visible;
        engine.updateSceneGraph();
    }

    // Puts a marker anywhere, turned any way, shown.
    void pose(int index, const Ogre::Vector3& position, const Ogre::Quaternion& orientation)
    {
        TrackedObject& object = objects[static_cast<std::size_t>(index)];
        object.markerNode->setPosition(position);
        object.markerNode->setOrientation(orientation);
        object.visible = true;
        engine.updateSceneGraph();
    }

    void step(std::vector<CollisionPair>& list)
    {
        for (CollisionPair& pair : list)
            kwo::testCollisionPair(pair, objects);
        engine.updateSceneGraph();
    }

    kwo::test::EngineWithoutDisplay engine;
    Ogre::SceneNode* trackingRoot = nullptr;
    kwo::UniqueNameCounter names;
    std::vector<Ogre::AnimationState*> animationStates;
    std::vector<TrackedObject> objects;
    Json::Value document;
};

const char* const defaultPair = R"([{"first": "A", "second": "B",
    "distance": {"min": {"x": 100, "y": 10}, "max": {"x": 110, "y": 20}}, "angle": {"min": 20, "max": 30}}])";

TEST_F(CollisionPairs, ReadsThresholdsAndBindsByName)
{
    const auto list = pairs(defaultPair);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].first, 0);
    EXPECT_EQ(list[0].second, 1);
    EXPECT_FALSE(list[0].colliding);
    EXPECT_EQ(list[0].distanceMin, 100);
    EXPECT_EQ(list[0].distanceMax, 110);
    EXPECT_EQ(list[0].angleMin, 20);
    EXPECT_EQ(list[0].angleMax, 30);
    EXPECT_TRUE(pairs("[]").empty());
}

TEST_F(CollisionPairs, SetUpErrors)
{
    struct Case {
        const char* collisions;
        const char* message;
        const char* missing; // the name the detail says is not an object's; null: no hint
    };
    const Case cases[] = {
        {R"([{"first": "A", "second": "Z"}])", "Invalid collsion pair 'A' / 'Z'", "'Z' is not one of them"},
        {R"([{"first": "A", "second": "A"}])", "Invalid collsion pair 'A' / 'A'", nullptr},
        {R"([{"second": "B"}])", "Invalid collsion pair '' / 'B'", "'' is not one of them"},
    };
    for (const Case& c : cases) {
        try {
            pairs(c.collisions);
            ADD_FAILURE() << c.collisions;
        } catch (const kwo::Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
            // A name that is not an object's points the technician at the
            // replaced default list and where to copy it from.
            const std::string detail = e.detail();
            EXPECT_EQ(detail.rfind("tracking/collisions[0]: first and second must name two different elements", 0), 0u)
                << detail;
            const bool hints = detail.find("\"kwo --print-config\" prints the lists") != std::string::npos;
            EXPECT_EQ(hints, c.missing != nullptr) << detail;
            if (c.missing) {
                EXPECT_NE(detail.find(c.missing), std::string::npos) << detail;
            }
        }
    }
    objects.clear();
    EXPECT_THROW(pairs(defaultPair), kwo::Exception);
}

TEST_F(CollisionPairs, HysteresisOfTheDefaultPair)
{
    auto list = pairs(defaultPair);
    struct Step {
        float distance;
        bool colliding;
    };
    // Strict comparisons: 100 does not enter, 110 leaves.
    const Step steps[] = {{150, false}, {100, false}, {90, true}, {105, true}, {109.9f, true},
                          {110, false}, {105, false}, {99, true}};
    for (const Step& s : steps) {
        place(0, 0);
        place(1, s.distance);
        step(list);
        EXPECT_EQ(list[0].colliding, s.colliding) << "at " << s.distance << " mm";
    }
}

TEST_F(CollisionPairs, AngleEntryAndExit)
{
    auto list = pairs(defaultPair);
    place(0, 0);
    place(1, 50, true, 25);
    step(list);
    EXPECT_FALSE(list[0].colliding) << "25 degrees is above the entry angle";
    place(1, 50, true, 15);
    step(list);
    EXPECT_TRUE(list[0].colliding);
    place(1, 50, true, 29);
    step(list);
    EXPECT_TRUE(list[0].colliding) << "still below the exit angle";
    place(1, 50, true, 31);
    step(list);
    EXPECT_FALSE(list[0].colliding);
}

TEST_F(CollisionPairs, EnteringSwitchesAnimationsAndFacesThePartner)
{
    auto list = pairs(defaultPair);
    TrackedObject& a = objects[0];
    TrackedObject& b = objects[1];
    a.idleAnimation->addTime(0.5f);
    b.collisionAnimation->addTime(0.7f);
    place(0, 0);
    place(1, 80);
    step(list);
    ASSERT_TRUE(list[0].colliding);
    for (TrackedObject* o : {&a, &b}) {
        EXPECT_EQ(o->activeAnimation, o->collisionAnimation);
        EXPECT_TRUE(o->collisionAnimation->getEnabled());
        EXPECT_EQ(o->collisionAnimation->getTimePosition(), 0);
        EXPECT_FALSE(o->idleAnimation->getEnabled());
    }
    // Each collision node's -Z points at the other one.
    const Ogre::Vector3 aToB =
        (b.collisionNode->_getDerivedPosition() - a.collisionNode->_getDerivedPosition()).normalisedCopy();
    EXPECT_TRUE((a.collisionNode->_getDerivedOrientation() * Ogre::Vector3::NEGATIVE_UNIT_Z)
                    .positionEquals(aToB, 1e-3f));
    EXPECT_TRUE((b.collisionNode->_getDerivedOrientation() * Ogre::Vector3::NEGATIVE_UNIT_Z)
                    .positionEquals(-aToB, 1e-3f));

    // Losing B ends it in the same frame: idle from the start, facing restored.
    a.idleAnimation->addTime(0.3f);
    place(1, 80, false);
    step(list);
    EXPECT_FALSE(list[0].colliding);
    for (TrackedObject* o : {&a, &b}) {
        EXPECT_EQ(o->activeAnimation, o->idleAnimation);
        EXPECT_TRUE(o->idleAnimation->getEnabled());
        EXPECT_EQ(o->idleAnimation->getTimePosition(), 0);
        EXPECT_FALSE(o->collisionAnimation->getEnabled());
        EXPECT_FALSE(o->collisionNode->getAutoTrackTarget());
        EXPECT_EQ(o->collisionNode->getOrientation(), Ogre::Quaternion::IDENTITY);
    }
}

TEST_F(CollisionPairs, FacingTurnsAboutTheMarkerNormalOnTiltedMarkers)
{
    // Markers on a tilted board: each creature turns toward the other about
    // its own marker's normal, so it stays upright on its marker instead of
    // rolling toward some other axis.
    const struct {
        const char* what;
        Ogre::Quaternion orientation; // of both markers, in the camera frame
        Ogre::Vector3 offsetOfB;      // from A, millimetres
    } cases[] = {
        {"flat", Ogre::Quaternion::IDENTITY, {60, 0, 0}},
        {"tilted 35 degrees about x", Ogre::Quaternion(Ogre::Degree(35), Ogre::Vector3::UNIT_X), {60, 0, 0}},
        {"tilted -60 degrees about x", Ogre::Quaternion(Ogre::Degree(-60), Ogre::Vector3::UNIT_X), {0, 50, 30}},
        {"tilted 40 degrees about y", Ogre::Quaternion(Ogre::Degree(40), Ogre::Vector3::UNIT_Y), {50, 20, 0}},
        {"turned and tilted", Ogre::Quaternion(Ogre::Degree(70), Ogre::Vector3(1, 1, 0).normalisedCopy()),
         {-40, 50, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto list = pairs(defaultPair);
        pose(0, {0, 0, 500}, c.orientation);
        pose(1, Ogre::Vector3(0, 0, 500) + c.offsetOfB, c.orientation);
        step(list);
        ASSERT_TRUE(list[0].colliding);
        for (int i : {0, 1}) {
            const TrackedObject& self = objects[static_cast<std::size_t>(i)];
            const TrackedObject& partner = objects[static_cast<std::size_t>(1 - i)];
            const Ogre::Vector3 normal = self.markerNode->_getDerivedOrientation() * Ogre::Vector3::UNIT_Z;
            const Ogre::Vector3 toPartner =
                (partner.collisionNode->_getDerivedPosition() - self.collisionNode->_getDerivedPosition())
                    .normalisedCopy();
            const Ogre::Quaternion facing = self.collisionNode->_getDerivedOrientation();
            EXPECT_TRUE((facing * Ogre::Vector3::NEGATIVE_UNIT_Z).positionEquals(toPartner, 1e-3f))
                << "object " << i;
            // Up is the marker normal, as far as facing the partner allows.
            const Ogre::Vector3 up = (normal - normal.dotProduct(toPartner) * toPartner).normalisedCopy();
            EXPECT_TRUE((facing * Ogre::Vector3::UNIT_Y).positionEquals(up, 1e-3f))
                << "object " << i << ": up " << facing * Ogre::Vector3::UNIT_Y << ", marker normal " << normal;
        }
        // Apart again, for the next case.
        place(1, 1000);
        step(list);
        ASSERT_FALSE(list[0].colliding);
    }
}

TEST_F(CollisionPairs, PairWithoutCollisionAnimationStopsIdleWhileColliding)
{
    auto list = pairs(R"([{"first": "C", "second": "B", "distance": {"min": {"x": 100}, "max": {"x": 110}},
        "angle": {"min": 20, "max": 30}}])");
    TrackedObject& c = objects[2];
    place(2, 0);
    place(1, 50);
    step(list);
    ASSERT_TRUE(list[0].colliding);
    EXPECT_EQ(c.activeAnimation, nullptr);
    EXPECT_FALSE(c.idleAnimation->getEnabled());
    place(1, 200);
    step(list);
    EXPECT_EQ(c.activeAnimation, c.idleAnimation);
    EXPECT_TRUE(c.idleAnimation->getEnabled());
}

TEST_F(CollisionPairs, MissingAngleNeverEnters)
{
    auto list = pairs(R"([{"first": "A", "second": "B", "distance": {"min": {"x": 100}, "max": {"x": 110}}}])");
    place(0, 0);
    place(1, 10);
    step(list);
    EXPECT_FALSE(list[0].colliding);
}

TEST_F(CollisionPairs, OneObjectInTwoPairsTakesTheLaterSwitch)
{
    auto list = pairs(R"([
        {"first": "A", "second": "B", "distance": {"min": {"x": 100}, "max": {"x": 110}}, "angle": {"min": 20, "max": 30}},
        {"first": "A", "second": "C", "distance": {"min": {"x": 100}, "max": {"x": 110}}, "angle": {"min": 20, "max": 30}}])");
    place(0, 0);
    place(1, 50);
    place(2, 500);
    step(list);
    EXPECT_TRUE(list[0].colliding);
    EXPECT_FALSE(list[1].colliding);
    EXPECT_EQ(objects[0].activeAnimation, objects[0].collisionAnimation);
    // Both pairs enter in one frame; then B leaves: the first pair switches A
    // back to idle although A still collides with C.
    place(2, -50);
    step(list);
    EXPECT_TRUE(list[1].colliding);
    place(1, 300);
    step(list);
    EXPECT_FALSE(list[0].colliding);
    EXPECT_TRUE(list[1].colliding);
    EXPECT_EQ(objects[0].activeAnimation, objects[0].idleAnimation);
}

TEST_F(CollisionPairs, AHeldCreatureKeepsItsCollisionGoing)
{
    // Placed as the viewer places them: markers flat in front of the camera
    // at (pos x, 0, 500), a lost one's creature held for 100 ms.
    auto list = pairs(defaultPair);
    const auto flat = [](ARMarkerInfo* m, double conv[3][4]) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                conv[r][c] = r == c ? 1 : 0;
        conv[0][3] = m->pos[0];
        conv[2][3] = 500;
        return 0.5;
    };
    const kwo::PoseEstimates estimates{
        [&](ARMarkerInfo* m, double[2], double, double conv[3][4]) { return flat(m, conv); },
        [&](ARMarkerInfo* m, double[3][4], double[2], double, double conv[3][4]) { return flat(m, conv); }, nullptr};
    kwo::Steadying steadying;
    steadying.hold = 0.1;
    for (int i = 0; i < 2; ++i) {
        objects[static_cast<std::size_t>(i)].patternId = i;
        objects[static_cast<std::size_t>(i)].width = 83;
    }
    int area = 100;
    const auto frame = [&](double time, bool bInView) {
        std::vector<ARMarkerInfo> markers(bInView ? 2 : 1, ARMarkerInfo{});
        for (std::size_t i = 0; i < markers.size(); ++i) {
            markers[i].id = static_cast<int>(i);
            markers[i].cf = 0.9;
            markers[i].area = ++area;
            markers[i].pos[0] = 90.0 * static_cast<double>(i);
        }
        kwo::placeTrackedObjects(markers.data(), static_cast<int>(markers.size()), 0, false, steadying, time, objects,
                                 estimates);
        engine.updateSceneGraph();
        step(list);
    };
    TrackedObject& b = objects[1];
    frame(0.0, true);
    ASSERT_TRUE(list[0].colliding);
    b.collisionAnimation->addTime(0.2f);
    // B's card missed for three frames: its creature stays, the collision
    // goes on without starting over.
    for (const double time : {0.033, 0.067, 0.09}) {
        frame(time, false);
        EXPECT_TRUE(list[0].colliding) << time;
        EXPECT_TRUE(b.visible && b.characterEntity->getVisible()) << time;
    }
    frame(0.133, true);
    EXPECT_TRUE(list[0].colliding);
    EXPECT_EQ(b.activeAnimation, b.collisionAnimation);
    EXPECT_FLOAT_EQ(b.collisionAnimation->getTimePosition(), 0.2f);
    // Taken away: gone once the hold is over, and the collision with it.
    frame(0.167, false);
    EXPECT_TRUE(list[0].colliding);
    frame(0.267, false);
    EXPECT_FALSE(b.visible);
    EXPECT_FALSE(list[0].colliding);
    EXPECT_EQ(b.activeAnimation, b.idleAnimation);
}

} // namespace
