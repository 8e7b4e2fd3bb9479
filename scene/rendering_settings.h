#pragma once

#include "config/setting.h"

#include <OgreColourValue.h>
#include <OgreCommon.h>
#include <OgreLight.h>
#include <OgreVector.h>

#include <optional>
#include <vector>

namespace kwo {

// The "rendering" section and the list "graphics/lights" as read and checked
// before anything is made of them. Only the keys the start-up reads are read:
// the anisotropy only for "anisotropic" filtering, the shadow's size, colour
// and panel only for the techniques that use them, a light's position, aim,
// cone and shadow only for the types that have them.

// The most anisotropy any renderer offers.
constexpr unsigned maxAnisotropy = 16;
// Shadow texture sides the engine keeps (16 bits) and renderers make.
constexpr unsigned maxShadowSize = 16384;

struct ShadowSettings {
    bool present = false; // "rendering/shadow" given: without it nothing is changed
    Ogre::ShadowTechnique technique = Ogre::SHADOWTYPE_NONE;
    unsigned size = 512;                              // texels a side, 1..maxShadowSize
    Ogre::ColourValue colour = Ogre::ColourValue::Black; // modulative only
    bool panel = false;                               // "debug": show the first shadow texture
};

// A spot light's cone ("range"), degrees as configured.
struct SpotCone {
    float umbra = 40;    // outer angle, 0..180 (the renderer takes half of it, up to 90)
    float penumbra = 30; // inner angle, 0..180
    float falloff = 1;   // exponent from the inner to the outer cone, 0..128
};

struct LightSettings {
    Ogre::Light::LightTypes type = Ogre::Light::LT_POINT;
    Ogre::ColourValue diffuse = Ogre::ColourValue::White;
    Ogre::ColourValue specular = Ogre::ColourValue::White;
    float power = 1;
    Ogre::Vector3 position = Ogre::Vector3::ZERO; // point and spot
    Ogre::Vector3 look = Ogre::Vector3::ZERO;     // directional and spot: a point the light shines toward
    std::optional<SpotCone> cone;                 // spot with "range"; else the engine's own cone
    bool castShadows = false;                     // spot only
};

struct RenderingSettings {
    bool mirror = false;
    Ogre::TextureFilterOptions filtering = Ogre::TFO_BILINEAR;
    unsigned anisotropy = 8; // 1..maxAnisotropy, "anisotropic" only
    ShadowSettings shadow;
    Ogre::ColourValue ambient = Ogre::ColourValue(0.2f, 0.2f, 0.2f, 1);
    std::vector<LightSettings> lights;
};

// Mirror flag, filtering, shadows, ambient light and lights, in that order.
// A value outside what the engine can draw with stops with a message naming
// its key ("rendering/anisotropy: 0 is outside 1..16").
RenderingSettings readRenderingSettings(const Setting& rendering, const Setting& lights);
Ogre::TextureFilterOptions readFiltering(const Setting& rendering, unsigned& anisotropy);
ShadowSettings readShadowSettings(const Setting& rendering);
LightSettings readLightSettings(const Setting& element);

// The scene camera's clip distances, millimetres.
struct ClipDistances {
    float nearDistance = 5;
    float farDistance = 2000;
};

// "rendering/near" and "rendering/far": the near distance above 0 and the far
// one beyond it, or the projection has no depth and the engine stops on its
// first bounding box.
ClipDistances readClipDistances(const Setting& rendering);

} // namespace kwo
