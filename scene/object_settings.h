#pragma once

#include "config/setting.h"

#include <OgreQuaternion.h>
#include <OgreVector.h>

#include <optional>
#include <string>
#include <vector>

namespace kwo {

// What is drawn on one marker, as read and checked from its element of
// "graphics/objects" before anything of it is made.

// A mesh placed below a node of the marker: position and scale in marker
// units (millimetres), the orientation as written (the engine normalises it).
struct PlacedMesh {
    std::string mesh;
    Ogre::Vector3 position = Ogre::Vector3::ZERO;
    Ogre::Quaternion orientation = Ogre::Quaternion::IDENTITY;
    Ogre::Vector3 scale = Ogre::Vector3::UNIT_SCALE;
    bool castShadows = false;
};

struct CharacterSettings : PlacedMesh {
    // Animation names under "animations"; absent ones are not played.
    std::optional<std::string> idle;
    std::optional<std::string> collision;
};

struct DecorSettings : PlacedMesh {
    std::string animation; // played in a loop from the start; empty for none
};

struct GraphicsObjectSettings {
    CharacterSettings character;
    std::vector<DecorSettings> decor;
};

// The first element of "graphics/objects" whose name is `name`, read;
// "Invalid object '<name>'" when there is none.
GraphicsObjectSettings readGraphicsObject(const Setting& config, const std::string& name);

// One element of "misc/debug": the node's debug name ("flyer", "base",
// "collision", "character" or "decor"; anything else stops with "Invalid
// debug node") and the mesh hung on it.
struct DebugMesh {
    std::string node;
    std::string mesh;
};
std::vector<DebugMesh> readDebugMeshes(const Setting& config);

} // namespace kwo
