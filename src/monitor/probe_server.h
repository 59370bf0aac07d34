#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "monitor/date_time_text.h"
#include "monitor/monitor_services.h"

namespace quorvel {

// Index of the row the latest probe added. Polls never overlap, so one probe at a time writes it.
extern std::atomic<std::int32_t> LastRow;

// "<time stamp> <name>  离线\r\n", GBK.
[[nodiscard]] std::string OfflineLogLine(const LocalDateTime& when, const std::string& name);

// Pings host with the timeout typed into 编辑框3, adds the server's row and, when no reply came,
// appends a line to the offline log. Runs on a poll worker.
void ProbeServer(MonitorServices& services, const std::string& host, const std::string& name);

}  // namespace quorvel
