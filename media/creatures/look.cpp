// Renders one creature for a quick look: kwo_creature_look <graphics folder> <mesh> <animation> <time> <out.png> [eye x y z]
#include "studio.h"

#include <iostream>

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::cerr << "usage: " << argv[0] << " <graphics folder> <mesh> <animation|-> <time> <out.png> [eye x y z]\n";
        return 2;
    }
    const std::string folder = argv[1];
    kwo::media::Studio studio(KWO_OGRE_PLUGIN_DIR, {folder + "/Quillmoth.dat", folder + "/Brackenjaw.dat", folder + "/Sliverfin.dat",
                                                    folder + "/Mossglider.dat", folder + "/Decor.dat"},
                              "look.log");
    kwo::media::Shot shot;
    shot.width = 400;
    shot.height = 400;
    kwo::media::Actor actor;
    actor.mesh = argv[2];
    actor.animation = std::string(argv[3]) == "-" ? "" : argv[3];
    actor.time = std::stof(argv[4]);
    shot.actors.push_back(actor);
    shot.eye = {-110, 90, -160};
    if (argc >= 9) {
        shot.eye = {std::stof(argv[6]), std::stof(argv[7]), std::stof(argv[8])};
    }
    shot.target = {0, 30, 0};
    studio.take(shot).save(argv[5], false);
    return 0;
}
