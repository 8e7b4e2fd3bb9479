// The media archive check: any bytes as an archive. Invariants: it ends, and
// says what is wrong in a sentence, or nothing; it gives the same answer
// twice; and it never reserves what a directory entry merely claims (the
// command runs it with a small allocation limit, so an allocation the size of
// a claimed member fails the run).
#include "scene/media_archive_check.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view archive(reinterpret_cast<const char*>(data), size);
    const auto damage = kwo::findArchiveDamage(archive);
    if (damage && damage->empty())
        std::abort();
    if (kwo::findArchiveDamage(archive) != damage)
        std::abort();
    return 0;
}
