#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kwo::test {

struct ProcessResult {
    int exitCode = -1;   // 0..255, or 128 + signal when killed
    std::string out;     // standard output
    std::string err;     // standard error
};

// A child process started at construction, with its standard output and error
// captured. `environment` entries ("NAME=value") are added to this process's
// own environment.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::string& workingDirectory = "",
            const std::vector<std::string>& environment = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits for the end (killing the child after `timeout`) and returns what it gave.
    ProcessResult wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
    bool running();
    pid_t pid() const { return child; }
    // What the child has written to standard error and output so far, while it runs.
    const std::string& errorSoFar();
    const std::string& outputSoFar();

private:
    pid_t child = -1;
    int outPipe = -1;
    int errPipe = -1;
    std::string out, err;
    bool finished = false;
    int status = 0;
    // Reads what the pipes hold, waiting up to 50 ms for more when `block`;
    // never longer than a moment, however fast the child writes.
    void drain(bool block);
};

ProcessResult run(const std::vector<std::string>& argv, const std::string& workingDirectory = "",
                  const std::vector<std::string>& environment = {},
                  std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Runs a shell command and returns its standard output (for xdotool, xwd...).
// A command still running after `timeout` is ended with everything it started,
// so a tool that waits for a window that never comes cannot hold a test up.
std::string shell(const std::string& command, std::chrono::seconds timeout = std::chrono::seconds(60));

// A program's output (or any text) split into its lines, without their ends.
std::vector<std::string> linesOf(const std::string& text);

} // namespace kwo::test
