#include "tests/support/process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kwo::test {

Process::Process(const std::vector<std::string>& argv, const std::string& workingDirectory,
                 const std::vector<std::string>& environment)
{
    int outFds[2], errFds[2];
    if (pipe(outFds) != 0 || pipe(errFds) != 0)
        throw std::runtime_error("pipe failed");
    child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        dup2(outFds[1], 1);
        dup2(errFds[1], 2);
        close(outFds[0]);
        close(errFds[0]);
        close(outFds[1]);
        close(errFds[1]);
        if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0)
            _exit(126);
        for (const std::string& entry : environment)
            putenv(strdup(entry.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(outFds[1]);
    close(errFds[1]);
    outPipe = outFds[0];
    errPipe = errFds[0];
}

Process::~Process()
{
    if (!finished && child > 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    if (outPipe >= 0)
        close(outPipe);
    if (errPipe >= 0)
        close(errPipe);
}

void Process::drain(bool block)
{
    pollfd fds[2] = {{outPipe, POLLIN, 0}, {errPipe, POLLIN, 0}};
    // A child that writes without pause would otherwise keep this loop, and
    // every deadline of the caller, from ever ending.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < until && poll(fds, 2, block ? 50 : 0) > 0) {
        bool any = false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
                any = true;
            } else {
                fds[i].fd = -1;
            }
        }
        if (!any)
            break;
    }
}

bool Process::running()
{
    if (finished)
        return false;
    drain(false);
    if (waitpid(child, &status, WNOHANG) == child)
        finished = true;
    return !finished;
}

const std::string& Process::errorSoFar()
{
    if (!finished)
        drain(false);
    return err;
}

const std::string& Process::outputSoFar()
{
    if (!finished)
        drain(false);
    return out;
}

ProcessResult Process::wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            finished = true;
            break;
        }
        drain(true);
    }
    drain(false);
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = out;
    result.err = err;
    return result;
}

ProcessResult run(const std::vector<std::string>& argv, const std::string& workingDirectory,
                  const std::vector<std::string>& environment, std::chrono::milliseconds timeout)
{
    Process process(argv, workingDirectory, environment);
    return process.wait(timeout);
}

std::string shell(const std::string& command, std::chrono::seconds timeout)
{
    // timeout(1) runs the command in a process group of its own and signals
    // the whole group, pipelines included.
    std::string quoted = "'";
    for (const char c : command)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    const std::string bounded = "timeout -k 5 " + std::to_string(timeout.count()) + " sh -c " + quoted;
    std::string output;
    FILE* pipe = popen(bounded.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace kwo::test
