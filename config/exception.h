#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace kwo {

// The viewer's own error: one fixed message, shown to the user as it stands.
// Where that message names nothing (such as "Camera load error" or a value
// conversion's "Type is not convertible to uint"), `detail` holds the key,
// the file and the reason for whoever looks after the station: it goes to
// standard error and the engine log, never into the box. A runtime error, as
// the conversions of configuration values have always been.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message, std::string detail = {})
        : std::runtime_error(message), details(std::move(detail))
    {
    }
    const std::string& detail() const noexcept { return details; }

private:
    std::string details;
};

// Thrown by a start-up stage that ends the process on the user's request
// (a declined configuration error, a cancelled camera dialog). The entry point
// returns `code` without reporting anything; unwinding closes what was opened.
struct ProcessExit {
    int code;
};

} // namespace kwo
