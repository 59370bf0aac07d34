#include "monitor/poll_cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>

#include "app/core/server_list_text.h"
#include "fakes.h"
#include "monitor/probe_server.h"
#include "platform/program_directory.h"

namespace quorvel::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// A poll cycle on fakes. Threads are not started but queued, so each test decides when a worker runs.
class PollCycleTest : public testing::Test {
protected:
    PollCycleTest() {
        ServerListText().Release();
        services_.startThread = [this](std::function<void()> work) {
            if (threadsFail_) {
                return false;
            }
            queued_.push_back(std::move(work));
            return true;
        };
        cycle_ = std::make_unique<PollCycle>(services_);
    }
    ~PollCycleTest() override { ServerListText().Release(); }

    void UseServerList(const std::string& utf8) { ServerListText().Replace(Utf8ToGbk(utf8)); }

    void RunQueuedWorkers() {
        auto work = std::move(queued_);
        queued_.clear();
        for (auto& run : work) {
            run();
        }
    }

    FakeControls controls_;
    FakeEcho echo_;
    FakeClock clock_;
    MonitorServices services_{controls_, echo_, clock_};
    std::unique_ptr<PollCycle> cycle_;
    std::vector<std::function<void()>> queued_;
    bool threadsFail_ = false;
};

TEST_F(PollCycleTest, PollProbesEveryLineInFileOrderAndLogsTheOfflineOnes) {
    UseServerList("网关=127.0.0.1\r\nweb=127.0.0.2\r\n\r\n无主机\r\nd=\r\n=127.0.0.1\r\na=b=c");
    echo_.answers = {{"127.0.0.1", 0}, {"b", 15}};
    controls_.caption = Utf8ToGbk("停止");

    cycle_->PollServers();

    EXPECT_EQ(controls_.RowsUtf8(), (Rows{{"网关", "在线", "0 ms"},
                                          {"web", "离线", "-1 ms"},
                                          {"无主机", "离线", "-1 ms"},
                                          {"d", "离线", "-1 ms"},
                                          {"", "在线", "0 ms"},
                                          {"a", "在线", "15 ms"}}));
    const std::vector<std::pair<std::string, std::int32_t>> probes{{"127.0.0.1", 300}, {"127.0.0.2", 300}, {"", 300},
                                                                   {"", 300},          {"127.0.0.1", 300}, {"b", 300}};
    EXPECT_EQ(echo_.probes, probes);
    EXPECT_EQ(GbkToUtf8(controls_.log),
              "2016年3月26日14时5分7秒 web  离线\r\n"
              "2016年3月26日14时5分7秒 无主机  离线\r\n"
              "2016年3月26日14时5分7秒 d  离线\r\n");
    EXPECT_EQ(LastRow, 5);
    EXPECT_EQ(controls_.period, 30000);
}

TEST_F(PollCycleTest, PollStopsTheTimerFirstAndReadsTheIntervalLast) {
    UseServerList("a=h");
    controls_.caption = Utf8ToGbk("停止");
    controls_.period = 3000;
    cycle_->PollServers();
    const std::vector<std::string> expected{"period=0", "clear",     "timeout?", "row",          "log",
                                            "begin",    "interval?", "caption?", "period=30000", "end"};
    EXPECT_EQ(controls_.calls, expected);
}

TEST_F(PollCycleTest, StartClickArmsTheFirstTickAndStopClickDisarms) {
    const struct {
        const char* caption;
        std::int32_t periodBefore;
        const char* captionAfter;
        std::int32_t periodAfter;
    } rows[] = {
        {"开始", 0, "停止", 3000},
        {"停止", 30000, "开始", 0},
        {"停止", 0, "开始", 0},    // Halted
        {"其他", 500, "开始", 0},  // anything but Start counts as Stop
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        controls_.caption = Utf8ToGbk(row.caption);
        controls_.period = row.periodBefore;
        cycle_->ToggleMonitoring();
        EXPECT_EQ(GbkToUtf8(controls_.caption), row.captionAfter);
        EXPECT_EQ(controls_.period, row.periodAfter);
        EXPECT_TRUE(queued_.empty());  // a click never polls by itself
    }
}

TEST_F(PollCycleTest, EveryClickReloadsTheListFromTheProgramDirectory) {
    const std::filesystem::path file = ProgramDirectory() + "/server.txt";
    std::ofstream(file, std::ios::binary) << "a=127.0.0.1\r\nb=127.0.0.2" << '\0' << "c=127.0.0.3";
    cycle_->ToggleMonitoring();
    ASSERT_NE(ServerListText().Snapshot(), nullptr);
    EXPECT_EQ(*ServerListText().Snapshot(), "a=127.0.0.1\r\nb=127.0.0.2");

    std::filesystem::remove(file);
    cycle_->ToggleMonitoring();  // the Stop click reloads too
    EXPECT_EQ(*ServerListText().Snapshot(), "");
}

TEST_F(PollCycleTest, ATickStartsOnePollAndNoneWhileItRuns) {
    UseServerList("a=h");
    controls_.caption = Utf8ToGbk("停止");
    cycle_->TimerTick();
    cycle_->TimerTick();
    ASSERT_EQ(queued_.size(), 1u);
    RunQueuedWorkers();
    cycle_->TimerTick();
    EXPECT_EQ(queued_.size(), 1u);
}

TEST_F(PollCycleTest, AThreadThatCannotStartLeavesTheTimerArmedForTheNextTick) {
    controls_.caption = Utf8ToGbk("停止");
    controls_.period = 3000;
    threadsFail_ = true;
    cycle_->TimerTick();
    EXPECT_EQ(controls_.period, 3000);
    threadsFail_ = false;
    cycle_->TimerTick();
    EXPECT_EQ(queued_.size(), 1u);
}

TEST_F(PollCycleTest, StopDuringAPollLeavesTheTimerStopped) {
    UseServerList("a=h\r\nb=h");
    controls_.caption = Utf8ToGbk("停止");
    echo_.onProbe = [this](const std::string&) {
        if (echo_.probes.size() == 1) {
            cycle_->ToggleMonitoring();  // the user presses Stop while the first server is probed
        }
    };
    cycle_->TimerTick();
    RunQueuedWorkers();
    EXPECT_EQ(GbkToUtf8(controls_.caption), "开始");
    EXPECT_EQ(controls_.period, 0);
    EXPECT_EQ(echo_.probes.size(), 2u);  // the poll itself runs to its end
}

TEST_F(PollCycleTest, StopThenStartDuringAPollKeepsPollsApart) {
    UseServerList("a=h");
    controls_.caption = Utf8ToGbk("停止");
    cycle_->TimerTick();
    echo_.onProbe = [this](const std::string&) {
        cycle_->ToggleMonitoring();
        cycle_->ToggleMonitoring();
        cycle_->TimerTick();  // the 3 s tick of the new Start arrives while the poll still runs
    };
    RunQueuedWorkers();
    EXPECT_TRUE(queued_.empty());
    EXPECT_EQ(controls_.period, 30000);  // the poll that ends under "停止" arms the next one
}

TEST_F(PollCycleTest, ChangesAtTheWindowDuringAPollApplyFromTheNextServer) {
    UseServerList("a=h1\r\nb=h2\r\nc=h3");
    controls_.caption = Utf8ToGbk("停止");
    echo_.onProbe = [this](const std::string& host) {
        if (host == "h1") {
            controls_.timeout = Utf8ToGbk("５０");  // full-width digits
        }
        if (host == "h2") {
            controls_.interval = "1.5";
        }
    };
    cycle_->PollServers();
    ASSERT_EQ(echo_.probes.size(), 3u);
    EXPECT_EQ(echo_.probes[0].second, 300);
    EXPECT_EQ(echo_.probes[1].second, 50);
    EXPECT_EQ(controls_.period, 1500);
}

TEST_F(PollCycleTest, AListLoadedDuringAPollTakesEffectAtTheNextPoll) {
    UseServerList("a=h1\r\nb=h2");
    controls_.caption = Utf8ToGbk("停止");
    echo_.onProbe = [this](const std::string& host) {
        if (host == "h1") {
            UseServerList("c=h3");
        }
    };
    cycle_->PollServers();
    cycle_->PollServers();
    const std::vector<std::string> hosts{"h1", "h2", "h3"};
    std::vector<std::string> probed;
    for (const auto& probe : echo_.probes) {
        probed.push_back(probe.first);
    }
    EXPECT_EQ(probed, hosts);
}

TEST_F(PollCycleTest, AnEmptyOrMissingListClearsTheRowsAndRearms) {
    controls_.caption = Utf8ToGbk("停止");
    controls_.rows.resize(2);
    cycle_->PollServers();  // nothing was ever loaded
    EXPECT_TRUE(controls_.rows.empty());
    EXPECT_EQ(controls_.period, 30000);
    UseServerList("");
    controls_.rows.resize(2);
    cycle_->PollServers();
    EXPECT_TRUE(controls_.rows.empty());
    EXPECT_TRUE(echo_.probes.empty());
}

TEST_F(PollCycleTest, ARowThatCannotBeAddedIsStillLogged) {
    UseServerList("down=h");
    controls_.caption = Utf8ToGbk("停止");
    controls_.rowsFail = true;
    cycle_->PollServers();
    EXPECT_TRUE(controls_.rows.empty());
    EXPECT_EQ(GbkToUtf8(controls_.log), "2016年3月26日14时5分7秒 down  离线\r\n");
    EXPECT_EQ(LastRow, -1);
}

TEST_F(PollCycleTest, MissingPingPermissionIsExplainedOnceAtTheFirstPoll) {
    UseServerList("a=127.0.0.1");
    controls_.caption = Utf8ToGbk("停止");
    echo_.permitted = false;
    cycle_->PollServers();
    cycle_->PollServers();
    const std::string log = GbkToUtf8(controls_.log);
    EXPECT_NE(log.find("ping_group_range"), std::string::npos);
    EXPECT_NE(log.find("cap_net_raw"), std::string::npos);
    EXPECT_EQ(log.find("ping_group_range"), log.rfind("ping_group_range"));
    EXPECT_EQ(controls_.rows.size(), 1u);
}

TEST_F(PollCycleTest, IntervalTextGivesThePeriodAfterThePoll) {
    const struct {
        const char* text;
        std::int32_t period;
    } rows[] = {
        {"30", 30000},
        {"1.5", 1500},
        {"2.0009", 2000},
        {" 10", 10000},
        {"10s", 10000},
        {"1,5", 1000},
        {"1e1", 10000},
        {"１０", 10000},
        {"", 0},
        {"abc", 0},
        {"0.0004", 0},
        {"-5", 0},
        {"2147483.647", 2147483647},
        {"2147484", 2147483647},  // past the 32-bit range: the longest period, not the low 32 bits
        {"1e300", 2147483647},
        {"-1e300", 0},
    };
    controls_.caption = Utf8ToGbk("停止");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        controls_.interval = Utf8ToGbk(row.text);
        controls_.period = 0;
        cycle_->PollServers();
        EXPECT_EQ(controls_.period, row.period);
    }
}

TEST_F(PollCycleTest, RealWorkerThreadsRunThePoll) {
    services_.startThread = StartDetachedThread;
    PollCycle cycle(services_);
    UseServerList("a=127.0.0.1");
    echo_.answers = {{"127.0.0.1", 1}};
    controls_.caption = Utf8ToGbk("停止");
    cycle.TimerTick();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    // The worker's last act on the cycle is inside its final one-step call.
    while (!controls_.LastCallIs("end") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(controls_.RowsUtf8(), (Rows{{"a", "在线", "1 ms"}}));
    EXPECT_EQ(controls_.TimerPeriod(), 30000);
}

TEST(OfflineLogLine, IsTimeStampSpaceNameTwoSpacesOffline) {
    EXPECT_EQ(GbkToUtf8(OfflineLogLine({2016, 3, 26, 14, 5, 7}, "web1")), "2016年3月26日14时5分7秒 web1  离线\r\n");
    EXPECT_EQ(GbkToUtf8(OfflineLogLine({2016, 3, 26, 0, 0, 0}, "")), "2016年3月26日   离线\r\n");
}

}  // namespace
}  // namespace quorvel::test
