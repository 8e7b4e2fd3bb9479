#pragma once

#include "config/unique_names.h"
#include "scene/engine.h"

#include <OgreRenderTargetListener.h>
#include <OgreTexture.h>

#include <memory>
#include <string>
#include <vector>

namespace Ogre {
class RenderTarget;
class RenderWindow;
class Root;
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
// and cheap. A multisampled window (`windowSamples` > 0) takes no scaled
// copy, so its show is always drawn at the screen's resolution.
bool drawsAtConfiguredSize(FullScreenResolution resolution, const std::string& renderer, unsigned windowSamples);

// The show drawn at its configured size into a picture (a render texture),
// and that picture copied over the whole render window, scaled with linear
// filtering, by the driver's framebuffer blit. On a renderer that pays per
// pixel, the scene's passes (backdrop, video, creatures, shadows) then shade
// the configured size's pixels, and the screen's pixels are written once.
// Under llvmpipe the copy costs about a fifth less than drawing the picture
// as a textured quad over the window, which runs the fixed-function texture
// stage on every pixel.
//
// The picture is drawn whenever the render window is, just before it is
// shown (so a hidden window draws neither), and is never resized: the window
// it is shown in keeps its size for the whole run. The render window has no
// viewport of its own. Must be destroyed while the engine runs.
class ScaledPresentation : private Ogre::RenderTargetListener {
public:
    // A picture of `width` x `height` with `fsaa` multisampling samples
    // (0 for none), shown over the whole of `window`. Throws the engine's
    // error when the driver has no framebuffer objects.
    ScaledPresentation(Ogre::Root& root, Ogre::RenderWindow& window, unsigned width, unsigned height, unsigned fsaa,
                       UniqueNameCounter& names);
    ~ScaledPresentation() override;
    ScaledPresentation(const ScaledPresentation&) = delete;
    ScaledPresentation& operator=(const ScaledPresentation&) = delete;

    // Where the show's viewports go, in place of the render window.
    Ogre::RenderTarget& picture() const { return *target; }

    // Draws `viewport`, one of the picture's, into the next picture and then
    // no more: what it shows stays in the picture, which keeps its pixels
    // from frame to frame. For a viewport whose content never changes (the
    // backdrop) and that later viewports draw over only where they overwrite
    // every pixel they cover.
    void drawOnce(Ogre::Viewport& viewport) { staticViewports.push_back(&viewport); }

    // Off, the picture is not drawn, only copied to the window as it stands
    // (for measuring what presenting the picture alone costs).
    void setPictureDrawn(bool on) { pictureDrawn = on; }

private:
    struct GlFunctions;

    void preRenderTargetUpdate(const Ogre::RenderTargetEvent& event) override;
    void postRenderTargetUpdate(const Ogre::RenderTargetEvent& event) override;

    Ogre::Root& root;
    Ogre::RenderWindow& window;
    Ogre::TexturePtr texture;
    Ogre::RenderTarget* target = nullptr; // the texture's
    std::unique_ptr<GlFunctions> gl;
    unsigned textureId = 0;  // the texture's GL name
    unsigned readBuffer = 0; // framebuffer object of the window's context reading the texture; 0 until first use
    bool pictureDrawn = true;
    std::vector<Ogre::Viewport*> staticViewports; // drawn into the next picture, then left alone
};

} // namespace kwo
