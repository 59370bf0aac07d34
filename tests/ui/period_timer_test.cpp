#include "ui/period_timer.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace quorvel {
namespace {

// Each row writes `first`, lets `pause` pass, writes `second`, and looks at the result.
struct PeriodWrite {
    const char* what;
    std::int32_t first;
    int pauseMs;
    std::int32_t second;
    std::int32_t expectedPeriod;
    bool expectRunning;
    bool expectRestarted;  // countdown started again at the second write
};

class PeriodTimerContract : public testing::TestWithParam<PeriodWrite> {};

TEST_P(PeriodTimerContract, WriteFollowsTheRule) {
    const PeriodWrite& row = GetParam();
    PeriodTimer timer;
    timer.SetPeriod(row.first);
    QTest::qWait(row.pauseMs);
    timer.SetPeriod(row.second);
    EXPECT_EQ(timer.Period(), row.expectedPeriod);
    EXPECT_EQ(timer.RemainingMs() >= 0, row.expectRunning);
    if (row.expectRunning) {
        const int remaining = timer.RemainingMs();
        if (row.expectRestarted) {
            EXPECT_GT(remaining, row.expectedPeriod - row.pauseMs / 2);
        } else {
            EXPECT_LE(remaining, row.expectedPeriod - row.pauseMs / 2);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PeriodTimerContract,
    testing::Values(PeriodWrite{"negative is stored as 0", 0, 0, -5, 0, false, false},
                    PeriodWrite{"negative stops a running timer", 5000, 0, -1, 0, false, false},
                    PeriodWrite{"same period keeps the countdown", 5000, 100, 5000, 5000, true, false},
                    PeriodWrite{"other period restarts from the write", 5000, 100, 6000, 6000, true, true},
                    PeriodWrite{"a shorter period restarts too", 5000, 100, 4000, 4000, true, true},
                    PeriodWrite{"zero stops", 5000, 0, 0, 0, false, false},
                    PeriodWrite{"start from stopped", 0, 100, 3000, 3000, true, true},
                    PeriodWrite{"largest period", 0, 100, 2147483647, 2147483647, true, true}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(PeriodTimer, TicksRepeatedlyOnItsOwnThread) {
    PeriodTimer timer;
    QSignalSpy ticks(&timer, &PeriodTimer::Tick);
    QThread* tickThread = nullptr;
    QObject::connect(&timer, &PeriodTimer::Tick, [&] { tickThread = QThread::currentThread(); });
    timer.SetPeriod(5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 3; }, 2000));
    EXPECT_EQ(tickThread, timer.thread());
    timer.SetPeriod(0);
    const auto seen = ticks.count();
    QTest::qWait(30);
    EXPECT_EQ(ticks.count(), seen);
}

}  // namespace
}  // namespace quorvel
