#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "common/gbk.h"
#include "monitor/window_controls.h"
#include "platform/echo_probe.h"
#include "platform/local_clock.h"

namespace quorvel::test {

// The window as plain data. Every call is recorded in order, so tests can check the sequence of
// steps a poll takes; a recursive lock stands in for the GUI thread's one-step-at-a-time.
class FakeControls final : public WindowControls {
public:
    struct Row {
        std::string cells[3];
    };

    std::string caption = Utf8ToGbk("开始");
    std::int32_t period = 0;
    std::string interval = "30";
    std::string timeout = "300";
    std::vector<Row> rows;
    std::string log;
    std::vector<std::string> calls;
    bool rowsFail = false;

    std::string ButtonCaption() override {
        return Locked("caption?", [&] { return caption; });
    }
    void SetButtonCaption(const std::string& text) override {
        Locked("caption=" + GbkToUtf8(text), [&] { caption = text; });
    }
    std::int32_t TimerPeriod() override {
        return Locked("period?", [&] { return period; });
    }
    void SetTimerPeriod(std::int32_t ms) override {
        Locked("period=" + std::to_string(ms), [&] { period = ms < 0 ? 0 : ms; });
    }
    std::string IntervalText() override {
        return Locked("interval?", [&] { return interval; });
    }
    std::string TimeoutText() override {
        return Locked("timeout?", [&] { return timeout; });
    }
    void RemoveAllRows() override {
        Locked("clear", [&] { rows.clear(); });
    }
    int AddServerRow(const std::array<std::string, 3>& cells) override {
        return Locked("row", [&] {
            if (rowsFail) {
                return -1;
            }
            rows.push_back({cells[0], cells[1], cells[2]});
            return static_cast<int>(rows.size()) - 1;
        });
    }
    void AppendLog(const std::string& text) override {
        Locked("log", [&] { log += text; });
    }
    void Atomically(const std::function<void()>& step) override {
        std::lock_guard lock(mutex_);
        calls.emplace_back("begin");
        step();
        calls.emplace_back("end");
    }

    bool LastCallIs(const std::string& call) {
        std::lock_guard lock(mutex_);
        return !calls.empty() && calls.back() == call;
    }

    // Row texts as UTF-8, for readable expectations.
    std::vector<std::vector<std::string>> RowsUtf8() {
        std::lock_guard lock(mutex_);
        std::vector<std::vector<std::string>> result;
        for (const Row& row : rows) {
            result.push_back({GbkToUtf8(row.cells[0]), GbkToUtf8(row.cells[1]), GbkToUtf8(row.cells[2])});
        }
        return result;
    }

private:
    template <class Function>
    std::invoke_result_t<Function&> Locked(const std::string& call, Function function) {
        std::lock_guard lock(mutex_);
        calls.push_back(call);
        return function();
    }

    std::recursive_mutex mutex_;
};

// Answers from a table; hosts not in it are offline. onProbe runs during each probe, to act on the
// window at the moment a worker is waiting for the network.
class FakeEcho final : public EchoService {
public:
    std::map<std::string, std::int32_t> answers;
    std::vector<std::pair<std::string, std::int32_t>> probes;  // host, timeout
    std::function<void(const std::string& host)> onProbe;
    bool permitted = true;

    std::int32_t EchoProbe(const std::string& host, std::int32_t timeoutMs) override {
        probes.emplace_back(host, timeoutMs);
        if (onProbe) {
            onProbe(host);
        }
        const auto answer = answers.find(host);
        return answer == answers.end() ? -1 : answer->second;
    }
    bool EchoPermitted() override { return permitted; }
};

class FakeClock final : public LocalClock {
public:
    LocalDateTime now{2016, 3, 26, 14, 5, 7};
    LocalDateTime Now() override { return now; }
};

}  // namespace quorvel::test
