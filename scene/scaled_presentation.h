#pragma once

#include "config/unique_names.h"
#include "scene/engine.h"

#include <OgreMaterial.h>
#include <OgreRenderTargetListener.h>
#include <OgreTexture.h>

#include <memory>
#include <string>

namespace Ogre {
class Camera;
class Rectangle2D;
class RenderTarget;
class RenderWindow;
class Root;
class SceneManager;
class Viewport;
} // namespace Ogre

namespace kwo {

// Whether the GL renderer named `renderer` (GL_RENDERER) draws on the
// processor. Such a renderer pays for every pixel it shades, once per pass.
bool isSoftwareRenderer(const std::string& renderer);

// Whether a full-screen show, shown at a size other than its configured one,
// is drawn at the configured size and scaled as a finished picture. "auto"
// does so on a software renderer, where the screen's resolution costs the
// frame rate (a 1920x1080 screen shades 3.2 times the pixels of 800x600),
// and draws at the screen's resolution on a graphics card, where it is sharp
// and cheap.
bool drawsAtConfiguredSize(FullScreenResolution resolution, const std::string& renderer);

// The show drawn at its configured size into a picture (a render texture),
// and that picture drawn over the whole render window in one quad, scaled
// with linear filtering. On a renderer that pays per pixel, the scene's
// passes (backdrop, video, creatures, shadows) then shade the configured
// size's pixels, and only the one quad shades the screen's.
//
// The picture is drawn whenever the render window is, just before it (so a
// hidden window draws neither), and is never resized: the window it is
// shown in keeps its size for the whole run. Must be destroyed while the
// engine runs.
class ScaledPresentation : private Ogre::RenderTargetListener {
public:
    // A picture of `width` x `height` with `fsaa` multisampling samples
    // (0 for none), shown over the whole of `window`.
    ScaledPresentation(Ogre::Root& root, Ogre::RenderWindow& window, unsigned width, unsigned height, unsigned fsaa,
                       UniqueNameCounter& names);
    ~ScaledPresentation() override;
    ScaledPresentation(const ScaledPresentation&) = delete;
    ScaledPresentation& operator=(const ScaledPresentation&) = delete;

    // Where the show's viewports go, in place of the render window.
    Ogre::RenderTarget& picture() const { return *target; }
    // The render window's one viewport, which draws the scaled picture.
    Ogre::Viewport& screenViewport() const { return *viewport; }

private:
    void preRenderTargetUpdate(const Ogre::RenderTargetEvent& event) override;

    Ogre::Root& root;
    Ogre::RenderWindow& window;
    Ogre::TexturePtr texture;
    Ogre::RenderTarget* target = nullptr; // the texture's
    Ogre::MaterialPtr material;
    Ogre::SceneManager* sceneManager = nullptr; // of the quad alone
    Ogre::Camera* camera = nullptr;
    std::unique_ptr<Ogre::Rectangle2D> quad;
    Ogre::Viewport* viewport = nullptr;
};

} // namespace kwo
