#include "scene/object_settings.h"

#include "config/exception.h"
#include "config/readers.h"

#include <algorithm>
#include <array>

namespace kwo {
namespace {

void readPlacement(PlacedMesh& placed, const Setting& item)
{
    placed.mesh = item.name("mesh");
    placed.position = readVector3(item["position"], Ogre::Vector3::ZERO);
    placed.orientation = readQuaternion(item["orientation"]);
    placed.scale = readVector3(item["scale"], Ogre::Vector3::UNIT_SCALE);
    placed.castShadows = item.getBool("shadow", false);
}

Setting findGraphicsObject(const Setting& config, const std::string& name)
{
    const Setting objects = config["graphics"]["objects"];
    for (unsigned i = 0; i < objects.size(); ++i)
        if (objects[i].name("name") == name)
            return objects[i];
    throw Exception("Invalid object '" + name + "'", objects.path() + " has no element named '" + name + "'");
}

} // namespace

GraphicsObjectSettings readGraphicsObject(const Setting& config, const std::string& name)
{
    const Setting graphics = findGraphicsObject(config, name);
    GraphicsObjectSettings settings;

    const Setting character = graphics["character"];
    readPlacement(settings.character, character);
    if (character.has("animations")) {
        const Setting animations = character["animations"];
        if (animations.has("idle"))
            settings.character.idle = animations.name("idle");
        if (animations.has("collision"))
            settings.character.collision = animations.name("collision");
    }

    const Setting decor = graphics["decor"];
    for (unsigned i = 0; i < decor.size(); ++i) {
        DecorSettings item;
        readPlacement(item, decor[i]);
        item.animation = decor[i].getString("animation", "");
        settings.decor.push_back(item);
    }
    return settings;
}

std::vector<DebugMesh> readDebugMeshes(const Setting& config)
{
    static const std::array<const char*, 5> nodes = {"flyer", "base", "collision", "character", "decor"};
    std::vector<DebugMesh> meshes;
    const Setting debug = config["misc"]["debug"];
    for (unsigned i = 0; i < debug.size(); ++i) {
        const DebugMesh mesh{debug[i].name("node"), debug[i].name("mesh")};
        if (std::find(nodes.begin(), nodes.end(), mesh.node) == nodes.end())
            throw Exception("Invalid debug node", debug[i]["node"].path() + ": " + debug[i]["node"].written() +
                                                      " is not flyer, base, collision, character or decor");
        meshes.push_back(mesh);
    }
    return meshes;
}

} // namespace kwo
