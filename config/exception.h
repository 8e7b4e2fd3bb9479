#pragma once

#include <exception>
#include <string>

namespace kwo {

// The viewer's own error: one fixed message, shown to the user as it stands.
class Exception : public std::exception {
public:
    explicit Exception(const std::string& message) : message(message) {}
    const char* what() const noexcept override { return message.c_str(); }

private:
    std::string message;
};

// Thrown by a start-up stage that ends the process on the user's request
// (a declined configuration error, a cancelled camera dialog). The entry point
// returns `code` without reporting anything; unwinding closes what was opened.
struct ProcessExit {
    int code;
};

} // namespace kwo
