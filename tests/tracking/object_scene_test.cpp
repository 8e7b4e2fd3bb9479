#include "config/exception.h"
#include "tests/support/json.h"
#include "scene/object_scene.h"
#include "tests/tracking/scene_fixture.h"

#include <OgreAnimationState.h>
#include <OgreEntity.h>
#include <OgreSceneNode.h>

#include <gtest/gtest.h>
#include <json/reader.h>

namespace {

class ObjectScene : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.makeMesh("Moth.mesh", {"idle", "collision", "flap"});
        engine.makeMesh("Still.mesh");
        engine.makeMesh("Ground.mesh", {"sway"});
        trackingRoot = engine.sceneManager()->getRootSceneNode()->createChildSceneNode();
    }

    TrackedObject build(const std::string& name, const std::string& document)
    {
        config = kwo::test::parseJson(document);
        TrackedObject object;
        object.name = name;
        kwo::ObjectSceneContext context{engine.sceneManager(), trackingRoot, names, animationStates};
        kwo::buildObjectScene(object, kwo::Setting(config, ""), context);
        return object;
    }

    std::string errorOf(const std::string& name, const std::string& document)
    {
        try {
            build(name, document);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }

    kwo::test::EngineWithoutDisplay engine;
    Ogre::SceneNode* trackingRoot = nullptr;
    kwo::UniqueNameCounter names{4};
    std::vector<Ogre::AnimationState*> animationStates;
    Json::Value config;
};

const char* const mothDocument = R"({"graphics": {"objects": [
    {"name": "Other", "character": {"mesh": "Still.mesh"}},
    {"name": "Moth", "character": {"mesh": "Moth.mesh", "position": {"x": 0, "y": 10, "z": 0},
        "orientation": {"w": 0, "x": 0, "y": 1, "z": 0}, "shadow": true,
        "animations": {"idle": "idle", "collision": "collision"}},
     "decor": [{"mesh": "Ground.mesh", "animation": ""}, {"mesh": "Ground.mesh", "animation": "sway",
        "scale": {"x": 2, "y": 2, "z": 2}}]},
    {"name": "Moth", "character": {"mesh": "Still.mesh"}}]},
  "misc": {"debug": [{"node": "flyer", "mesh": "Still.mesh"}, {"node": "collision", "mesh": "Still.mesh"}]}})";

TEST_F(ObjectScene, NodeChainEntitiesAndAnimations)
{
    const TrackedObject moth = build("Moth", mothDocument);

    // marker -> base (+90 about X) -> collision -> character; marker -> decor (+90 about X)
    EXPECT_EQ(moth.markerNode->getParent(), trackingRoot);
    EXPECT_EQ(moth.baseNode->getParent(), moth.markerNode);
    EXPECT_EQ(moth.collisionNode->getParent(), moth.baseNode);
    EXPECT_EQ(moth.characterNode->getParent(), moth.collisionNode);
    EXPECT_EQ(moth.decorNode->getParent(), moth.markerNode);
    const Ogre::Quaternion standUp(Ogre::Degree(90), Ogre::Vector3::UNIT_X);
    EXPECT_TRUE(moth.baseNode->getOrientation().equals(standUp, Ogre::Degree(0.01f)));
    EXPECT_TRUE(moth.decorNode->getOrientation().equals(standUp, Ogre::Degree(0.01f)));
    // The character's up axis is the marker's normal (+Z), and it is turned
    // 180 degrees about it.
    engine.updateSceneGraph();
    EXPECT_TRUE((moth.characterNode->_getDerivedOrientation() * Ogre::Vector3::UNIT_Y)
                    .positionEquals(Ogre::Vector3::UNIT_Z, 1e-4f));
    EXPECT_TRUE((moth.characterNode->_getDerivedOrientation() * Ogre::Vector3::UNIT_Z)
                    .positionEquals(Ogre::Vector3::UNIT_Y, 1e-4f));
    EXPECT_TRUE(moth.characterNode->_getDerivedPosition().positionEquals(Ogre::Vector3(0, 0, 10), 1e-4f));

    // Entities in creation order: character, decor items, debug meshes.
    EXPECT_EQ(moth.characterEntity->getName(), "KWO/Entity/00000004");
    EXPECT_EQ(moth.characterEntity->getVisibilityFlags(), 2u);
    EXPECT_TRUE(moth.characterEntity->getCastShadows());
    ASSERT_EQ(moth.decorNode->numChildren(), 2u);
    auto* bigGround = static_cast<Ogre::SceneNode*>(moth.decorNode->getChild(1));
    EXPECT_EQ(bigGround->getScale(), Ogre::Vector3(2, 2, 2));
    auto* groundEntity = static_cast<Ogre::Entity*>(bigGround->getAttachedObject(0));
    EXPECT_EQ(groundEntity->getName(), "KWO/Entity/00000006");
    EXPECT_FALSE(groundEntity->getCastShadows());
    EXPECT_EQ(names.value(), 9u);

    auto* debug = static_cast<Ogre::Entity*>(moth.markerNode->getAttachedObject(0));
    EXPECT_EQ(debug->getName(), "KWO/Entity/00000007");
    EXPECT_EQ(debug->getRenderQueueGroup(), 105);
    EXPECT_EQ(debug->getVisibilityFlags(), 2u);
    EXPECT_FALSE(debug->getCastShadows());
    EXPECT_EQ(moth.collisionNode->numAttachedObjects(), 1u);

    // idle (enabled), collision (disabled), then the decor's own animation.
    ASSERT_EQ(animationStates.size(), 3u);
    EXPECT_EQ(animationStates[0], moth.idleAnimation);
    EXPECT_EQ(animationStates[1], moth.collisionAnimation);
    EXPECT_EQ(animationStates[2]->getAnimationName(), "sway");
    EXPECT_EQ(moth.activeAnimation, moth.idleAnimation);
    EXPECT_TRUE(moth.idleAnimation->getEnabled() && moth.idleAnimation->getLoop());
    EXPECT_FALSE(moth.collisionAnimation->getEnabled());
    EXPECT_TRUE(moth.collisionAnimation->getLoop());
    EXPECT_TRUE(animationStates[2]->getEnabled() && animationStates[2]->getLoop());
}

TEST_F(ObjectScene, AnimationVariants)
{
    const TrackedObject still = build("Still", R"({"graphics": {"objects": [
        {"name": "Still", "character": {"mesh": "Still.mesh"}}]}})");
    EXPECT_EQ(still.activeAnimation, nullptr);
    EXPECT_EQ(still.idleAnimation, nullptr);
    EXPECT_TRUE(animationStates.empty());

    const TrackedObject idleOnly = build("Moth", R"({"graphics": {"objects": [
        {"name": "Moth", "character": {"mesh": "Moth.mesh", "animations": {"idle": "flap"}}}]}})");
    EXPECT_EQ(idleOnly.collisionAnimation, nullptr);
    EXPECT_EQ(idleOnly.activeAnimation->getAnimationName(), "flap");

    // One animation named twice is one state, advanced twice per frame.
    animationStates.clear();
    const TrackedObject twice = build("Moth", R"({"graphics": {"objects": [
        {"name": "Moth", "character": {"mesh": "Moth.mesh", "animations": {"idle": "idle", "collision": "idle"}}}]}})");
    ASSERT_EQ(animationStates.size(), 2u);
    EXPECT_EQ(animationStates[0], animationStates[1]);
}

TEST_F(ObjectScene, Errors)
{
    struct Case {
        const char* name;
        const char* document;
        const char* message;
    };
    const Case cases[] = {
        {"Moth", R"({"graphics": {"objects": [{"name": "moth"}]}})", "Invalid object 'Moth'"},
        {"Moth", R"({})", "Invalid object 'Moth'"},
        {"Moth", R"({"graphics": {"objects": [{"name": "Moth", "character": {"mesh": "Still.mesh"}}]},
                     "misc": {"debug": [{"node": "Flyer", "mesh": "Still.mesh"}]}})",
         "Invalid debug node"},
        {"Moth", R"({"graphics": {"objects": [{"name": "Moth", "character": {"mesh": "Still.mesh",
                     "position": 5}}]}})",
         "graphics/objects[0]/character/position: expected an object"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorOf(c.name, c.document), c.message) << c.document;
    // The engine's own errors pass unchanged.
    EXPECT_NE(errorOf("Moth", R"({"graphics": {"objects": [{"name": "Moth", "character": {"mesh": "Still.mesh",
                     "animations": {"idle": "idle"}}}]}})"),
              "");
}

} // namespace
