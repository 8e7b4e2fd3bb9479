// Photographs the generated creatures for the program's own pictures:
//   banner.png  491 x 139, 24-bit: the four creatures as black silhouettes on white
//   icon.png    128 x 128 with alpha: Quillmoth in colour
// Usage (needs an X display): kwo_creature_pictures <graphics folder> <output folder>

#include "studio.h"

#include <OGRE/OgreMath.h>

#include <iostream>

namespace {

using kwo::media::Actor;
using kwo::media::Shot;

// Yaw of the character about the up axis, on top of nothing else: 0 faces the
// camera below (which looks along +Z), +90 faces the banner's left.
Ogre::Quaternion yaw(float degrees)
{
    return Ogre::Quaternion(Ogre::Degree(180.0f + degrees), Ogre::Vector3::UNIT_Y);
}

Actor pose(const std::string& mesh, float x, float degrees, float time)
{
    Actor actor;
    actor.mesh = mesh;
    actor.animation = "idle";
    actor.time = time;
    actor.marker = {x, 0, 0};
    actor.orientation = yaw(degrees);
    actor.ground = false;
    return actor;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " <graphics folder> <output folder>\n";
        return 2;
    }
    const std::string graphics = argv[1];
    const std::string output = argv[2];
    try {
        kwo::media::Studio studio(KWO_OGRE_PLUGIN_DIR,
                                  {graphics + "/Quillmoth.dat", graphics + "/Brackenjaw.dat", graphics + "/Sliverfin.dat",
                                   graphics + "/Mossglider.dat", graphics + "/Decor.dat"},
                                  "pictures.log");

        // The camera looks along +Z, so world +X is on the picture's left.
        Shot banner;
        banner.width = 491;
        banner.height = 139;
        banner.supersample = 4;
        banner.fieldOfView = 0.0f;
        banner.orthographicHeight = 86.0f;
        banner.eye = {0, 38, -500};
        banner.target = {0, 38, 0};
        banner.background = Ogre::ColourValue::White;
        banner.silhouette = true;
        Actor snapping = pose("Brackenjaw.mesh", 40, -75, 0.2f);   // jaw wide open
        snapping.animation = "collision";
        banner.actors = {pose("Quillmoth.mesh", 118, 55, 0.0f), snapping,
                         pose("Sliverfin.mesh", -38, 90, 0.0f), pose("Mossglider.mesh", -117, 0, 0.0f)};
        studio.take(banner).save(output + "/banner.png", false);

        Shot icon;
        icon.width = 128;
        icon.height = 128;
        icon.supersample = 4;
        icon.fieldOfView = 31.0f;
        icon.eye = {-45, 80, -150};
        icon.target = {0, 31, 0};
        icon.background = Ogre::ColourValue(0, 0, 0, 0);
        icon.actors = {pose("Quillmoth.mesh", 0, -15, 0.0f)};
        studio.take(icon).save(output + "/icon.png", true);
    } catch (const std::exception& error) {
        std::cerr << "pictures failed: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
