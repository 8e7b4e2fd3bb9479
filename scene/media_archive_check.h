#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kwo {

// The engine's zip reader hands out a stored member without checking its CRC,
// so a damaged archive shows as a blank backdrop or a misleading animation
// error long after start-up. This check reads every member of a zip archive
// once (stored and deflated ones; other methods are the engine's to refuse)
// and compares size and CRC-32 with the central directory.

// The most a media member may unpack to (a member the engine reads is held
// in memory whole; no texture or mesh of a station comes near it).
constexpr std::uint32_t mediaMemberLimit = 256u << 20;

// What is wrong with the archive bytes, naming the member when one is at
// fault; nothing when every member checks out. Members are unpacked in
// pieces of fixed size; a deflated member that claims more than
// mediaMemberLimit, or more than its compressed bytes can unpack to, is
// damaged without being unpacked. With `members`, the name of every member
// the directory lists before any damage is appended to it.
std::optional<std::string> findArchiveDamage(std::string_view archive, std::vector<std::string>* members = nullptr);

// The same for the archive file at `path`, as the sentence the user sees
// ("Media archive '<path>' is damaged: ..."). A file that cannot be read is
// left to the engine, which names it when it fails to open it.
std::optional<std::string> checkMediaArchive(const std::string& path, std::vector<std::string>* members = nullptr);

} // namespace kwo
