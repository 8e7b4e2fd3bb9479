// The video background on a real render window: what the "rendering" section
// asks of the scene viewport and the video texture is what the engine got.
// The pictures cannot tell a 24-bit texture from a 32-bit one, nor a material
// scheme the media give no technique for, so the engine's state is read.
#include "app/window.h"
#include "config/documents.h"
#include "config/setting.h"
#include "scene/engine.h"
#include "scene/video_background.h"
#include "tests/scene/json_text.h"
#include "tests/support/files.h"

#include <OgreMaterialManager.h>
#include <OgreRectangle2D.h>
#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreViewport.h>

#include <gtest/gtest.h>
#include <json/reader.h>

#include <memory>

namespace kwo::test {
namespace {

class VideoBackgroundOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = createRoot(logFolder.file("ogre.log"));
        startRenderSystem(*root);
        WindowSettings settings;
        settings.vsync = false;
        window = std::make_unique<AppWindow>(running, "video background under test", 320, 240, WindowOptions{});
        renderWindow = createRenderWindow(*root, settings, window->nativeHandle());
        scene = root->createSceneManager();
        locations = json(R"([")" KWO_PROGRAM_DIR R"(/media/graphics/Core.dat"])");
        addMediaLocations(Setting(locations, "media/locations"));
    }

    void TearDown() override
    {
        background = {};
        renderWindow->removeAllViewports();
        root->destroySceneManager(scene);
        deleteRoot(root);
        window.reset();
    }

    // The background as the viewer makes it from `rendering`, merged over
    // the built-in document's section.
    const VideoBackground& make(const std::string& rendering)
    {
        Json::Value document;
        Json::Reader().parse(std::string(defaultDocument()), document);
        mergeConfig(document, json(R"({"rendering": )" + rendering + "}"));
        config = document;
        background = {};
        renderWindow->removeAllViewports();
        background = createVideoBackground(*scene, *renderWindow, Setting(config, "")["rendering"], names, 320, 240,
                                           false);
        return background;
    }

    TempDir logFolder;
    bool running = true;
    Ogre::Root* root = nullptr;
    std::unique_ptr<AppWindow> window;
    Ogre::RenderWindow* renderWindow = nullptr;
    Ogre::SceneManager* scene = nullptr;
    Json::Value locations, config;
    UniqueNameCounter names;
    VideoBackground background;
};

TEST_F(VideoBackgroundOnScreen, SchemeOfTheSceneViewportAndFormatOfTheTexture)
{
    const struct {
        const char* rendering;
        const char* scheme;
        Ogre::PixelFormat format;
    } cases[] = {
        {"{}", "Default", Ogre::PF_X8R8G8B8},
        {R"({"scheme": "Museum", "pixel": "rgb24"})", "Museum", Ogre::PF_R8G8B8},
        {R"({"scheme": "Low", "pixel": "rgb32"})", "Low", Ogre::PF_X8R8G8B8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rendering);
        const VideoBackground& made = make(c.rendering);
        ASSERT_NE(made.sceneViewport, nullptr);
        EXPECT_EQ(made.sceneViewport->getMaterialScheme(), c.scheme);
        // The backdrop keeps the engine's own scheme whatever the scene's.
        EXPECT_EQ(made.backdropViewport->getMaterialScheme(), Ogre::MaterialManager::DEFAULT_SCHEME_NAME);
        EXPECT_EQ(made.texture->getFormat(), c.format) << Ogre::PixelUtil::getFormatName(made.texture->getFormat());
        EXPECT_EQ(made.texture->getWidth(), 320u);
        EXPECT_EQ(made.texture->getHeight(), 240u);
    }
}

} // namespace
} // namespace kwo::test
