#include "config/readers.h"

#include "config/convert.h"
#include "config/exception.h"

#include <utility>

namespace kwo {
namespace {

template <typename T, std::size_t N>
T readWord(const Setting& value, T absent, const std::pair<const char*, T> (&words)[N], const std::string& prefix,
           bool quoteWord)
{
    if (value.isAbsent())
        return absent;
    const std::string word = asString(value.value());
    for (const auto& [text, result] : words)
        if (word == text)
            return result;
    throw Exception(quoteWord ? prefix + word + "'" : prefix);
}

float component(const Setting& value, const char* name)
{
    return static_cast<float>(asDouble(value[name].value()));
}

void requireComponents(const Setting& value)
{
    if (!value.value().isObject())
        throw Exception(value.path() + ": expected an object");
}

} // namespace

Ogre::TextureFilterOptions readTextureFilter(const Setting& value)
{
    static const std::pair<const char*, Ogre::TextureFilterOptions> words[] = {
        {"bilinear", Ogre::TFO_BILINEAR},
        {"trilinear", Ogre::TFO_TRILINEAR},
        {"anisotropic", Ogre::TFO_ANISOTROPIC},
        {"none", Ogre::TFO_NONE},
    };
    return readWord(value, Ogre::TFO_BILINEAR, words, "Invalid filter type '", true);
}

Ogre::ShadowTechnique readShadowTechnique(const Setting& value)
{
    static const std::pair<const char*, Ogre::ShadowTechnique> words[] = {
        {"additive", Ogre::SHADOWTYPE_TEXTURE_ADDITIVE},
        {"modulative", Ogre::SHADOWTYPE_TEXTURE_MODULATIVE},
        {"none", Ogre::SHADOWTYPE_NONE},
    };
    return readWord(value, Ogre::SHADOWTYPE_NONE, words, "Invalid shadow technique '", true);
}

Ogre::Light::LightTypes readLightType(const Setting& value)
{
    static const std::pair<const char*, Ogre::Light::LightTypes> words[] = {
        {"point", Ogre::Light::LT_POINT},
        {"spot", Ogre::Light::LT_SPOTLIGHT},
        {"directional", Ogre::Light::LT_DIRECTIONAL},
    };
    return readWord(value, Ogre::Light::LT_POINT, words, "Invalid light type '", true);
}

Ogre::PixelFormat readPixelFormat(const Setting& value)
{
    static const std::pair<const char*, Ogre::PixelFormat> words[] = {
        {"rgb32", Ogre::PF_X8R8G8B8},
        {"rgb24", Ogre::PF_R8G8B8},
    };
    return readWord(value, Ogre::PF_X8R8G8B8, words, "Invalid pixel format", false);
}

Ogre::Vector2 readVector2(const Setting& value)
{
    if (value.isAbsent())
        return Ogre::Vector2(0, 0);
    requireComponents(value);
    return Ogre::Vector2(component(value, "x"), component(value, "y"));
}

Ogre::Vector3 readVector3(const Setting& value, const Ogre::Vector3& fallback)
{
    if (value.isAbsent())
        return fallback;
    requireComponents(value);
    return Ogre::Vector3(component(value, "x"), component(value, "y"), component(value, "z"));
}

Ogre::Quaternion readQuaternion(const Setting& value)
{
    if (value.isAbsent())
        return Ogre::Quaternion::IDENTITY;
    requireComponents(value);
    return Ogre::Quaternion(component(value, "w"), component(value, "x"), component(value, "y"),
                            component(value, "z"));
}

Ogre::ColourValue readColour(const Setting& value, const Ogre::ColourValue& fallback)
{
    if (value.isAbsent())
        return fallback;
    requireComponents(value);
    return Ogre::ColourValue(component(value, "r"), component(value, "g"), component(value, "b"),
                             static_cast<float>(value.getDouble("a", 1)));
}

} // namespace kwo
