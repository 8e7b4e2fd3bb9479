#include "scene/rendering_options.h"

#include "config/exception.h"
#include "config/readers.h"
#include "scene/additive_receivers.h"
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
Ogre::Radian degrees(double value)
{
    return Ogre::Radian(static_cast<float>(value) * (Ogre::Math::PI / 180.0f));
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

void placeLight(Ogre::Light& light, Ogre::SceneNode& node, const Setting& element)
{
    // A light on a node shines along the node's -Z axis: that axis is turned
    // toward the "look" point. With nothing to aim at (the point is where the
    // light is) the light shines along +Z.
    const auto aim = [&] {
        Ogre::Vector3 direction = readVector3(element["look"], Ogre::Vector3::ZERO) - node._getDerivedPosition();
        if (direction.isZeroLength())
            direction = Ogre::Vector3::UNIT_Z;
        node.setDirection(direction, Ogre::Node::TS_WORLD, Ogre::Vector3::NEGATIVE_UNIT_Z);
    };
    switch (light.getType()) {
    case Ogre::Light::LT_POINT:
        node.setPosition(readVector3(element["position"], Ogre::Vector3::ZERO));
        light.setCastShadows(false);
        break;
    case Ogre::Light::LT_DIRECTIONAL:
        aim();
        light.setCastShadows(false);
        break;
    case Ogre::Light::LT_SPOTLIGHT:
        node.setPosition(readVector3(element["position"], Ogre::Vector3::ZERO));
        aim();
        if (element.has("range")) {
            const Setting range = element["range"];
            const double umbra = range.getDouble("umbra", 40);
            const double penumbra = range.getDouble("penumbra", 30);
            const double falloff = range.getDouble("falloff", 1);
            light.setSpotlightRange(degrees(penumbra), degrees(umbra), static_cast<float>(falloff));
        }
        light.setCastShadows(element.getBool("shadow", false));
        break;
    }
}

} // namespace

void applyTextureFiltering(const Setting& rendering)
{
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    const Ogre::TextureFilterOptions filtering = readTextureFilter(rendering["filtering"]);
    materials.setDefaultTextureFiltering(filtering);
    if (filtering == Ogre::TFO_ANISOTROPIC)
        materials.setDefaultAnisotropy(rendering.getUInt("anisotropy", 8));
}

std::unique_ptr<Ogre::Rectangle2D> applyShadows(Ogre::SceneManager& sceneManager, const Setting& rendering)
{
    if (!rendering.has("shadow"))
        return nullptr;
    const Setting shadow = rendering["shadow"];
    const Ogre::ShadowTechnique technique = readShadowTechnique(shadow["technique"]);
    if (technique != Ogre::SHADOWTYPE_NONE) {
        // The engine keeps the size in 16 bits (65536 would become 0) and no
        // renderer makes textures beyond 16384 texels.
        const unsigned size = shadow.getUInt("size", 512);
        if (size < 1 || size > 16384)
            throw Exception(shadow.path() + "/size: " + std::to_string(size) + " is outside 1..16384");
        sceneManager.setShadowTechnique(technique);
        sceneManager.setShadowTextureSize(static_cast<Ogre::uint16>(size));
        if (technique == Ogre::SHADOWTYPE_TEXTURE_ADDITIVE)
            keepVertexColoursUnderAdditiveShadows();
    }
    if (sceneManager.isShadowTechniqueModulative())
        sceneManager.setShadowColour(readColour(shadow["color"], Ogre::ColourValue::Black));
    if (sceneManager.isShadowTechniqueTextureBased() && shadow.getBool("debug", false))
        return makeShadowPanel(sceneManager);
    return nullptr;
}

std::vector<Ogre::Light*> createLights(Ogre::SceneManager& sceneManager, const Setting& lights,
                                       UniqueNameCounter& names)
{
    std::vector<Ogre::Light*> made;
    const unsigned count = lights.size();
    for (unsigned i = 0; i < count; ++i) {
        const Setting element = lights[i];
        Ogre::SceneNode* node =
            sceneManager.getRootSceneNode()->createChildSceneNode(Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY);
        Ogre::Light* light = sceneManager.createLight(names.makeUniqueName("KWO/Light/"));
        light->setType(readLightType(element["type"]));
        node->attachObject(light);
        light->setDiffuseColour(readColour(element["diffuse"], Ogre::ColourValue::White));
        light->setSpecularColour(readColour(element["specular"], Ogre::ColourValue::White));
        light->setPowerScale(static_cast<float>(element.getDouble("power", 1)));
        placeLight(*light, *node, element);
        made.push_back(light);
    }
    return made;
}

RenderingSetup setUpRendering(Ogre::SceneManager& sceneManager, const Setting& rendering, const Setting& lights,
                              UniqueNameCounter& names)
{
    RenderingSetup setup;
    setup.mirror = rendering.getBool("mirror", false);
    applyTextureFiltering(rendering);
    setup.shadowPanel = applyShadows(sceneManager, rendering);
    sceneManager.setAmbientLight(readColour(rendering["ambient"], Ogre::ColourValue(0.2f, 0.2f, 0.2f, 1)));
    setup.lights = createLights(sceneManager, lights, names);
    return setup;
}

} // namespace kwo
