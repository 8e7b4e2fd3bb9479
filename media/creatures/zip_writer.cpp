#include "zip_writer.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace kwo::media {

namespace {

void put16(std::string& out, std::uint32_t value)
{
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>((value >> 8) & 0xff);
}

void put32(std::string& out, std::uint32_t value)
{
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

constexpr std::uint32_t dosTime = 0;                         // 00:00:00
constexpr std::uint32_t dosDate = (0u << 9) | (1u << 5) | 1u;   // 1980-01-01

} // namespace

std::uint32_t crc32(const std::string& bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xffffffffu;
    for (unsigned char byte : bytes) {
        crc = table[(crc ^ byte) & 0xff] ^ (crc >> 8);
    }
    return crc ^ 0xffffffffu;
}

std::string makeZip(const std::vector<ZipEntry>& entries)
{
    std::string out;
    std::string directory;
    for (const auto& entry : entries) {
        if (entry.bytes.size() >= 0xffffffffu || out.size() >= 0xffffffffu) {
            throw std::length_error("zip entry too large: " + entry.name);
        }
        const auto offset = static_cast<std::uint32_t>(out.size());
        const std::uint32_t crc = crc32(entry.bytes);
        const auto size = static_cast<std::uint32_t>(entry.bytes.size());
        const auto nameLength = static_cast<std::uint32_t>(entry.name.size());

        put32(out, 0x04034b50);   // local file header
        put16(out, 20);           // version needed: 2.0
        put16(out, 0);            // flags
        put16(out, 0);            // method: stored
        put16(out, dosTime);
        put16(out, dosDate);
        put32(out, crc);
        put32(out, size);
        put32(out, size);
        put16(out, nameLength);
        put16(out, 0);            // extra field length
        out += entry.name;
        out += entry.bytes;

        put32(directory, 0x02014b50);   // central directory header
        put16(directory, 20);           // made by: 2.0, MS-DOS attributes
        put16(directory, 20);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, dosTime);
        put16(directory, dosDate);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, nameLength);
        put16(directory, 0);   // extra
        put16(directory, 0);   // comment
        put16(directory, 0);   // disk number
        put16(directory, 0);   // internal attributes
        put32(directory, 0);   // external attributes
        put32(directory, offset);
        directory += entry.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out += directory;
    put32(out, 0x06054b50);   // end of central directory
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);   // comment length
    return out;
}

void writeZip(const std::string& path, const std::vector<ZipEntry>& entries)
{
    const std::string bytes = makeZip(entries);
    const std::string partial = path + ".part";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!file) {
            throw std::runtime_error("cannot write " + partial);
        }
    }
    // Renamed into place so an interrupted run never leaves a truncated archive
    // that the build would take as up to date.
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        throw std::runtime_error("cannot rename " + partial + " to " + path);
    }
}

} // namespace kwo::media
