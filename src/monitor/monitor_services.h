#pragma once

#include <functional>

#include "monitor/window_controls.h"
#include "platform/echo_probe.h"
#include "platform/local_clock.h"

namespace quorvel {

// Starts work on a new thread that nobody joins; false when no thread could be created.
using ThreadStarter = std::function<bool(std::function<void()>)>;

[[nodiscard]] bool StartDetachedThread(std::function<void()> work);

// Everything monitoring talks to: the window, the network, the clock and threads.
struct MonitorServices {
    WindowControls& controls;
    EchoService& echo;
    LocalClock& clock;
    ThreadStarter startThread = StartDetachedThread;
};

}  // namespace quorvel
