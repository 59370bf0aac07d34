#include "app/core/lifetime.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel {
namespace {

struct LifetimeState {
    std::mutex mutex;
    std::vector<ExitRoutine> exitRoutines;
    bool exitRoutinesRan = false;
    std::thread::id guiThread;
    std::function<void(std::function<void()>)> postToGuiThread;
    std::atomic<bool> startupComplete{false};
    std::atomic<bool> ending{false};
};

// Never destroyed: the process ends without running global destructors while workers may still
// reach this state.
LifetimeState& State() {
    static auto* state = new LifetimeState;
    return *state;
}

[[noreturn]] void WaitForProcessEnd() {
    for (;;) {
        pause();
    }
}

}  // namespace

void RecordGuiThread(std::function<void(std::function<void()>)> postToGuiThread) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.guiThread = std::this_thread::get_id();
    state.postToGuiThread = std::move(postToGuiThread);
}

bool OnGuiThread() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.guiThread == std::this_thread::get_id();
}

void AddExitRoutine(ExitRoutine routine) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (std::find(state.exitRoutines.begin(), state.exitRoutines.end(), routine) == state.exitRoutines.end()) {
        state.exitRoutines.push_back(routine);
    }
}

void RunExitRoutines() {
    auto& state = State();
    std::vector<ExitRoutine> routines;
    {
        std::lock_guard lock(state.mutex);
        if (state.exitRoutinesRan) {
            return;
        }
        state.exitRoutinesRan = true;
        routines = state.exitRoutines;
    }
    for (ExitRoutine routine : routines) {
        routine();
    }
}

void SetStartupComplete() {
    State().startupComplete = true;
}
bool StartupComplete() {
    return State().startupComplete;
}
bool Ending() {
    return State().ending;
}

void EndProgram(std::int32_t exitCode) {
    auto& state = State();
    if (!OnGuiThread()) {
        std::function<void(std::function<void()>)> post;
        {
            std::lock_guard lock(state.mutex);
            post = state.postToGuiThread;
        }
        if (post) {
            post([exitCode] { EndProgram(exitCode); });
            WaitForProcessEnd();
        }
        // No GUI thread was ever recorded: nobody else can end the process, so end it here.
    }
    state.ending = true;
    RunExitRoutines();
    std::fflush(nullptr);
    // _Exit, not exit: workers that were never joined may still run, and global destructors would
    // pull their state away.
    std::_Exit(exitCode);
}

}  // namespace quorvel
