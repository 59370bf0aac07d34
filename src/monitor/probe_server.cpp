#include "monitor/probe_server.h"

#include "common/program_texts.h"
#include "monitor/number_text.h"

namespace quorvel {

std::atomic<std::int32_t> LastRow{0};

std::string OfflineLogLine(const LocalDateTime& when, const std::string& name) {
    return DateTimeText(when) + " " + name + Texts().offlineLogTail;
}

void ProbeServer(MonitorServices& services, const std::string& host, const std::string& name) {
    WindowControls& controls = services.controls;
    const std::int32_t timeoutMs = TextToInt(controls.TimeoutText());
    const std::string resultText = std::to_string(services.echo.EchoProbe(host, timeoutMs));
    const bool offline = resultText == "-1";

    // The index is kept for this probe's own cells; LastRow only records it.
    const int row = controls.AddRow();
    LastRow = row;
    if (row >= 0) {
        controls.SetCell(row, 0, name);
        controls.SetCell(row, 1, offline ? Texts().offline : Texts().online);
        controls.SetCell(row, 2, resultText + " ms");
    }
    if (offline) {
        controls.AppendLog(OfflineLogLine(services.clock.Now(), name));
    }
}

}  // namespace quorvel
