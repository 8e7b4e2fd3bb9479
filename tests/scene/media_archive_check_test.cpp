// The start-up check of media archives on archives built here, each damaged
// in one field the way a bad copy or a cut-off download damages it: what the
// technician is told, and that a whole archive passes.
#include "scene/media_archive_check.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Member {
    std::string name;
    std::string content;
    bool deflated = false;
};

// A zip archive with the offsets of its parts, so a case can spoil one field.
struct Archive {
    std::string bytes;
    std::vector<std::size_t> localHeaders;     // per member
    std::vector<std::size_t> directoryEntries; // per member
    std::size_t end = 0;                       // the end-of-directory record

    void put16(std::size_t at, std::uint32_t value)
    {
        bytes[at] = static_cast<char>(value & 0xff);
        bytes[at + 1] = static_cast<char>((value >> 8) & 0xff);
    }
    void put32(std::size_t at, std::uint32_t value)
    {
        put16(at, value & 0xffff);
        put16(at + 2, value >> 16);
    }
    std::uint32_t get32(std::size_t at) const
    {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
        return value;
    }
    // Fields of a member's directory entry.
    std::size_t method(int member) const { return directoryEntries[static_cast<std::size_t>(member)] + 10; }
    std::size_t crc(int member) const { return directoryEntries[static_cast<std::size_t>(member)] + 16; }
    std::size_t compressedSize(int member) const { return directoryEntries[static_cast<std::size_t>(member)] + 20; }
    std::size_t size(int member) const { return directoryEntries[static_cast<std::size_t>(member)] + 24; }
    std::size_t nameLength(int member) const { return directoryEntries[static_cast<std::size_t>(member)] + 28; }
    std::size_t localOffset(int member) const { return directoryEntries[static_cast<std::size_t>(member)] + 42; }
    // The first byte of a member's data.
    std::size_t data(int member) const
    {
        return localHeaders[static_cast<std::size_t>(member)] + 30 +
               members[static_cast<std::size_t>(member)].name.size();
    }
    std::vector<Member> members;
};

std::string rawDeflate(const std::string& content)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Archive buildArchive(const std::vector<Member>& members)
{
    Archive archive;
    archive.members = members;
    std::vector<std::string> stored;
    for (const Member& m : members) {
        stored.push_back(m.deflated ? rawDeflate(m.content) : m.content);
        archive.localHeaders.push_back(archive.bytes.size());
        archive.bytes += std::string(30, '\0') + m.name + stored.back();
    }
    const std::size_t directory = archive.bytes.size();
    for (const Member& m : members)
        archive.bytes += std::string(46, '\0') + m.name;
    archive.end = archive.bytes.size();
    archive.bytes += std::string(22, '\0');

    std::size_t entry = directory;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const Member& m = members[i];
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(m.content.data()), static_cast<uInt>(m.content.size())));
        const std::uint32_t method = m.deflated ? 8 : 0;
        const std::size_t local = archive.localHeaders[i];
        archive.put32(local, 0x04034b50);
        archive.put16(local + 4, 20);
        archive.put16(local + 8, method);
        archive.put32(local + 14, crc);
        archive.put32(local + 18, static_cast<std::uint32_t>(stored[i].size()));
        archive.put32(local + 22, static_cast<std::uint32_t>(m.content.size()));
        archive.put16(local + 26, static_cast<std::uint32_t>(m.name.size()));

        archive.directoryEntries.push_back(entry);
        archive.put32(entry, 0x02014b50);
        archive.put16(entry + 4, 20);
        archive.put16(entry + 6, 20);
        archive.put16(entry + 10, method);
        archive.put32(entry + 16, crc);
        archive.put32(entry + 20, static_cast<std::uint32_t>(stored[i].size()));
        archive.put32(entry + 24, static_cast<std::uint32_t>(m.content.size()));
        archive.put16(entry + 28, static_cast<std::uint32_t>(m.name.size()));
        archive.put32(entry + 42, static_cast<std::uint32_t>(local));
        entry += 46 + m.name.size();
    }
    archive.put32(archive.end, 0x06054b50);
    archive.put16(archive.end + 8, static_cast<std::uint32_t>(members.size()));
    archive.put16(archive.end + 10, static_cast<std::uint32_t>(members.size()));
    archive.put32(archive.end + 12, static_cast<std::uint32_t>(archive.end - directory));
    archive.put32(archive.end + 16, static_cast<std::uint32_t>(directory));
    return archive;
}

// Text that deflates well but not to nothing, larger than any buffer a
// reader would take it in at once.
std::string mediaText(std::size_t size)
{
    static const char* const words[] = {"vertex ", "bone ", "weight ", "keyframe ", "0.25 ", "-1.5 ", "\n"};
    std::minstd_rand random(27);
    std::string text;
    while (text.size() < size)
        text += words[random() % 7];
    text.resize(size);
    return text;
}

// Two members as the creatures' archives hold them: a stored one and a
// deflated one of several hundred kilobytes.
Archive mediaArchive()
{
    return buildArchive({{"Ground.material", "material Ground { technique { pass { } } }\n", false},
                         {"Ground.mesh", mediaText(600 * 1024), true}});
}

struct Damage {
    const char* what;
    std::function<void(Archive&)> spoil;
    const char* message; // after "is damaged: "; empty: the archive passes
};

TEST(MediaArchiveCheck, NamesWhatIsWrongWithADamagedArchive)
{
    const Damage cases[] = {
        {"whole", [](Archive&) {}, ""},
        {"not a zip archive", [](Archive& a) { a.bytes = "material Ground {}\n"; }, "not a zip archive"},
        {"the end record lost", [](Archive& a) { a.bytes.resize(a.end); }, "not a zip archive"},
        {"directory beyond the end", [](Archive& a) { a.put32(a.end + 16, static_cast<std::uint32_t>(a.bytes.size())); },
         "its directory lies outside the file"},
        {"more entries than the directory holds", [](Archive& a) { a.put16(a.end + 10, 3); },
         "its directory is cut short"},
        {"an entry's name running past the end", [](Archive& a) { a.put16(a.nameLength(1), 0xffff); },
         "its directory is cut short"},
        {"an entry overwritten", [](Archive& a) { a.put32(a.directoryEntries[1], 0); }, "its directory is cut short"},
        {"a member's header overwritten", [](Archive& a) { a.put32(a.localHeaders[1], 0); },
         "member 'Ground.mesh' is missing"},
        {"a member beyond the end", [](Archive& a) { a.put32(a.localOffset(0), static_cast<std::uint32_t>(a.bytes.size())); },
         "member 'Ground.material' is missing"},
        {"a member's data running past the end", [](Archive& a) { a.put32(a.compressedSize(1), 0x7fffffff); },
         "member 'Ground.mesh' is cut short"},
        {"a stored member's two sizes differ", [](Archive& a) { a.put32(a.size(0), a.get32(a.size(0)) + 1); },
         "member 'Ground.material' has two different sizes"},
        {"a deflated member longer than stated", [](Archive& a) { a.put32(a.size(1), a.get32(a.size(1)) - 1); },
         "member 'Ground.mesh' cannot be unpacked"},
        {"a deflated member shorter than stated", [](Archive& a) { a.put32(a.size(1), a.get32(a.size(1)) + 1); },
         "member 'Ground.mesh' cannot be unpacked"},
        {"a stored member's byte changed", [](Archive& a) { a.bytes[a.data(0) + 3] ^= 0x20; },
         "member 'Ground.material' fails its CRC check"},
        {"a deflated member's CRC changed", [](Archive& a) { a.put32(a.crc(1), a.get32(a.crc(1)) ^ 1); },
         "member 'Ground.mesh' fails its CRC check"},
        // A method the engine cannot read either: it names the member itself.
        {"an unknown method", [](Archive& a) { a.put16(a.method(1), 12); }, ""},
    };
    const Archive whole = mediaArchive();
    kwo::test::TempDir folder;
    for (const Damage& c : cases) {
        SCOPED_TRACE(c.what);
        Archive archive = whole;
        c.spoil(archive);
        folder.write("Decor.dat", archive.bytes);
        const std::optional<std::string> damage = kwo::checkMediaArchive(folder.file("Decor.dat"));
        if (*c.message == '\0') {
            EXPECT_FALSE(damage) << *damage;
        } else {
            EXPECT_EQ(damage.value_or("passed"),
                      "Media archive '" + folder.file("Decor.dat") + "' is damaged: " + c.message);
        }
    }
}

TEST(MediaArchiveCheck, LeavesAFileItCannotReadToTheEngine)
{
    // The engine names such a file itself when it fails to open it.
    kwo::test::TempDir folder;
    std::filesystem::create_directory(folder.file("Decor.dat"));
    EXPECT_FALSE(kwo::checkMediaArchive(folder.file("Decor.dat")));
    EXPECT_FALSE(kwo::checkMediaArchive(folder.file("Missing.dat")));
}

} // namespace
