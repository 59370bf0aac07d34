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

    LastRow = controls.AddServerRow({name, offline ? Texts().offline : Texts().online, resultText + " ms"});
    if (offline) {
        controls.AppendLog(OfflineLogLine(services.clock.Now(), name));
    }
}

}  // namespace quorvel
