#pragma once

#include <cstdint>
#include <functional>

namespace quorvel {

using ExitRoutine = void (*)();

// Records the calling thread as the GUI thread and how to hand work to it. Called once at start-up.
void RecordGuiThread(std::function<void(std::function<void()>)> postToGuiThread);
[[nodiscard]] bool OnGuiThread();

// Adding a routine that is already listed changes nothing.
void AddExitRoutine(ExitRoutine routine);
// Calls each listed routine once, in the order added; later calls do nothing.
void RunExitRoutines();

void SetStartupComplete();
[[nodiscard]] bool StartupComplete();

// Set once EndProgram begins: from then on no window event reaches a handler.
[[nodiscard]] bool Ending();

// Runs the exit routines and ends the process with exitCode, without running global destructors:
// poll workers are never joined and may still be probing. From another thread the work is handed
// to the GUI thread and the caller waits for the process to end.
[[noreturn]] void EndProgram(std::int32_t exitCode);

}  // namespace quorvel
