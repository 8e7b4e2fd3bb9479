#pragma once

// A file in a private temporary folder that a fuzz target rewrites for every
// input, because the loaders under test read files by name.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kwo::fuzz {

inline const std::string& scratchFolder()
{
    static const std::string folder = [] {
        // In memory where there is such a folder: the loaders flush what they
        // write, which on a disk would slow every input down.
        std::string pattern = std::getenv("KWO_FUZZ_SCRATCH") ? std::getenv("KWO_FUZZ_SCRATCH") : "/dev/shm";
        pattern += "/kwo-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return folder;
}

class ScratchFile {
public:
    explicit ScratchFile(const std::string& name) : fullPath(scratchFolder() + "/" + name) {}
    const std::string& path() const { return fullPath; }
    void write(const std::uint8_t* data, std::size_t size) const
    {
        std::FILE* out = std::fopen(fullPath.c_str(), "wb");
        if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0)
            std::abort();
    }

private:
    std::string fullPath;
};

} // namespace kwo::fuzz
