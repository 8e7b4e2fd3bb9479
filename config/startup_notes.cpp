#include "config/startup_notes.h"

#include <algorithm>

namespace kwo {

StartupNotes::StartupNotes(std::ostream& out) : out(&out) {}

void StartupNotes::warn(const std::string& text)
{
    // Stages that read a key twice must not say the same thing twice.
    if (std::find(said.begin(), said.end(), text) != said.end())
        return;
    said.push_back(text);
    *out << "Warning: " << text << std::endl;
    if (log)
        log("Warning: " + text);
}

void StartupNotes::alsoTo(std::function<void(const std::string&)> sink)
{
    log = std::move(sink);
    if (log)
        for (const std::string& text : said)
            log("Warning: " + text);
}

} // namespace kwo
