#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kwo {

// A member written twice in one object. The JSON reader keeps the last and
// drops the first without a word, so a second "window" section silently
// undoes the first.
struct DuplicateKey {
    std::string key; // its path ("window", "rendering/shadow", "graphics/lights[1]/type")
    int line = 0;      // 1-based line of the second (kept) occurrence
    int firstLine = 0; // line of the one that is dropped
};

// Every duplicate member of a document that the reader took as valid JSON
// (comments allowed), in the order of the text. Text after the root value is
// not looked at, as the reader ignores it.
std::vector<DuplicateKey> findDuplicateKeys(std::string_view text);

} // namespace kwo
