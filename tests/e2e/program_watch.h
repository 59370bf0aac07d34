#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::test {

class X11Display;

// A field of /proc/<pid>/status in kB (VmHWM, VmRSS, ...), or -1 when the process or field is gone.
[[nodiscard]] long StatusKb(pid_t pid, const char* field);

// Poll workers of a running program: its threads that carry the main thread's name, less the main
// thread. Qt, GLib and D-Bus name their threads; std::thread keeps the name of the thread that made it.
// The update check's resolver threads look the same, but they are gone before the window shows; a
// sanitizer's own thread looks the same too, so callers count what is there before Start.
[[nodiscard]] int PollWorkers(pid_t pid);

// The one child of a process (for a program started through strace), or -1.
[[nodiscard]] pid_t OnlyChild(pid_t pid);

// Writes an executable shell script.
void WriteScript(const std::filesystem::path& path, const std::string& body);

// A launcher that starts the program named by $QUORVEL_PROGRAM in a network namespace of its own,
// under the launcher's pid: loopback answers there, and every address in 127.1.0.0/16 is routed to a
// veth link whose far end answers for none of them, so echo requests to those hosts stay unanswered
// until the timeout without anything leaving the namespace. Needs root and iproute2; when the
// namespace cannot be made the launcher exits with 125 before starting the program.
void WriteIsolatingLauncher(const std::filesystem::path& path);

// The viewable top-level window with this title that belongs to the process pid (_NET_WM_PID), or 0.
// Several copies of the program can run side by side and tell their windows apart this way.
[[nodiscard]] std::uint64_t WaitForWindowOfProcess(pid_t pid, const std::string& title,
                                                   std::chrono::milliseconds limit);

// With the keyboard only, so that windows lying on top of each other do not matter: from the focus
// the window starts with (超级列表框1), Tab to 编辑框1, replace its "30" with `interval` (digits and
// '.'), Tab round to 按钮1 and press it with the space bar.
void TypeIntervalAndStart(X11Display& display, std::uint64_t window, const std::string& interval);

// Summary of a set of millisecond figures.
struct Spread {
    double median = 0;
    double p95 = 0;
    double max = 0;
};
[[nodiscard]] Spread SpreadOf(std::vector<double> values);

[[nodiscard]] inline double MillisecondsBetween(std::chrono::steady_clock::time_point from,
                                                std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Number from the environment, or the fallback when unset or not a positive number.
[[nodiscard]] long EnvironmentCount(const char* name, long fallback);

}  // namespace quorvel::test
