#pragma once

namespace quorvel {

// The whole life of the process: prepares the platform, opens the window, runs the event loop and
// ends the process with exit code 0. Never returns.
[[noreturn]] void RunProgram(const char* programPath);

}  // namespace quorvel
