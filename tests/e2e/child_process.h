#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::test {

// A program started for a test; killed on destruction if it is still running.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::string& workingDirectory,
                 const std::vector<std::string>& extraEnvironment = {});
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    [[nodiscard]] pid_t Pid() const { return pid_; }
    // The exit code once the process has ended normally within the limit; nullopt otherwise
    // (still running, or killed by a signal: then Signal() tells which).
    [[nodiscard]] std::optional<int> WaitForExit(std::chrono::milliseconds limit);
    [[nodiscard]] bool Running();
    [[nodiscard]] int Signal() const { return signal_; }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitCode_ = -1;
    int signal_ = 0;
};

}  // namespace quorvel::test
