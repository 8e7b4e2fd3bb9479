#pragma once

// A minimal zip writer: stored (uncompressed) entries, fixed time stamps so
// the same content always gives the same archive bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace kwo::media {

struct ZipEntry {
    std::string name;
    std::string bytes;
};

std::string makeZip(const std::vector<ZipEntry>& entries);
void writeZip(const std::string& path, const std::vector<ZipEntry>& entries);   // throws on I/O errors

std::uint32_t crc32(const std::string& bytes);

} // namespace kwo::media
