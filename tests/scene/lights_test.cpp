// Lights, shadows and options on an engine root without a render system: the
// scene graph and the settings need no picture.
#include "config/documents.h"
#include "scene/rendering_options.h"
#include "tests/scene/json_text.h"
#include "tests/support/files.h"

#include <OgreLight.h>
#include <OgreLogManager.h>
#include <OgreMaterialManager.h>
#include <OgreRectangle2D.h>
#include <OgreRoot.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>
#include <OgreTextureManager.h>

#include <gtest/gtest.h>

namespace kwo::test {
namespace {

class RenderingOptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = std::make_unique<Ogre::Root>("", "", logFolder.file("ogre.log"));
        Ogre::LogManager::getSingleton().getDefaultLog()->setDebugOutputEnabled(false);
        // Texture settings need a texture manager; a render system would make one.
        textures = std::make_unique<Ogre::DefaultTextureManager>();
        scene = root->createSceneManager();
    }

    void TearDown() override
    {
        root->destroySceneManager(scene);
        textures.reset();
    }

    RenderingSetup setUp(const std::string& rendering, const std::string& lights = "[]")
    {
        renderingValue = json(rendering);
        lightsValue = json(lights);
        return setUpRendering(*scene, Setting(renderingValue, "rendering"), Setting(lightsValue, "graphics/lights"),
                              names);
    }

    static void expectVector(const Ogre::Vector3& actual, const Ogre::Vector3& expected)
    {
        EXPECT_NEAR(actual.x, expected.x, 1e-4) << actual;
        EXPECT_NEAR(actual.y, expected.y, 1e-4) << actual;
        EXPECT_NEAR(actual.z, expected.z, 1e-4) << actual;
    }

    TempDir logFolder;
    std::unique_ptr<Ogre::Root> root;
    std::unique_ptr<Ogre::TextureManager> textures;
    Ogre::SceneManager* scene = nullptr;
    UniqueNameCounter names;
    Json::Value renderingValue, lightsValue;
};

TEST_F(RenderingOptions, DefaultDocumentLights)
{
    const Json::Value defaults = json(std::string(defaultDocument()));
    const Json::Value lights = defaults["graphics"]["lights"];
    const RenderingSetup setup =
        setUpRendering(*scene, Setting(defaults["rendering"], "rendering"), Setting(lights, "graphics/lights"), names);
    ASSERT_EQ(setup.lights.size(), 3u);
    EXPECT_FALSE(setup.mirror);
    EXPECT_EQ(setup.shadowPanel, nullptr);
    EXPECT_EQ(names.value(), 3u); // the camera made next gets 00000003

    Ogre::Light* spot = setup.lights[0];
    EXPECT_EQ(spot->getName(), "KWO/Light/00000000");
    EXPECT_EQ(spot->getType(), Ogre::Light::LT_SPOTLIGHT);
    expectVector(spot->getParentSceneNode()->_getDerivedPosition(), {-50, 50, 50});
    expectVector(spot->getDerivedDirection(), (Ogre::Vector3(0, 0, -300) - Ogre::Vector3(-50, 50, 50)).normalisedCopy());
    EXPECT_NEAR(spot->getSpotlightInnerAngle().valueDegrees(), 50, 1e-3);
    EXPECT_NEAR(spot->getSpotlightOuterAngle().valueDegrees(), 50, 1e-3);
    EXPECT_FLOAT_EQ(spot->getSpotlightFalloff(), 0);
    EXPECT_TRUE(spot->getCastShadows());
    EXPECT_EQ(spot->getParentSceneNode()->getParentSceneNode(), scene->getRootSceneNode());

    Ogre::Light* point = setup.lights[1];
    EXPECT_EQ(point->getName(), "KWO/Light/00000001");
    EXPECT_EQ(point->getType(), Ogre::Light::LT_POINT);
    expectVector(point->getParentSceneNode()->_getDerivedPosition(), {50, 0, 0});
    EXPECT_EQ(point->getDiffuseColour(), Ogre::ColourValue(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(point->getSpecularColour(), Ogre::ColourValue(0, 0, 0));
    EXPECT_FALSE(point->getCastShadows());

    Ogre::Light* sun = setup.lights[2];
    EXPECT_EQ(sun->getName(), "KWO/Light/00000002");
    EXPECT_EQ(sun->getType(), Ogre::Light::LT_DIRECTIONAL);
    expectVector(sun->getDerivedDirection(), Ogre::Vector3(0, -1, 1).normalisedCopy());
    EXPECT_EQ(sun->getDiffuseColour(), Ogre::ColourValue::White);
    EXPECT_FALSE(sun->getCastShadows());

    EXPECT_EQ(scene->getAmbientLight(), Ogre::ColourValue(0.2f, 0.2f, 0.2f, 1));
    EXPECT_EQ(scene->getShadowTechnique(), Ogre::SHADOWTYPE_NONE);
}

TEST_F(RenderingOptions, LightElementsTakeFallbacksNotTheDefaultDocument)
{
    const RenderingSetup setup = setUp("{}", R"([{"type": "spot"}, {"type": "spot", "range": {}},
                                                 {"type": "directional"}, {}])");
    ASSERT_EQ(setup.lights.size(), 4u);
    for (int i : {0, 1}) {
        Ogre::Light* spot = setup.lights[i];
        expectVector(spot->getParentSceneNode()->_getDerivedPosition(), Ogre::Vector3::ZERO);
        EXPECT_NEAR(spot->getSpotlightInnerAngle().valueDegrees(), 30, 1e-3) << i;
        EXPECT_NEAR(spot->getSpotlightOuterAngle().valueDegrees(), 40, 1e-3) << i;
        EXPECT_FLOAT_EQ(spot->getSpotlightFalloff(), 1);
        EXPECT_FALSE(spot->getCastShadows());
        EXPECT_EQ(spot->getDiffuseColour(), Ogre::ColourValue::White);
        EXPECT_EQ(spot->getSpecularColour(), Ogre::ColourValue::White);
        EXPECT_FLOAT_EQ(spot->getPowerScale(), 1);
    }
    // Without "look" a directional light keeps shining along +Z.
    expectVector(setup.lights[2]->getDerivedDirection(), Ogre::Vector3::UNIT_Z);
    EXPECT_EQ(setup.lights[3]->getType(), Ogre::Light::LT_POINT);
    EXPECT_EQ(scene->getAmbientLight(), Ogre::ColourValue(0.2f, 0.2f, 0.2f, 1));
}

TEST_F(RenderingOptions, KeysATypeDoesNotUseAreNotRead)
{
    // A malformed "look" on a point light, "position" on a directional one and
    // "range" or "shadow" off a spot light would stop the start-up if read.
    const RenderingSetup setup = setUp("{}", R"([{"type": "point", "look": 5, "range": 1, "shadow": "x"},
                                                 {"type": "directional", "position": "here", "power": 2}])");
    ASSERT_EQ(setup.lights.size(), 2u);
    EXPECT_FLOAT_EQ(setup.lights[1]->getPowerScale(), 2);
}

TEST_F(RenderingOptions, WordsOutsideTheListsStopWithTheirMessages)
{
    const struct {
        const char* rendering;
        const char* lights;
        const char* message;
    } cases[] = {
        {R"({"filtering": "fast"})", "[]", "Invalid filter type 'fast'"},
        {R"({"shadow": {"technique": "soft"}})", "[]", "Invalid shadow technique 'soft'"},
        {"{}", R"([{"type": "laser"}])", "Invalid light type 'laser'"},
    };
    for (const auto& c : cases) {
        try {
            setUp(c.rendering, c.lights);
            ADD_FAILURE() << "accepted " << c.rendering << " " << c.lights;
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

TEST_F(RenderingOptions, Filtering)
{
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    setUp(R"({"filtering": "anisotropic"})");
    EXPECT_EQ(materials.getDefaultTextureFiltering(Ogre::FT_MIN), Ogre::FO_ANISOTROPIC);
    EXPECT_EQ(materials.getDefaultAnisotropy(), 8u);
    setUp(R"({"filtering": "anisotropic", "anisotropy": 4})");
    EXPECT_EQ(materials.getDefaultAnisotropy(), 4u);
    setUp(R"({"filtering": "trilinear", "anisotropy": 2})");
    EXPECT_EQ(materials.getDefaultTextureFiltering(Ogre::FT_MIP), Ogre::FO_LINEAR);
    EXPECT_EQ(materials.getDefaultAnisotropy(), 4u) << "anisotropy is read for anisotropic filtering only";
    setUp(R"({"filtering": "none"})");
    EXPECT_EQ(materials.getDefaultTextureFiltering(Ogre::FT_MAG), Ogre::FO_POINT);
    setUp("{}");
    EXPECT_EQ(materials.getDefaultTextureFiltering(Ogre::FT_MIN), Ogre::FO_LINEAR);
    EXPECT_EQ(materials.getDefaultTextureFiltering(Ogre::FT_MIP), Ogre::FO_POINT);
}

TEST_F(RenderingOptions, ShadowTechniqueSizeAndColour)
{
    // "none" touches nothing: a malformed size or colour is never read.
    setUp(R"({"shadow": {"technique": "none", "size": "big", "color": 1, "debug": "x"}})");
    EXPECT_EQ(scene->getShadowTechnique(), Ogre::SHADOWTYPE_NONE);

    setUp(R"({"shadow": {"technique": "additive", "color": 1}})");
    EXPECT_EQ(scene->getShadowTechnique(), Ogre::SHADOWTYPE_TEXTURE_ADDITIVE);
    EXPECT_EQ(scene->getShadowTextureConfigList().at(0).width, 512u);
    EXPECT_EQ(scene->getShadowColour(), Ogre::ColourValue(0.25f, 0.25f, 0.25f)) << "the engine's own colour stays";

    setUp(R"({"shadow": {"technique": "modulative", "size": 1024}})");
    EXPECT_EQ(scene->getShadowTechnique(), Ogre::SHADOWTYPE_TEXTURE_MODULATIVE);
    EXPECT_EQ(scene->getShadowTextureConfigList().at(0).width, 1024u);
    EXPECT_EQ(scene->getShadowColour(), Ogre::ColourValue::Black);

    setUp(R"({"shadow": {"technique": "modulative", "color": {"r": 0.5, "g": 0.25, "b": 0}}})");
    EXPECT_EQ(scene->getShadowColour(), Ogre::ColourValue(0.5f, 0.25f, 0, 1));
}

TEST_F(RenderingOptions, MirrorAndAmbient)
{
    const RenderingSetup setup = setUp(R"({"mirror": true, "ambient": {"r": 1, "g": 0.5, "b": 0}})");
    EXPECT_TRUE(setup.mirror);
    EXPECT_EQ(scene->getAmbientLight(), Ogre::ColourValue(1, 0.5f, 0, 1));
}

} // namespace
} // namespace kwo::test
