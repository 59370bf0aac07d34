#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "monitor/monitor_services.h"

namespace quorvel {

// Interval text (seconds) to the timer period in ms: truncated toward zero; beyond the 32-bit range
// it is the largest period, since taking the low 32 bits could turn a huge interval into rapid polls.
[[nodiscard]] std::int32_t IntervalPeriodMs(std::string_view intervalText);

// Start/Stop and the timer-paced polls. One object for the program's life; workers keep a reference
// to it, so it must outlive them (the program never destroys its one).
class PollCycle {
public:
    static constexpr std::int32_t kFirstTickDelayMs = 3000;

    explicit PollCycle(MonitorServices services) : services_(services) {}

    void ToggleMonitoring();  // click of 按钮1, GUI thread
    void TimerTick();         // tick of 时钟1, GUI thread
    void PollServers();       // body of each poll worker

private:
    void ProbeAll(std::string_view serverList);
    void ReportMissingPingPermissionOnce();
    void RearmUnlessStopped();

    MonitorServices services_;
    // Set by the tick that starts a poll, cleared by the poll's last step; both on the GUI thread.
    std::atomic<bool> polling_{false};
    std::atomic<bool> permissionReported_{false};
};

}  // namespace quorvel
