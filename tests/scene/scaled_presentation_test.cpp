// The show drawn at its configured size and copied, scaled, over a larger
// full-screen window, on a real render window: every frame's picture reaches
// the screen, also when the picture has a single viewport that stays the
// engine's current one from frame to frame (nothing else drawn in between,
// as in a show with no texture shadows to render).
#include "app/window.h"
#include "scene/engine.h"
#include "scene/scaled_presentation.h"
#include "tests/support/files.h"
#include "tests/support/screen.h"

#include <OgreCamera.h>
#include <OgreRenderTarget.h>
#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreSceneManager.h>
#include <OgreViewport.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kwo::test {
namespace {

class ScaledPresentationOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = createRoot(logFolder.file("ogre.log"));
        startRenderSystem(*root);
        WindowSettings settings;
        settings.vsync = false;
        settings.fullscreen = true;
        WindowOptions options;
        options.fullscreen = true;
        window = std::make_unique<AppWindow>(running, "scaled presentation under test", 800, 600, options);
        renderWindow = createRenderWindow(*root, settings, window->nativeHandle());
        window->attachRenderWindow(renderWindow);
        presentation = std::make_unique<ScaledPresentation>(*root, *renderWindow, 800, 600, 0, names);
        scene = root->createSceneManager();
        camera = scene->createCamera("camera");
        viewport = presentation->picture().addViewport(camera);
        viewport->setClearEveryFrame(true, Ogre::FBT_COLOUR | Ogre::FBT_DEPTH);
        window->show();
    }

    void TearDown() override
    {
        presentation.reset();
        root->destroySceneManager(scene);
        deleteRoot(root);
        window.reset();
    }

    // The window's centre after a few frames with the viewport cleared to `colour`.
    Picture::Pixel centreAfterFrames(const Ogre::ColourValue& colour)
    {
        viewport->setBackgroundColour(colour);
        for (int i = 0; i < 3; ++i) {
            window->pumpEvents();
            root->renderOneFrame();
        }
        const Picture picture = captureWindow(std::to_string(window->nativeHandle()));
        EXPECT_FALSE(picture.empty());
        if (picture.empty())
            return {-1, -1, -1};
        return picture.at(picture.width / 2, picture.height / 2);
    }

    TempDir logFolder;
    bool running = true;
    Ogre::Root* root = nullptr;
    std::unique_ptr<AppWindow> window;
    Ogre::RenderWindow* renderWindow = nullptr;
    UniqueNameCounter names;
    std::unique_ptr<ScaledPresentation> presentation;
    Ogre::SceneManager* scene = nullptr;
    Ogre::Camera* camera = nullptr;
    Ogre::Viewport* viewport = nullptr;
};

TEST_F(ScaledPresentationOnScreen, EveryFramesPictureReachesTheScreen)
{
    const Picture::Pixel red = centreAfterFrames(Ogre::ColourValue::Red);
    EXPECT_GT(red.r, 200);
    EXPECT_LT(red.g, 50);
    // Once drawn into the picture, the engine takes its one viewport for the
    // current one; the next frames must still draw into the picture, not
    // into the window under the copy.
    const Picture::Pixel green = centreAfterFrames(Ogre::ColourValue::Green);
    EXPECT_LT(green.r, 50) << "the screen still shows an earlier frame";
    EXPECT_GT(green.g, 200);
}

} // namespace
} // namespace kwo::test
