#include "monitor/poll_cycle.h"

#include <cmath>
#include <limits>
#include <thread>

#include "app/core/server_list_text.h"
#include "common/program_texts.h"
#include "monitor/number_text.h"
#include "monitor/probe_server.h"
#include "monitor/server_list.h"
#include "monitor/split_text.h"

namespace quorvel {

bool StartDetachedThread(std::function<void()> work) {
    try {
        std::thread(std::move(work)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

std::int32_t IntervalPeriodMs(std::string_view intervalText) {
    const double product = std::trunc(TextToNumber(intervalText) * 1000.0);
    if (!(product > 0)) {
        return 0;
    }
    if (product >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(product);
}

void PollCycle::ToggleMonitoring() {
    LoadServerList();
    WindowControls& controls = services_.controls;
    if (controls.ButtonCaption() == Texts().start) {
        controls.SetButtonCaption(Texts().stop);
        controls.SetTimerPeriod(kFirstTickDelayMs);
    } else {
        controls.SetButtonCaption(Texts().start);
        controls.SetTimerPeriod(0);
    }
}

void PollCycle::TimerTick() {
    // Polls never overlap: a tick that finds one running starts none.
    if (polling_.exchange(true)) {
        return;
    }
    if (!services_.startThread([this] { PollServers(); })) {
        polling_ = false;  // the timer is still armed; the next tick tries again
    }
}

void PollCycle::PollServers() {
    WindowControls& controls = services_.controls;
    controls.SetTimerPeriod(0);
    controls.RemoveAllRows();
    ReportMissingPingPermissionOnce();
    const std::shared_ptr<const std::string> serverList = ServerListText().Snapshot();
    if (serverList) {
        ProbeAll(*serverList);
    }
    RearmUnlessStopped();
}

void PollCycle::ProbeAll(std::string_view serverList) {
    for (std::string_view line : SplitText(serverList, "\r\n")) {
        const auto fields = SplitText(line, "=");
        if (fields.empty()) {
            continue;  // an empty line names no server
        }
        // A name without a host is still probed (and fails), so the user sees the faulty line.
        const std::string name(fields[0]);
        const std::string host = fields.size() > 1 ? std::string(fields[1]) : std::string();
        ProbeServer(services_, host, name);
    }
}

void PollCycle::ReportMissingPingPermissionOnce() {
    if (!services_.echo.EchoPermitted() && !permissionReported_.exchange(true)) {
        services_.controls.AppendLog(Texts().noPingPermission);
    }
}

void PollCycle::RearmUnlessStopped() {
    WindowControls& controls = services_.controls;
    // Reading the caption and writing the period form one step, so a Stop click cannot slip between
    // them: a poll that ends after Stop leaves the timer stopped.
    controls.Atomically([&] {
        const std::int32_t periodMs = IntervalPeriodMs(controls.IntervalText());
        if (controls.ButtonCaption() != Texts().start) {
            controls.SetTimerPeriod(periodMs);
        }
        polling_ = false;
    });
}

}  // namespace quorvel
