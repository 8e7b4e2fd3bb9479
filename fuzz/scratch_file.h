#pragma once

// A file in a private temporary folder that a fuzz target rewrites for every
// input, because the loaders under test read files by name. The folder goes
// when the target ends; one left by a target that crashed (the fuzzer ends
// those without running exit handlers) goes when the next target starts.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <signal.h>
#include <string>
#include <unistd.h>

namespace kwo::fuzz {

namespace detail {

inline std::string scratchBase()
{
    // In memory where there is such a folder: the loaders flush what they
    // write, which on a disk would slow every input down.
    const char* base = std::getenv("KWO_FUZZ_SCRATCH");
    return base ? base : "/dev/shm";
}

// Removes the folders of targets that are no longer running.
inline void sweepLeftovers(const std::string& base)
{
    DIR* folder = ::opendir(base.c_str());
    if (!folder)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.rfind("kwo-fuzz-", 0) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + 9, nullptr, 10);
        // Only a process that is gone: another user's running target
        // answers EPERM.
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            std::filesystem::remove_all(base + "/" + name, ignored);
        }
    }
    ::closedir(folder);
}

} // namespace detail

inline const std::string& scratchFolder()
{
    static const std::string folder = [] {
        const std::string base = detail::scratchBase();
        detail::sweepLeftovers(base);
        std::string pattern = base + "/kwo-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    static const bool removedAtExit = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(scratchFolder(), ignored);
    }) == 0;
    (void)removedAtExit;
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
