#include "scene/rendering_options.h"

#include "scene/additive_receivers.h"
#include "scene/rendering_settings.h"
#include "scene/video_background.h"

#include <OgreLight.h>
#include <OgreMaterialManager.h>
#include <OgrePass.h>
#include <OgreRectangle2D.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>
#include <OgreTechnique.h>

namespace kwo {
namespace {

// Spot angles are configured in degrees; the engine wants radians.
Ogre::Radian degrees(float value)
{
    return Ogre::Radian(value * (Ogre::Math::PI / 180.0f));
}

std::unique_ptr<Ogre::Rectangle2D> makeShadowPanel(Ogre::SceneManager& sceneManager)
{
    auto panel = std::make_unique<Ogre::Rectangle2D>(true);
    Ogre::MaterialPtr material = Ogre::MaterialManager::getSingleton().getByName("KWO/DebugShadows");
    if (!material)
        OGRE_EXCEPT(Ogre::Exception::ERR_ITEM_NOT_FOUND, "Could not find material KWO/DebugShadows",
                    "kwo::applyShadows");
    panel->setMaterial(material);
    panel->getMaterial()->getTechnique(0)->getPass(0)->getTextureUnitState(0)->setTextureName(
        sceneManager.getShadowTexture(0)->getName(), Ogre::TEX_TYPE_2D);
    panel->setCorners(-1, 1, -0.5, 0.5);
    panel->setRenderQueueGroup(Ogre::RENDER_QUEUE_MAX);
    panel->setBoundingBox(Ogre::AxisAlignedBox::BOX_INFINITE);
    panel->setVisibilityFlags(backdropVisibility);
    sceneManager.getRootSceneNode()->attachObject(panel.get());
    return panel;
}

void placeLight(Ogre::Light& light, Ogre::SceneNode& node, const LightSettings& settings)
{
    // A light on a node shines along the node's -Z axis: that axis is turned
    // toward the "look" point. With nothing to aim at (the point is where the
    // light is) the light shines along +Z.
    const auto aim = [&] {
        Ogre::Vector3 direction = settings.look - node._getDerivedPosition();
        if (direction.isZeroLength())
            direction = Ogre::Vector3::UNIT_Z;
        node.setDirection(direction, Ogre::Node::TS_WORLD, Ogre::Vector3::NEGATIVE_UNIT_Z);
    };
    switch (light.getType()) {
    case Ogre::Light::LT_POINT:
        node.setPosition(settings.position);
        light.setCastShadows(false);
        break;
    case Ogre::Light::LT_DIRECTIONAL:
        aim();
        light.setCastShadows(false);
        break;
    case Ogre::Light::LT_SPOTLIGHT:
        node.setPosition(settings.position);
        aim();
        if (settings.cone)
            light.setSpotlightRange(degrees(settings.cone->penumbra), degrees(settings.cone->umbra),
                                    settings.cone->falloff);
        light.setCastShadows(settings.castShadows);
        break;
    }
}

void applyFiltering(Ogre::TextureFilterOptions filtering, unsigned anisotropy)
{
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    materials.setDefaultTextureFiltering(filtering);
    if (filtering == Ogre::TFO_ANISOTROPIC)
        materials.setDefaultAnisotropy(anisotropy);
}

std::unique_ptr<Ogre::Rectangle2D> applyShadowSettings(Ogre::SceneManager& sceneManager, const ShadowSettings& shadow)
{
    if (!shadow.present)
        return nullptr;
    if (shadow.technique != Ogre::SHADOWTYPE_NONE) {
        sceneManager.setShadowTechnique(shadow.technique);
        sceneManager.setShadowTextureSize(static_cast<Ogre::uint16>(shadow.size));
        if (shadow.technique == Ogre::SHADOWTYPE_TEXTURE_ADDITIVE)
            keepVertexColoursUnderAdditiveShadows();
    }
    if (sceneManager.isShadowTechniqueModulative())
        sceneManager.setShadowColour(shadow.colour);
    if (sceneManager.isShadowTechniqueTextureBased() && shadow.panel)
        return makeShadowPanel(sceneManager);
    return nullptr;
}

std::vector<Ogre::Light*> makeLights(Ogre::SceneManager& sceneManager, const std::vector<LightSettings>& lights,
                                     UniqueNameCounter& names)
{
    std::vector<Ogre::Light*> made;
    for (const LightSettings& settings : lights) {
        Ogre::SceneNode* node =
            sceneManager.getRootSceneNode()->createChildSceneNode(Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY);
        Ogre::Light* light = sceneManager.createLight(names.makeUniqueName("KWO/Light/"));
        light->setType(settings.type);
        node->attachObject(light);
        light->setDiffuseColour(settings.diffuse);
        light->setSpecularColour(settings.specular);
        light->setPowerScale(settings.power);
        placeLight(*light, *node, settings);
        made.push_back(light);
    }
    return made;
}

} // namespace

void applyTextureFiltering(const Setting& rendering)
{
    unsigned anisotropy = 8;
    const Ogre::TextureFilterOptions filtering = readFiltering(rendering, anisotropy);
    applyFiltering(filtering, anisotropy);
}

std::unique_ptr<Ogre::Rectangle2D> applyShadows(Ogre::SceneManager& sceneManager, const Setting& rendering)
{
    return applyShadowSettings(sceneManager, readShadowSettings(rendering));
}

std::vector<Ogre::Light*> createLights(Ogre::SceneManager& sceneManager, const Setting& lights,
                                       UniqueNameCounter& names)
{
    std::vector<LightSettings> settings;
    for (unsigned i = 0; i < lights.size(); ++i)
        settings.push_back(readLightSettings(lights[i]));
    return makeLights(sceneManager, settings, names);
}

RenderingSetup setUpRendering(Ogre::SceneManager& sceneManager, const Setting& rendering, const Setting& lights,
                              UniqueNameCounter& names)
{
    // Everything is read and checked before the first engine call.
    const RenderingSettings settings = readRenderingSettings(rendering, lights);
    RenderingSetup setup;
    setup.mirror = settings.mirror;
    applyFiltering(settings.filtering, settings.anisotropy);
    setup.shadowPanel = applyShadowSettings(sceneManager, settings.shadow);
    sceneManager.setAmbientLight(settings.ambient);
    setup.lights = makeLights(sceneManager, settings.lights, names);
    return setup;
}

} // namespace kwo
