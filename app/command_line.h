#pragma once

#include <string>
#include <vector>

namespace kwo {

// What the viewer was asked to do on its command line.
struct CommandLine {
    // The main document; empty for the program folder's "kwo.config".
    std::string documentPath;
    // --tune: F2 and +/- answer. Off by default, so a visitor at a station
    // with a keyboard cannot switch the show away or walk the threshold.
    bool tuningKeys = false;
    // --print-config: print the merged configuration and end, no window.
    bool printConfig = false;
    // --check: every start-up check, one line each, and end; no window, no
    // dialog, no file written.
    bool check = false;
};

// Options may stand before or after the document path; the first other
// argument is the document, any further ones are ignored as before.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

} // namespace kwo
