#pragma once

// Turns a Model into the files OGRE loads: "<name>.mesh", "<name>.skeleton"
// (when it has bones), "<name>.material" and its textures. Needs an Ogre::Root with a
// hardware buffer manager (DefaultHardwareBufferManager without a render
// system) and an initialised MaterialManager.

#include "model.h"
#include "zip_writer.h"

#include <vector>

namespace kwo::media {

// Writes the model's files into `stagingFolder` and returns them as archive entries.
std::vector<ZipEntry> exportModel(const Model& model, const std::string& stagingFolder);

std::string materialScript(const Model& model);
std::string ddsFile(const Texture& texture);

} // namespace kwo::media
