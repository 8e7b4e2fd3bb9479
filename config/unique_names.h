#pragma once

#include <cstdint>
#include <string>

namespace kwo {

// Names engine objects made per configured item: the prefix and eight
// lower-case hexadecimal digits of one counter shared by every caller, so
// lights, the camera and entities are numbered in creation order. The viewer
// keeps exactly one counter for the whole run.
class UniqueNameCounter {
public:
    explicit UniqueNameCounter(std::uint32_t start = 0) : uniqueNameCounter(start) {}
    std::string makeUniqueName(const std::string& prefix);
    std::uint32_t value() const { return uniqueNameCounter; }

private:
    std::uint32_t uniqueNameCounter;
};

} // namespace kwo
