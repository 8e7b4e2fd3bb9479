// Writes the core media of the viewer into a folder: the backdrop picture and
// the material script with "KWO/Background", "KWO/Video" and
// "KWO/DebugShadows". The build packs the folder into Core.dat.
#include "media/core/backdrop.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// The video picture is drawn first in the scene viewport and must not hide the
// creatures drawn after it, so it writes no depth; it is lit by nothing. The
// texture unit names the manual texture the viewer fills every frame.
const char* const materials = R"(// Core materials of the viewer.

material KWO/Background
{
    technique
    {
        pass
        {
            lighting off
            depth_check off
            depth_write off
            texture_unit
            {
                texture Background.png
                tex_address_mode clamp
            }
        }
    }
}

material KWO/Video
{
    technique
    {
        pass
        {
            lighting off
            depth_check off
            depth_write off
            texture_unit
            {
                texture KWO/Texture
                tex_address_mode clamp
            }
        }
    }
}

// Shows a shadow texture; the viewer names the texture at start-up.
material KWO/DebugShadows
{
    technique
    {
        pass
        {
            lighting off
            depth_check off
            depth_write off
            texture_unit
            {
                tex_address_mode clamp
            }
        }
    }
}
)";

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_core_media FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::ofstream script(folder + "/Core.material", std::ios::binary);
    script << materials;
    if (!script) {
        std::fprintf(stderr, "make_core_media: cannot write %s/Core.material\n", folder.c_str());
        return 1;
    }
    if (!kwo::media::writeBackdrop(folder + "/Background.png")) {
        std::fprintf(stderr, "make_core_media: cannot write %s/Background.png\n", folder.c_str());
        return 1;
    }
    return 0;
}
