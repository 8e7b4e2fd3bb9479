#pragma once

#include "config/setting.h"
#include "config/unique_names.h"

#include <OgreHardwarePixelBuffer.h>
#include <OgrePixelFormat.h>
#include <OgreTexture.h>

#include <memory>
#include <optional>

namespace Ogre {
class Camera;
class Rectangle2D;
class RenderTarget;
class SceneManager;
class Viewport;
} // namespace Ogre

namespace kwo {

// Visibility bits: the backdrop viewport draws only objects with bit 1, the
// scene viewport only objects with bit 2.
constexpr Ogre::uint32 backdropVisibility = 1;
constexpr Ogre::uint32 sceneVisibility = 2;

// The scene viewport as fractions of the window.
struct ViewportPlacement {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

// Reads "mode", "left", "top", "width" and "height" of `viewport`: "relative"
// takes the numbers as fractions, "pixels" divides them by the window size.
// Any other mode throws "Invalid viewport mode '<mode>'"; a width or height
// not above 0 (nothing would show) stops naming its key. With the setting's
// notes, a place reaching outside the window is warned about.
ViewportPlacement readViewportPlacement(const Setting& viewport, unsigned windowWidth, unsigned windowHeight);

// A full-window rectangle in the first render queue, never culled, drawn with
// `material` in the viewports whose mask matches `visibility`. Not attached.
std::unique_ptr<Ogre::Rectangle2D> makeBackgroundRectangle(const std::string& material, Ogre::uint32 visibility);

// The manual texture "KWO/Texture" of exactly width x height, rewritten every
// frame. A texture of that name that the material scripts made while they
// were parsed is replaced, and every texture unit naming it is pointed at the
// new one.
Ogre::TexturePtr createVideoTexture(int width, int height, Ogre::PixelFormat format);

// What the video background made. The scene manager owns the camera and the
// viewports belong to the render window; the rectangles belong to the caller
// and must be deleted while the engine still runs.
struct VideoBackground {
    Ogre::Camera* camera = nullptr;
    Ogre::Viewport* backdropViewport = nullptr;
    Ogre::Viewport* sceneViewport = nullptr;
    std::unique_ptr<Ogre::Rectangle2D> backdrop;
    std::unique_ptr<Ogre::Rectangle2D> video;
    Ogre::TexturePtr texture;
    Ogre::HardwarePixelBufferSharedPtr buffer;
};

// The size a "pixels" placement counts in, when it is not the render
// target's own: a full-screen show drawn at the screen's resolution keeps its
// layout in pixels of the configured window.
struct LayoutSize {
    unsigned width = 0;
    unsigned height = 0;
};

// The camera "KWO/Camera/<n>", the backdrop viewport over the whole of
// `target` (the render window, or the picture a full-screen show is scaled
// from) and the scene viewport placed by "rendering/viewport" (in pixels of
// `layout`, the target's size when not given), the backdrop and
// video rectangles (materials "KWO/Background" and "KWO/Video", the latter
// mirrored left to right when `mirror`), and the video texture of the video
// frame size with the format of "rendering/pixel".
VideoBackground createVideoBackground(Ogre::SceneManager& sceneManager, Ogre::RenderTarget& target,
                                      const Setting& rendering, UniqueNameCounter& names, int videoWidth,
                                      int videoHeight, bool mirror, std::optional<LayoutSize> layout = std::nullopt);

} // namespace kwo
