#include "app/check_report.h"

#include <cstring>

namespace kwo {

bool CheckReport::say(const char* verdict, const std::string& subject, const std::string& text)
{
    std::string line = std::string(verdict) + ": " + (subject.empty() ? "" : subject + ": ") + text;
    // One line per check: a reader's message of several lines is joined.
    for (std::size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at))
        line.replace(at, 1, "; ");
    if (!said.insert(line).second)
        return false;
    if (std::strcmp(verdict, "warning") == 0)
        ++warningCount;
    *out << line << std::endl;
    return true;
}

int CheckReport::finish()
{
    const auto count = [](int n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    if (errorCount > 0)
        *out << "The station would not start: " << count(errorCount, "error") << ", " << count(warningCount, "warning")
             << "." << std::endl;
    else
        *out << "The station would start: " << count(warningCount, "warning") << "." << std::endl;
    return errorCount > 0 ? 1 : 0;
}

} // namespace kwo
