// What a media archive's directory claims of a member's size is checked
// before anything of that size is unpacked or reserved: a flipped bit in a
// size field or a bomb of zeros is reported damaged at once, and a true
// member is unpacked in pieces whatever its size.
#include "scene/media_archive_check.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

namespace kwo::test {
namespace {

void put16(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>(v >> 8 & 0xff);
}
void put32(std::string& out, std::uint32_t v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

std::string deflateRaw(const std::string& data)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// A zip archive of one deflated member whose directory entry states
// `claimedSize` (and the CRC of `data`) whatever `data` really holds.
std::string oneMemberArchive(const std::string& name, const std::string& data, std::uint32_t claimedSize)
{
    const std::string packed = deflateRaw(data);
    const auto crc = static_cast<std::uint32_t>(
        crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    std::string zip;
    put32(zip, 0x04034b50);
    put16(zip, 20), put16(zip, 0), put16(zip, 8), put16(zip, 0), put16(zip, 0);
    put32(zip, crc), put32(zip, static_cast<std::uint32_t>(packed.size())), put32(zip, claimedSize);
    put16(zip, static_cast<std::uint32_t>(name.size())), put16(zip, 0);
    zip += name + packed;
    const std::size_t directory = zip.size();
    put32(zip, 0x02014b50);
    put16(zip, 20), put16(zip, 20), put16(zip, 0), put16(zip, 8), put16(zip, 0), put16(zip, 0);
    put32(zip, crc), put32(zip, static_cast<std::uint32_t>(packed.size())), put32(zip, claimedSize);
    put16(zip, static_cast<std::uint32_t>(name.size())), put16(zip, 0), put16(zip, 0), put16(zip, 0), put16(zip, 0);
    put32(zip, 0), put32(zip, 0);
    zip += name;
    const std::size_t directorySize = zip.size() - directory;
    put32(zip, 0x06054b50);
    put16(zip, 0), put16(zip, 0), put16(zip, 1), put16(zip, 1);
    put32(zip, static_cast<std::uint32_t>(directorySize)), put32(zip, static_cast<std::uint32_t>(directory));
    put16(zip, 0);
    return zip;
}

TEST(ArchiveSizeClaims, ImplausibleClaimsAreDamageFoundBeforeUnpacking)
{
    const std::string texture(100000, 'x');
    const struct {
        const char* what;
        std::uint32_t claimed;
        const char* damage;
    } cases[] = {
        // The bit of 2^31 flipped in the size field: 2 GB would be reserved.
        {"a flipped high bit", 100000u | 0x80000000u,
         "member 'Background.png' claims 2147583648 bytes, more than the 256 MB a media member may hold"},
        {"all bits set", 0xfffffffeu,
         "member 'Background.png' claims 4294967294 bytes, more than the 256 MB a media member may hold"},
        // Within the limit, but no deflate stream of 200-odd bytes unpacks to 100 MB.
        {"more than deflate can unpack", 100u << 20, "more than its "},
        // The true size and one off either way.
        {"the truth", 100000, nullptr},
        {"one byte short", 99999, "member 'Background.png' cannot be unpacked"},
        {"one byte long", 100001, "member 'Background.png' cannot be unpacked"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto damage = findArchiveDamage(oneMemberArchive("Background.png", texture, c.claimed));
        if (!c.damage) {
            EXPECT_FALSE(damage) << *damage;
            continue;
        }
        ASSERT_TRUE(damage);
        EXPECT_NE(damage->find(c.damage), std::string::npos) << *damage;
    }
}

// 16 MB of zeros packs into 16 kB, near deflate's best ratio; unpacked in
// pieces it checks out.
TEST(ArchiveSizeClaims, ALargeTrueMemberChecksOut)
{
    const std::string zeros(16u << 20, '\0');
    const std::string archive = oneMemberArchive("Ground.mesh", zeros, static_cast<std::uint32_t>(zeros.size()));
    EXPECT_LT(archive.size(), 20000u);
    const auto damage = findArchiveDamage(archive);
    EXPECT_FALSE(damage) << *damage;
}

} // namespace
} // namespace kwo::test
