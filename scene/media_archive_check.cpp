#include "scene/media_archive_check.h"

#include "files/read_file.h"

#include <zlib.h>

#include <cstdint>
#include <algorithm>
#include <limits>
#include <vector>

namespace kwo {
namespace {

constexpr std::uint32_t endOfDirectorySignature = 0x06054b50;
constexpr std::uint32_t directoryEntrySignature = 0x02014b50;
constexpr std::uint32_t localHeaderSignature = 0x04034b50;
constexpr std::size_t endOfDirectorySize = 22;
constexpr std::size_t directoryEntrySize = 46;
constexpr std::size_t localHeaderSize = 30;
constexpr std::uint32_t zip64Marker = 0xffffffff;

// Little-endian fields at an offset the caller has checked to be in range.
std::uint32_t read16(std::string_view bytes, std::size_t at)
{
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}
std::uint32_t read32(std::string_view bytes, std::size_t at)
{
    return read16(bytes, at) | read16(bytes, at + 2) << 16;
}

bool fits(std::string_view bytes, std::size_t at, std::size_t size)
{
    return at <= bytes.size() && size <= bytes.size() - at;
}

std::uint32_t crcOf(const unsigned char* data, std::size_t size)
{
    uLong crc = crc32(0, Z_NULL, 0);
    while (size > 0) {
        const uInt chunk = static_cast<uInt>(std::min<std::size_t>(size, std::numeric_limits<uInt>::max()));
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<std::uint32_t>(crc);
}

// The CRC-32 of a raw deflate stream that must unpack to exactly
// `expectedSize` bytes, or nothing when it does not. It is unpacked in
// pieces of fixed size, so a damaged or hostile size costs no memory.
std::optional<std::uint32_t> inflatedCrc(std::string_view compressed, std::size_t expectedSize)
{
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return std::nullopt;
    // Compressed sizes come from 32-bit fields, so they fit zlib's counts.
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::vector<unsigned char> piece(1 << 16);
    uLong crc = crc32(0, Z_NULL, 0);
    std::size_t total = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = piece.data();
        stream.avail_out = static_cast<uInt>(piece.size());
        result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = piece.size() - stream.avail_out;
        total += produced;
        if (total > expectedSize)
            break; // longer than stated
        crc = crc32(crc, piece.data(), static_cast<uInt>(produced));
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END || total != expectedSize)
        return std::nullopt;
    return static_cast<std::uint32_t>(crc);
}

// What a member's directory entry claims that no intact media archive holds:
// more than a member may hold, or more than its compressed bytes can unpack
// to (deflate reaches at most 1032 to 1). Judged before a byte is unpacked,
// since the engine takes the claimed size as the memory to reserve.
std::optional<std::string> implausibleSize(std::uint32_t size, std::uint32_t compressedSize)
{
    if (size > mediaMemberLimit)
        return "claims " + std::to_string(size) + " bytes, more than the " + std::to_string(mediaMemberLimit >> 20) +
               " MB a media member may hold";
    if (static_cast<std::uint64_t>(size) > static_cast<std::uint64_t>(compressedSize) * 1032 + 1024)
        return "claims " + std::to_string(size) + " bytes, more than its " + std::to_string(compressedSize) +
               " compressed bytes can hold";
    return std::nullopt;
}

std::string quoted(const std::string& name) { return "'" + name + "'"; }

} // namespace

std::optional<std::string> findArchiveDamage(std::string_view bytes, std::vector<std::string>* members)
{
    // The end-of-directory record: the last one, behind at most 64 kB of comment.
    if (bytes.size() < endOfDirectorySize)
        return "not a zip archive";
    std::size_t end = bytes.size() - endOfDirectorySize;
    const std::size_t lowest = end > 0xffff ? end - 0xffff : 0;
    while (read32(bytes, end) != endOfDirectorySignature) {
        if (end == lowest)
            return "not a zip archive";
        --end;
    }
    const std::uint32_t entries = read16(bytes, end + 10);
    const std::uint32_t directorySize = read32(bytes, end + 12);
    const std::uint32_t directoryOffset = read32(bytes, end + 16);
    if (directoryOffset == zip64Marker || directorySize == zip64Marker)
        return std::nullopt; // 64-bit archives are the engine's to refuse
    if (!fits(bytes, directoryOffset, directorySize))
        return "its directory lies outside the file";

    std::size_t at = directoryOffset;
    for (std::uint32_t i = 0; i < entries; ++i) {
        if (!fits(bytes, at, directoryEntrySize) || read32(bytes, at) != directoryEntrySignature)
            return "its directory is cut short";
        const std::uint32_t method = read16(bytes, at + 10);
        const std::uint32_t crc = read32(bytes, at + 16);
        const std::uint32_t compressedSize = read32(bytes, at + 20);
        const std::uint32_t size = read32(bytes, at + 24);
        const std::size_t nameLength = read16(bytes, at + 28);
        const std::size_t extraLength = read16(bytes, at + 30);
        const std::size_t commentLength = read16(bytes, at + 32);
        const std::uint32_t localOffset = read32(bytes, at + 42);
        if (!fits(bytes, at + directoryEntrySize, nameLength))
            return "its directory is cut short";
        const std::string name(bytes.substr(at + directoryEntrySize, nameLength));
        at += directoryEntrySize + nameLength + extraLength + commentLength;
        if (members)
            members->push_back(name);

        if (compressedSize == zip64Marker || size == zip64Marker || localOffset == zip64Marker)
            continue;
        if (method != 0 && method != 8)
            continue; // a method the engine cannot read either; it says so itself
        if (!fits(bytes, localOffset, localHeaderSize) || read32(bytes, localOffset) != localHeaderSignature)
            return "member " + quoted(name) + " is missing";
        const std::size_t dataOffset =
            localOffset + localHeaderSize + read16(bytes, localOffset + 26) + read16(bytes, localOffset + 28);
        if (!fits(bytes, dataOffset, compressedSize))
            return "member " + quoted(name) + " is cut short";
        const std::string_view data = bytes.substr(dataOffset, compressedSize);
        std::uint32_t actual = 0;
        if (method == 0) {
            if (compressedSize != size)
                return "member " + quoted(name) + " has two different sizes";
            actual = crcOf(reinterpret_cast<const unsigned char*>(data.data()), data.size());
        } else {
            if (const auto implausible = implausibleSize(size, compressedSize))
                return "member " + quoted(name) + " " + *implausible;
            const auto crc = inflatedCrc(data, size);
            if (!crc)
                return "member " + quoted(name) + " cannot be unpacked";
            actual = *crc;
        }
        if (actual != crc)
            return "member " + quoted(name) + " fails its CRC check";
    }
    return std::nullopt;
}

std::optional<std::string> checkMediaArchive(const std::string& path, std::vector<std::string>* members)
{
    const FileBytes file = readFileBytes(path, std::numeric_limits<std::size_t>::max());
    if (!file.read())
        return std::nullopt;
    if (const auto damage = findArchiveDamage(file.bytes, members))
        return "Media archive '" + path + "' is damaged: " + *damage;
    return std::nullopt;
}

} // namespace kwo
