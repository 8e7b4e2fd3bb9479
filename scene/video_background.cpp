#include "scene/video_background.h"

#include "config/exception.h"
#include "config/readers.h"
#include "config/startup_notes.h"

#include <OgreCamera.h>
#include <OgreMaterialManager.h>
#include <OgrePass.h>
#include <OgreRectangle2D.h>
#include <OgreRenderTarget.h>
#include <OgreSceneManager.h>
#include <OgreTechnique.h>
#include <OgreTextureManager.h>
#include <OgreTextureUnitState.h>
#include <OgreViewport.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace kwo {
namespace {

const char* const videoTextureName = "KWO/Texture";

// Points every texture unit that names the video texture at `texture`: units
// keep the placeholder they resolved while the scripts were parsed.
void bindTextureUnits(const Ogre::TexturePtr& texture)
{
    auto materials = Ogre::MaterialManager::getSingleton().getResourceIterator();
    while (materials.hasMoreElements()) {
        auto material = Ogre::static_pointer_cast<Ogre::Material>(materials.getNext());
        for (Ogre::Technique* technique : material->getTechniques())
            for (Ogre::Pass* pass : technique->getPasses())
                for (Ogre::TextureUnitState* unit : pass->getTextureUnitStates())
                    if (unit->getTextureName() == videoTextureName)
                        unit->setTexture(texture);
    }
}

Ogre::MaterialPtr findMaterial(const std::string& name)
{
    // The engine's own lookup reports a missing material with its own text.
    Ogre::MaterialPtr material = Ogre::MaterialManager::getSingleton().getByName(name);
    if (!material)
        OGRE_EXCEPT(Ogre::Exception::ERR_ITEM_NOT_FOUND, "Could not find material " + name,
                    "kwo::createVideoBackground");
    return material;
}

} // namespace

ViewportPlacement readViewportPlacement(const Setting& viewport, unsigned windowWidth, unsigned windowHeight)
{
    const std::string mode = viewport.getString("mode", "relative");
    ViewportPlacement placement;
    if (mode == "relative") {
        placement = {static_cast<float>(viewport.getDouble("left", 0)), static_cast<float>(viewport.getDouble("top", 0)),
                     static_cast<float>(viewport.getDouble("width", 0)),
                     static_cast<float>(viewport.getDouble("height", 0))};
    } else if (mode == "pixels") {
        const double width = windowWidth;
        const double height = windowHeight;
        placement = {static_cast<float>(viewport.getDouble("left", 0) / width),
                     static_cast<float>(viewport.getDouble("top", 0) / height),
                     static_cast<float>(viewport.getDouble("width", width) / width),
                     static_cast<float>(viewport.getDouble("height", height) / height)};
    } else {
        throw Exception("Invalid viewport mode '" + mode + "'",
                        viewport["mode"].path() + ": " + viewport["mode"].written() + " is not relative or pixels");
    }
    // A place of no size shows no camera picture and no creature at all.
    const auto require = [&](const char* key, float value, bool size) {
        const std::string written = viewport.has(key) ? viewport[key].written() : "0 (the fallback)";
        if (!std::isfinite(value))
            throw Exception(viewport[key].path() + ": " + written + " is too large");
        if (size && !(value > 0))
            throw Exception(viewport[key].path() + ": " + written + " is not above 0");
    };
    require("left", placement.left, false);
    require("top", placement.top, false);
    require("width", placement.width, true);
    require("height", placement.height, true);
    // Drawn where the window is not, part of the picture is simply missing.
    constexpr float slack = 1e-4f;
    if (viewport.notes() && (placement.left < -slack || placement.top < -slack ||
                             placement.left + placement.width > 1 + slack ||
                             placement.top + placement.height > 1 + slack))
        viewport.notes()->warn(viewport.path() + ": the camera picture's place reaches outside the window (" + mode +
                               " " + numberText(viewport.getDouble("left", 0)) + ", " +
                               numberText(viewport.getDouble("top", 0)) + ", " +
                               numberText(viewport.getDouble("width", 0)) + " x " +
                               numberText(viewport.getDouble("height", 0)) + ")");
    return placement;
}

std::unique_ptr<Ogre::Rectangle2D> makeBackgroundRectangle(const std::string& material, Ogre::uint32 visibility)
{
    auto rectangle = std::make_unique<Ogre::Rectangle2D>(true);
    rectangle->setMaterial(findMaterial(material));
    rectangle->setCorners(-1, 1, 1, -1);
    rectangle->setRenderQueueGroup(Ogre::RENDER_QUEUE_BACKGROUND);
    rectangle->setBoundingBox(Ogre::AxisAlignedBox::BOX_INFINITE);
    rectangle->setVisibilityFlags(visibility);
    return rectangle;
}

// A rectangle over the whole of a target of the texture's own size puts
// every pixel's centre on a texel's centre, where bilinear filtering gives
// that texel alone: sampling the nearest texel draws the same pixels, and a
// software renderer does it for less. Any other size keeps the filtering.
void sampleTexelsWhenUnscaled(Ogre::Rectangle2D& rectangle, unsigned width, unsigned height)
{
    Ogre::TextureUnitState* unit = rectangle.getMaterial()->getTechnique(0)->getPass(0)->getTextureUnitState(0);
    if (!unit)
        return;
    const Ogre::TexturePtr texture = unit->_getTexturePtr();
    if (!texture)
        return;
    texture->load();
    if (texture->getWidth() == width && texture->getHeight() == height) {
        unit->setTextureFiltering(Ogre::TFO_NONE);
        return;
    }
    // The material is shared: another target of the same run may have set it.
    const Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    unit->setTextureFiltering(materials.getDefaultTextureFiltering(Ogre::FT_MIN),
                              materials.getDefaultTextureFiltering(Ogre::FT_MAG),
                              materials.getDefaultTextureFiltering(Ogre::FT_MIP));
}

Ogre::TexturePtr createVideoTexture(int width, int height, Ogre::PixelFormat format)
{
    Ogre::TextureManager& textures = Ogre::TextureManager::getSingleton();
    if (Ogre::TexturePtr placeholder = textures.getByName(videoTextureName, "General"))
        textures.remove(placeholder);
    Ogre::TexturePtr texture =
        textures.createManual(videoTextureName, "General", Ogre::TEX_TYPE_2D, static_cast<Ogre::uint>(width),
                              static_cast<Ogre::uint>(height), 0, format, Ogre::TU_DYNAMIC_WRITE_ONLY_DISCARDABLE);
    bindTextureUnits(texture);
    // Black until the first frame arrives, not whatever the memory held.
    const Ogre::HardwarePixelBufferSharedPtr buffer = texture->getBuffer(0, 0);
    std::vector<std::uint8_t> black(static_cast<std::size_t>(width) * height * 4, 0);
    buffer->blitFromMemory(Ogre::PixelBox(static_cast<Ogre::uint32>(width), static_cast<Ogre::uint32>(height), 1,
                                          Ogre::PF_X8R8G8B8, black.data()));
    return texture;
}

VideoBackground createVideoBackground(Ogre::SceneManager& sceneManager, Ogre::RenderTarget& target,
                                      const Setting& rendering, UniqueNameCounter& names, int videoWidth,
                                      int videoHeight, bool mirror, std::optional<LayoutSize> layout)
{
    VideoBackground background;
    Ogre::SceneNode* root = sceneManager.getRootSceneNode();

    background.camera = sceneManager.createCamera(names.makeUniqueName("KWO/Camera/"));

    background.backdropViewport = target.addViewport(background.camera, 0, 0, 0, 1, 1);
    background.backdropViewport->setClearEveryFrame(false, Ogre::FBT_COLOUR | Ogre::FBT_DEPTH);
    background.backdropViewport->setVisibilityMask(backdropVisibility);

    background.backdrop = makeBackgroundRectangle("KWO/Background", backdropVisibility);
    sampleTexelsWhenUnscaled(*background.backdrop, target.getWidth(), target.getHeight());
    root->attachObject(background.backdrop.get());

    const LayoutSize size = layout.value_or(LayoutSize{target.getWidth(), target.getHeight()});
    const ViewportPlacement placement = readViewportPlacement(rendering["viewport"], size.width, size.height);
    background.sceneViewport = target.addViewport(background.camera, 1, placement.left, placement.top,
                                                        placement.width, placement.height);
    background.sceneViewport->setClearEveryFrame(true, Ogre::FBT_DEPTH);
    background.sceneViewport->setVisibilityMask(sceneVisibility);
    background.sceneViewport->setMaterialScheme(rendering.getString("scheme", "Low"));

    const Ogre::PixelFormat format = readPixelFormat(rendering["pixel"]);
    background.texture = createVideoTexture(videoWidth, videoHeight, format);
    background.buffer = background.texture->getBuffer(0, 0);

    background.video = makeBackgroundRectangle("KWO/Video", sceneVisibility);
    if (mirror) {
        // Changes the shared material: everything drawn with it is mirrored.
        background.video->getMaterial()->getTechnique(0)->getPass(0)->getTextureUnitState(0)->setTextureUScale(-1);
    }
    root->attachObject(background.video.get());
    return background;
}

} // namespace kwo
