#pragma once

#include <ostream>
#include <set>
#include <string>

namespace kwo {

// The answer of a station check, one line per check as it is made:
// "ok: <subject>: <text>", "warning: ..." or "error: ...", where the subject
// names the file (and the key, in brackets) the check concerns. A line said
// once is not said again (two checks that meet the same fault name it once).
class CheckReport {
public:
    explicit CheckReport(std::ostream& out) : out(&out) {}

    void ok(const std::string& subject, const std::string& text) { say("ok", subject, text); }
    // The station would start, but not as it should (a creature off its
    // marker, a log not kept).
    void warning(const std::string& subject, const std::string& text) { say("warning", subject, text); }
    // The station would not start.
    void error(const std::string& subject, const std::string& text)
    {
        if (say("error", subject, text))
            ++errorCount;
    }

    int errors() const { return errorCount; }

    // The closing line, and the exit status: 0 when the station would start
    // (warnings allowed), 1 when it would not.
    int finish();

private:
    bool say(const char* verdict, const std::string& subject, const std::string& text);

    std::ostream* out;
    std::set<std::string> said;
    int errorCount = 0;
    int warningCount = 0;
};

} // namespace kwo
