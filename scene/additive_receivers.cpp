#include "scene/additive_receivers.h"

#include <OgreMaterialManager.h>
#include <OgrePass.h>
#include <OgreTechnique.h>
#include <OgreTextureUnitState.h>

#include <vector>

namespace kwo {
namespace {

Ogre::MaterialPtr makeReceiver(const Ogre::Material& material, const Ogre::Pass& lit)
{
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    const std::string name = material.getName() + "/KWO/AdditiveReceiver";
    if (Ogre::MaterialPtr existing = materials.getByName(name, material.getGroup()))
        return existing;
    Ogre::MaterialPtr receiver = materials.create(name, material.getGroup());
    Ogre::Pass* pass = receiver->getTechnique(0)->getPass(0);
    // One light's share, added onto what the ambient pass drew.
    pass->setLightingEnabled(true);
    pass->setAmbient(Ogre::ColourValue::Black);
    pass->setSelfIllumination(Ogre::ColourValue::Black);
    pass->setDiffuse(lit.getDiffuse());
    pass->setSpecular(lit.getSpecular());
    pass->setShininess(lit.getShininess());
    pass->setVertexColourTracking(lit.getVertexColourTracking() & (Ogre::TVC_DIFFUSE | Ogre::TVC_SPECULAR));
    pass->setSceneBlending(Ogre::SBF_ONE, Ogre::SBF_ONE);
    pass->setDepthWriteEnabled(false);
    pass->setDepthFunction(Ogre::CMPF_LESS_EQUAL);
    pass->setCullingMode(lit.getCullingMode());
    pass->setManualCullingMode(lit.getManualCullingMode());
    // The engine puts the light's shadow texture here; outside the texture
    // nothing is shadowed.
    Ogre::TextureUnitState* shadow = pass->createTextureUnitState();
    shadow->setContentType(Ogre::TextureUnitState::CONTENT_SHADOW);
    shadow->setTextureAddressingMode(Ogre::TextureUnitState::TAM_BORDER);
    shadow->setTextureBorderColour(Ogre::ColourValue::White);
    shadow->setColourOperation(Ogre::LBO_MODULATE);
    receiver->load();
    return receiver;
}

} // namespace

void keepVertexColoursUnderAdditiveShadows()
{
    Ogre::MaterialManager& materials = Ogre::MaterialManager::getSingleton();
    // Receivers are created while walking, so the walk goes over a copy.
    std::vector<Ogre::MaterialPtr> loaded;
    for (auto each = materials.getResourceIterator(); each.hasMoreElements();)
        loaded.push_back(Ogre::static_pointer_cast<Ogre::Material>(each.getNext()));
    for (const Ogre::MaterialPtr& material : loaded) {
        if (!material->getReceiveShadows())
            continue;
        for (Ogre::Technique* technique : material->getTechniques()) {
            if (technique->getNumPasses() == 0 || technique->getShadowReceiverMaterial())
                continue;
            const Ogre::Pass* lit = technique->getPass(0);
            if (!lit->getLightingEnabled() ||
                (lit->getVertexColourTracking() & (Ogre::TVC_DIFFUSE | Ogre::TVC_SPECULAR)) == 0)
                continue;
            technique->setShadowReceiverMaterial(makeReceiver(*material, *lit));
        }
    }
}

} // namespace kwo
