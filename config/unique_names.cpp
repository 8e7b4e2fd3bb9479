#include "config/unique_names.h"

#include <cstdio>

namespace kwo {

std::string UniqueNameCounter::makeUniqueName(const std::string& prefix)
{
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(uniqueNameCounter));
    ++uniqueNameCounter;
    return prefix + digits;
}

} // namespace kwo
