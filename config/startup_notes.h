#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace kwo {

// Warnings met while the start-up reads what the station's technician wrote
// (a boolean written as a string, a key written twice, a file that cannot be
// written). None stops the start-up. Each distinct text goes to `out` at once
// as one line "Warning: <text>", and is kept for the engine log, which only
// starts later in the start-up.
class StartupNotes {
public:
    explicit StartupNotes(std::ostream& out);

    void warn(const std::string& text);

    // Everything said so far, then every later warning, also goes to `log`.
    void alsoTo(std::function<void(const std::string&)> log);

    const std::vector<std::string>& warnings() const { return said; }

private:
    std::ostream* out;
    std::vector<std::string> said;
    std::function<void(const std::string&)> log;
};

} // namespace kwo
