#include "child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <thread>

extern char** environ;

namespace quorvel::test {

ChildProcess::ChildProcess(const std::string& program, const std::string& workingDirectory,
                           const std::vector<std::string>& extraEnvironment) {
    // The extra entries replace inherited ones of the same name.
    std::vector<std::string> environment = extraEnvironment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view inherited(*entry);
        const auto name = inherited.substr(0, inherited.find('=') + 1);
        const bool replaced = std::any_of(extraEnvironment.begin(), extraEnvironment.end(),
                                          [&](const std::string& extra) { return extra.starts_with(name); });
        if (!replaced) {
            environment.emplace_back(inherited);
        }
    }
    std::vector<char*> envp;
    for (auto& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string programCopy = program;
    char* argv[] = {programCopy.data(), nullptr};

    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(workingDirectory.c_str()) != 0) {
            _exit(126);
        }
        execve(program.c_str(), argv, envp.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::Running() {
    if (reaped_ || pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) {
        return true;
    }
    reaped_ = true;
    if (WIFEXITED(status)) {
        exitCode_ = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        signal_ = WTERMSIG(status);
    }
    return false;
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (signal_ != 0 || pid_ <= 0) {
        return std::nullopt;
    }
    return exitCode_;
}

}  // namespace quorvel::test
