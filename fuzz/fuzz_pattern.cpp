// Pattern files: any text. A pattern that loads must match itself perfectly.
#include "tracking/ar/patterns.h"

#include "fuzz/scratch_file.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const kwo::fuzz::ScratchFile file("marker.pattern");
    file.write(data, size);
    kwo::ar::PatternFile pattern;
    std::string error;
    if (!kwo::ar::readPatternFile(file.path(), pattern, &error)) {
        if (error.find(file.path()) == std::string::npos)
            std::abort();
        return 0;
    }
    if (size > kwo::ar::patternFileLimit)
        std::abort();
    const kwo::ar::PatternTemplate templates = kwo::ar::makeTemplate(pattern);
    double sample[kwo::ar::patternValues];
    const unsigned char* raw = &pattern.blocks[0][0][0][0];
    for (int i = 0; i < kwo::ar::patternValues; ++i)
        sample[i] = raw[i];
    const kwo::ar::Match match = kwo::ar::matchSample(sample, &templates, 1);
    if (match.slot == 0 && match.cf < 0.999)
        std::abort();
    return 0;
}
