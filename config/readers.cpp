#include "config/readers.h"

#include "config/exception.h"
#include "config/startup_notes.h"

#include <cmath>
#include <utility>

namespace kwo {
namespace {

template <typename T, std::size_t N>
T readWord(const Setting& value, T absent, const std::pair<const char*, T> (&words)[N], const std::string& prefix,
           bool quoteWord)
{
    if (value.isAbsent())
        return absent;
    const std::string word = value.asString();
    std::string list;
    for (const auto& [text, result] : words) {
        if (word == text)
            return result;
        list += (list.empty() ? "" : ", ") + std::string(text);
    }
    throw Exception(quoteWord ? prefix + word + "'" : prefix,
                    value.path() + ": " + value.written() + " is not one of " + list);
}

// The engine keeps single-precision floats: a number beyond their range
// would become infinite and spoil every bounding box it reaches.
float component(const Setting& value, const char* name)
{
    const Setting member = value[name];
    const float number = static_cast<float>(member.asDouble());
    if (!std::isfinite(number))
        throw Exception(member.path() + ": " + member.written() + " is too large");
    return number;
}

// Colours are fractions of full intensity; the engine passes others on as
// they are, so what shows is not what the number seems to say.
void warnOutsideUnit(const Setting& colour, const char* name, float component)
{
    if (colour.notes() && (component < 0 || component > 1))
        colour.notes()->warn(colour[name].path() + ": " + colour[name].written() + " is outside 0..1");
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
    const Ogre::Quaternion turn(component(value, "w"), component(value, "x"), component(value, "y"),
                                component(value, "z"));
    // The engine normalises what it is given: of four zeros (or numbers whose
    // squares single precision cannot hold) the division would fill the scene
    // with NaN.
    const float norm = turn.Norm();
    if (!(norm > 0) || !std::isfinite(norm))
        throw Exception(value.path() + ": w, x, y and z give no orientation (their squares add up to " +
                        (norm > 0 ? "too much" : "0") + ")");
    return turn;
}

Ogre::ColourValue readColour(const Setting& value, const Ogre::ColourValue& fallback)
{
    if (value.isAbsent())
        return fallback;
    requireComponents(value);
    Ogre::ColourValue colour(component(value, "r"), component(value, "g"), component(value, "b"),
                             value.has("a") ? component(value, "a") : 1.0f);
    for (const auto& [name, part] : {std::pair{"r", colour.r}, {"g", colour.g}, {"b", colour.b}, {"a", colour.a}})
        warnOutsideUnit(value, name, part);
    return colour;
}

} // namespace kwo
