// Writes the demo media archives: one per creature and "Decor.dat".
// Usage: kwo_media_creatures <output folder> <staging folder>

#include "ogre_export.h"

#include <OGRE/OgreDefaultHardwareBufferManager.h>
#include <OGRE/OgreLogManager.h>
#include <OGRE/OgreMaterialManager.h>
#include <OGRE/OgreRoot.h>

#include <filesystem>
#include <iostream>
#include <memory>

namespace {

struct Archive {
    std::string file;
    std::vector<kwo::media::Model (*)()> models;
};

const std::vector<Archive> archives = {
    {"Quillmoth.dat", {kwo::media::makeQuillmoth}},
    {"Brackenjaw.dat", {kwo::media::makeBrackenjaw}},
    {"Sliverfin.dat", {kwo::media::makeSliverfin}},
    {"Mossglider.dat", {kwo::media::makeMossglider}},
    {"Decor.dat", {kwo::media::makeGround}},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " <output folder> <staging folder>\n";
        return 2;
    }
    const std::filesystem::path output = argv[1];
    const std::filesystem::path staging = argv[2];
    try {
        std::filesystem::create_directories(output);
        std::filesystem::create_directories(staging);

        auto logs = std::make_unique<Ogre::LogManager>();
        logs->createLog((staging / "generate.log").string(), true, false, false);
        auto root = std::make_unique<Ogre::Root>("", "", "");
        auto buffers = std::make_unique<Ogre::DefaultHardwareBufferManager>();
        Ogre::MaterialManager::getSingleton().initialise();

        for (const Archive& archive : archives) {
            std::vector<kwo::media::ZipEntry> entries;
            for (auto make : archive.models) {
                const kwo::media::Model model = make();
                auto files = kwo::media::exportModel(model, staging.string());
                entries.insert(entries.end(), files.begin(), files.end());
            }
            kwo::media::writeZip((output / archive.file).string(), entries);
        }
        root.reset();
        buffers.reset();
    } catch (const std::exception& error) {
        std::cerr << "media generation failed: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
