#pragma once

#include "config/setting.h"
#include "config/unique_names.h"

#include <memory>
#include <vector>

namespace Ogre {
class Light;
class Rectangle2D;
class SceneManager;
} // namespace Ogre

namespace kwo {

// Default texture filtering of every material from "rendering/filtering"; the
// anisotropy ("rendering/anisotropy", 8 when absent) only for "anisotropic".
void applyTextureFiltering(const Setting& rendering);

// The shadow technique, texture size and colour from "rendering/shadow" (left
// alone when the section is absent or the technique is "none"). With "debug"
// on a texture technique, returns the panel that shows the first shadow
// texture at the top-left quarter of the backdrop viewport (material
// "KWO/DebugShadows"), attached to the root node; otherwise null.
std::unique_ptr<Ogre::Rectangle2D> applyShadows(Ogre::SceneManager& sceneManager, const Setting& rendering);

// One light per element of `lights` ("graphics/lights"), named
// "KWO/Light/<n>", each on a node of its own below the root node: the node
// carries the position and the aim, the light keeps the engine's defaults.
std::vector<Ogre::Light*> createLights(Ogre::SceneManager& sceneManager, const Setting& lights,
                                       UniqueNameCounter& names);

// What setUpRendering made or read.
struct RenderingSetup {
    bool mirror = false;                             // "rendering/mirror"
    std::unique_ptr<Ogre::Rectangle2D> shadowPanel;  // null unless requested
    std::vector<Ogre::Light*> lights;                // owned by the scene manager
};

// Mirror flag, filtering, shadows, ambient light ("rendering/ambient") and
// lights, in that order.
RenderingSetup setUpRendering(Ogre::SceneManager& sceneManager, const Setting& rendering, const Setting& lights,
                              UniqueNameCounter& names);

} // namespace kwo
