#include "scene/scaled_presentation.h"

#include <OgreCamera.h>
#include <OgreHardwarePixelBuffer.h>
#include <OgreMaterialManager.h>
#include <OgrePass.h>
#include <OgreRectangle2D.h>
#include <OgreRenderTexture.h>
#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreSceneManager.h>
#include <OgreTechnique.h>
#include <OgreTextureManager.h>
#include <OgreTextureUnitState.h>
#include <OgreViewport.h>

#include <array>

namespace kwo {

bool isSoftwareRenderer(const std::string& renderer)
{
    // Mesa's llvmpipe and softpipe, its older swrast ("Software Rasterizer")
    // and the OpenSWR rasteriser ("SWR ...").
    static const std::array<const char*, 4> names = {"llvmpipe", "softpipe", "Software Rasterizer", "SWR "};
    for (const char* name : names)
        if (renderer.find(name) != std::string::npos)
            return true;
    return false;
}

bool drawsAtConfiguredSize(FullScreenResolution resolution, const std::string& renderer)
{
    switch (resolution) {
    case FullScreenResolution::screen:
        return false;
    case FullScreenResolution::window:
        return true;
    case FullScreenResolution::automatic:
        break;
    }
    return isSoftwareRenderer(renderer);
}

ScaledPresentation::ScaledPresentation(Ogre::Root& root, Ogre::RenderWindow& window, unsigned width,
                                       unsigned height, unsigned fsaa, UniqueNameCounter& names)
    : root(root), window(window)
{
    const std::string name = names.makeUniqueName("KWO/Picture/");
    texture = Ogre::TextureManager::getSingleton().createManual(
        name, "General", Ogre::TEX_TYPE_2D, width, height, 0, Ogre::PF_X8R8G8B8, Ogre::TU_RENDERTARGET, nullptr,
        false, fsaa);
    target = texture->getBuffer()->getRenderTarget();
    // Drawn from the window's update, so that it is drawn exactly when the
    // window is, whoever updates the window.
    target->setAutoUpdated(false);

    material = Ogre::MaterialManager::getSingleton().create(name, "General");
    Ogre::Pass* pass = material->getTechnique(0)->getPass(0);
    pass->setLightingEnabled(false);
    pass->setDepthCheckEnabled(false);
    pass->setDepthWriteEnabled(false);
    pass->setCullingMode(Ogre::CULL_NONE);
    Ogre::TextureUnitState* unit = pass->createTextureUnitState();
    unit->setTexture(texture);
    // Linear in both directions; the picture has no smaller levels to blend.
    unit->setTextureFiltering(Ogre::TFO_BILINEAR);
    // Clamped, or the edges would blend with the opposite edge.
    unit->setTextureAddressingMode(Ogre::TextureUnitState::TAM_CLAMP);

    sceneManager = root.createSceneManager();
    camera = sceneManager->createCamera(name);
    quad = std::make_unique<Ogre::Rectangle2D>(true);
    quad->setMaterial(material);
    quad->setCorners(-1, 1, 1, -1);
    quad->setBoundingBox(Ogre::AxisAlignedBox::BOX_INFINITE);
    sceneManager->getRootSceneNode()->attachObject(quad.get());

    viewport = window.addViewport(camera, 0, 0, 0, 1, 1);
    // The quad covers every pixel, and nothing else is drawn into the window.
    viewport->setClearEveryFrame(false);
    viewport->setOverlaysEnabled(false);
    viewport->setSkiesEnabled(false);
    viewport->setShadowsEnabled(false);
    window.addListener(this);
}

ScaledPresentation::~ScaledPresentation()
{
    window.removeListener(this);
    window.removeViewport(viewport->getZOrder());
    quad.reset();
    root.destroySceneManager(sceneManager);
    Ogre::MaterialManager::getSingleton().remove(material);
    material.reset();
    // The texture takes its render target and that target's viewports along.
    Ogre::TextureManager::getSingleton().remove(texture);
    texture.reset();
}

void ScaledPresentation::preRenderTargetUpdate(const Ogre::RenderTargetEvent&)
{
    target->update(false);
}

} // namespace kwo
