#include "scene/rendering_settings.h"

#include "config/exception.h"
#include "config/readers.h"

#include <cmath>

namespace kwo {
namespace {

// A number the engine keeps in single precision.
float readFloat(const Setting& section, const std::string& key, double fallback)
{
    const double value = section.getDouble(key, fallback);
    const float narrowed = static_cast<float>(value);
    if (!std::isfinite(narrowed))
        throw Exception(section[key].path() + ": " + section[key].written() + " is too large");
    return narrowed;
}

std::string shown(double value)
{
    return numberText(value);
}

void requireWithin(const Setting& section, const std::string& key, double value, double low, double high)
{
    if (value < low || value > high)
        throw Exception(section[key].path() + ": " + shown(value) + " is outside " + shown(low) + ".." +
                        shown(high));
}

} // namespace

Ogre::TextureFilterOptions readFiltering(const Setting& rendering, unsigned& anisotropy)
{
    const Ogre::TextureFilterOptions filtering = readTextureFilter(rendering["filtering"]);
    if (filtering == Ogre::TFO_ANISOTROPIC) {
        anisotropy = rendering.getUInt("anisotropy", 8);
        requireWithin(rendering, "anisotropy", anisotropy, 1, maxAnisotropy);
    }
    return filtering;
}

ShadowSettings readShadowSettings(const Setting& rendering)
{
    ShadowSettings shadow;
    if (!rendering.has("shadow"))
        return shadow;
    shadow.present = true;
    const Setting section = rendering["shadow"];
    shadow.technique = readShadowTechnique(section["technique"]);
    if (shadow.technique == Ogre::SHADOWTYPE_NONE)
        return shadow;
    shadow.size = section.getUInt("size", 512);
    requireWithin(section, "size", shadow.size, 1, maxShadowSize);
    if (shadow.technique == Ogre::SHADOWTYPE_TEXTURE_MODULATIVE)
        shadow.colour = readColour(section["color"], Ogre::ColourValue::Black);
    shadow.panel = section.getBool("debug", false);
    return shadow;
}

LightSettings readLightSettings(const Setting& element)
{
    LightSettings light;
    light.type = readLightType(element["type"]);
    light.diffuse = readColour(element["diffuse"], Ogre::ColourValue::White);
    light.specular = readColour(element["specular"], Ogre::ColourValue::White);
    light.power = readFloat(element, "power", 1);
    if (light.type != Ogre::Light::LT_DIRECTIONAL)
        light.position = readVector3(element["position"], Ogre::Vector3::ZERO);
    if (light.type != Ogre::Light::LT_POINT)
        light.look = readVector3(element["look"], Ogre::Vector3::ZERO);
    if (light.type == Ogre::Light::LT_SPOTLIGHT) {
        if (element.has("range")) {
            const Setting range = element["range"];
            SpotCone cone;
            cone.umbra = readFloat(range, "umbra", 40);
            cone.penumbra = readFloat(range, "penumbra", 30);
            cone.falloff = readFloat(range, "falloff", 1);
            // The renderer takes half the outer angle as its cut-off, which
            // must lie within 0..90 degrees, and an exponent within 0..128;
            // it ignores anything else and keeps the cone it had.
            requireWithin(range, "umbra", cone.umbra, 0, 180);
            requireWithin(range, "penumbra", cone.penumbra, 0, 180);
            requireWithin(range, "falloff", cone.falloff, 0, 128);
            light.cone = cone;
        }
        light.castShadows = element.getBool("shadow", false);
    }
    return light;
}

RenderingSettings readRenderingSettings(const Setting& rendering, const Setting& lights)
{
    RenderingSettings settings;
    settings.mirror = rendering.getBool("mirror", false);
    settings.filtering = readFiltering(rendering, settings.anisotropy);
    settings.shadow = readShadowSettings(rendering);
    settings.ambient = readColour(rendering["ambient"], Ogre::ColourValue(0.2f, 0.2f, 0.2f, 1));
    const unsigned count = lights.size();
    for (unsigned i = 0; i < count; ++i)
        settings.lights.push_back(readLightSettings(lights[i]));
    return settings;
}

ClipDistances readClipDistances(const Setting& rendering)
{
    ClipDistances clip;
    clip.nearDistance = readFloat(rendering, "near", 5.0);
    clip.farDistance = readFloat(rendering, "far", 2000.0);
    if (!(clip.nearDistance > 0))
        throw Exception(rendering["near"].path() + ": " + rendering["near"].written() + " is not above 0");
    if (!(clip.farDistance > clip.nearDistance))
        throw Exception(rendering["far"].path() + ": " + rendering["far"].written() + " is not beyond " +
                        rendering["near"].path() + " (" + shown(clip.nearDistance) + ")");
    return clip;
}

} // namespace kwo
