#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/core/server_list_text.h"
#include "common/gbk.h"
#include "monitor/poll_cycle.h"
#include "platform/echo_probe.h"
#include "platform/local_clock.h"
#include "platform/program_directory.h"
#include "ui/gui_gateway.h"
#include "ui/main_window.h"
#include "ui/main_window_controls.h"
#include "ui/period_timer.h"

namespace quorvel {
namespace {

// Every host answers on loopback except the last, whose name glibc refuses before asking any
// resolver, so nothing leaves this machine.
const char* const kServerList = "本机=127.0.0.1\r\n二=127.0.0.2\r\n主机名=localhost\r\n坏=bad host";
const QStringList kNames{"本机", "二", "主机名", "坏"};
constexpr int kServers = 4;

// The window, its controls and the poll cycle wired as the program wires them, on real ICMP and the
// real clock. Only the thread starter is wrapped, to count workers: a case may end only once no
// worker can reach the objects it is about to destroy.
class Monitoring : public testing::Test {
protected:
    void SetUp() override {
        if (!SystemEchoService().EchoPermitted()) {
            GTEST_SKIP() << "this process may open no ICMP socket (neither ping_group_range nor CAP_NET_RAW)";
        }
        LockProgramDirectory();
        WriteServerList();

        MainWindow::Handlers handlers;
        handlers.buttonClicked = [this] { cycle_->ToggleMonitoring(); };
        handlers.timerTick = [this] { cycle_->TimerTick(); };
        window_ = new MainWindow(std::move(handlers));
        gateway_ = std::make_unique<GuiGateway>();
        controls_ = std::make_unique<MainWindowControls>(*gateway_, window_);
        MonitorServices services{*controls_, SystemEchoService(), SystemLocalClock()};
        services.startThread = [this](std::function<void()> work) {
            ++runningWorkers_;
            const bool started = StartDetachedThread([this, work = std::move(work)] {
                work();
                --runningWorkers_;
            });
            if (!started) {
                --runningWorkers_;
            }
            return started;
        };
        cycle_ = std::make_unique<PollCycle>(services);
        window_->show();
    }

    void TearDown() override {
        if (window_ && Caption() != QStringLiteral("开始")) {
            ClickStartStop();  // a poll that ends after Stop leaves the timer stopped
        }
        if (!QTest::qWaitFor([this] { return runningWorkers_ == 0; }, 10000)) {
            ADD_FAILURE() << "a poll worker is still running; what it reaches is left alive";
            static_cast<void>(gateway_.release());
            static_cast<void>(controls_.release());
            static_cast<void>(cycle_.release());
            window_ = nullptr;
        }
        delete window_.data();
        cycle_.reset();
        controls_.reset();
        gateway_.reset();
        ServerListText().Release();
        if (directoryLock_ >= 0) {
            std::error_code ignored;
            std::filesystem::remove(ListPath(), ignored);
            close(directoryLock_);
        }
    }

    // ctest runs every case as a process of its own, in parallel; the list file beside the binary is
    // one for all of them.
    void LockProgramDirectory() {
        directoryLock_ = open(ProgramDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(directoryLock_, 0);
        ASSERT_EQ(flock(directoryLock_, LOCK_EX), 0);
    }

    static std::filesystem::path ListPath() { return ProgramDirectory() + "/server.txt"; }

    static void WriteServerList() {
        std::ofstream(ListPath(), std::ios::binary | std::ios::trunc) << Utf8ToGbk(kServerList);
    }

    void ClickStartStop() { QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton); }

    // The Start click reads the list file; the monitor tests write one beside their binary too, in
    // this same directory, so make sure the poll will see ours.
    void ClickStart() {
        ClickStartStop();
        ASSERT_EQ(Caption(), QStringLiteral("停止"));
        const auto loaded = ServerListText().Snapshot();
        ASSERT_TRUE(loaded && *loaded == Utf8ToGbk(kServerList)) << "server.txt was changed by another test";
    }

    void SetInterval(const QString& seconds) { Find<QLineEdit>("编辑框1")->setText(seconds); }

    QString Caption() { return Find<QPushButton>("按钮1")->text(); }
    std::int32_t Period() { return Find<PeriodTimer>("时钟1")->Period(); }
    int Rows() { return Find<QTreeWidget>("超级列表框1")->topLevelItemCount(); }
    QStringList Column(int column) {
        QStringList cells;
        QTreeWidget* list = Find<QTreeWidget>("超级列表框1");
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            cells << list->topLevelItem(row)->text(column);
        }
        return cells;
    }
    QStringList LogLines() { return Find<QPlainTextEdit>("编辑框2")->toPlainText().split('\n', Qt::SkipEmptyParts); }

    // A poll has ended when every server has its row and no worker is left.
    bool WaitForPollEnd(int limitMs) {
        return QTest::qWaitFor(
            [this] { return runningWorkers_ == 0 && Rows() == kServers && !Column(2).contains(QString()); }, limitMs);
    }

    template <class Control>
    Control* Find(const char* name) {
        auto* control = window_->findChild<Control*>(QString::fromUtf8(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    std::unique_ptr<GuiGateway> gateway_;
    QPointer<MainWindow> window_;
    std::unique_ptr<MainWindowControls> controls_;
    std::unique_ptr<PollCycle> cycle_;
    std::atomic<int> runningWorkers_{0};
    int directoryLock_ = -1;
};

// "2016年3月26日14时5分7秒", shortened when the seconds, minutes and hours are zero.
QString DateTimeStamp(const QDateTime& when) {
    const QDate date = when.date();
    const QTime time = when.time();
    QString text = QStringLiteral("%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day());
    if (time.second() != 0) {
        text += QStringLiteral("%1时%2分%3秒").arg(time.hour()).arg(time.minute()).arg(time.second());
    } else if (time.minute() != 0) {
        text += QStringLiteral("%1时%2分").arg(time.hour()).arg(time.minute());
    } else if (time.hour() != 0) {
        text += QStringLiteral("%1时").arg(time.hour());
    }
    return text;
}

TEST_F(Monitoring, StartWaitsThreeSecondsThenPingsEveryServerInFileOrder) {
    ASSERT_NO_FATAL_FAILURE(ClickStart());
    QElapsedTimer sinceStart;
    sinceStart.start();
    EXPECT_EQ(Period(), 3000);

    ASSERT_TRUE(QTest::qWaitFor([this] { return Rows() > 0; }, 6000)) << "no poll within 6 s of Start";
    EXPECT_GE(sinceStart.elapsed(), 2950) << "the first poll came early";
    const QDateTime pollStarted = QDateTime::currentDateTime();
    ASSERT_TRUE(WaitForPollEnd(5000));
    const QDateTime pollEnded = QDateTime::currentDateTime();

    EXPECT_EQ(Column(0), kNames);
    EXPECT_EQ(Column(1), (QStringList{"在线", "在线", "在线", "离线"}));
    const QStringList speeds = Column(2);
    const QRegularExpression roundTrip(QStringLiteral("^(\\d+) ms$"));
    for (int row = 0; row < kServers - 1; ++row) {
        SCOPED_TRACE(kNames[row].toStdString());
        const QRegularExpressionMatch match = roundTrip.match(speeds[row]);
        ASSERT_TRUE(match.hasMatch()) << speeds[row].toStdString();
        EXPECT_LT(match.captured(1).toInt(), 50);  // loopback answers at once
    }
    EXPECT_EQ(speeds[kServers - 1], QStringLiteral("-1 ms"));

    // One line, for the one server that did not answer, stamped while the poll ran.
    const QStringList log = LogLines();
    ASSERT_EQ(log.size(), 1);
    const QStringList possible{DateTimeStamp(pollStarted) + QStringLiteral(" 坏  离线"),
                               DateTimeStamp(pollEnded) + QStringLiteral(" 坏  离线")};
    EXPECT_TRUE(possible.contains(log[0])) << log[0].toStdString();

    EXPECT_EQ(Period(), 30000);  // the next poll follows the interval in 编辑框1
    EXPECT_EQ(Caption(), QStringLiteral("停止"));
}

TEST_F(Monitoring, ShortIntervalPollsAgainUntilStopIsClicked) {
    SetInterval(QStringLiteral("0.2"));
    ASSERT_NO_FATAL_FAILURE(ClickStart());
    ASSERT_TRUE(QTest::qWaitFor([this] { return LogLines().size() >= 1; }, 6000)) << "no first poll";
    QElapsedTimer sinceFirstPoll;
    sinceFirstPoll.start();
    ASSERT_TRUE(QTest::qWaitFor([this] { return LogLines().size() >= 2; }, 3000)) << "no second poll";
    // The interval counts from the end of one poll to the start of the next.
    EXPECT_GE(sinceFirstPoll.elapsed(), 150);

    ClickStartStop();
    EXPECT_EQ(Caption(), QStringLiteral("开始"));
    // The click usually lands while the second poll is finishing (its last server is logged, its last step
    // not yet run): that poll runs to its end but does not arm the timer again.
    ASSERT_TRUE(QTest::qWaitFor([this] { return runningWorkers_ == 0; }, 3000));
    const qsizetype linesAfterStop = LogLines().size();
    QTest::qWait(600);
    EXPECT_EQ(LogLines().size(), linesAfterStop) << "a poll ran after Stop";
    EXPECT_EQ(runningWorkers_.load(), 0);
    EXPECT_EQ(Period(), 0);
    EXPECT_EQ(Column(0), kNames);  // stopping keeps the last poll's rows
}

TEST_F(Monitoring, ZeroIntervalHaltsAfterOnePollWithTheButtonStillOnStop) {
    SetInterval(QStringLiteral("0"));
    ASSERT_NO_FATAL_FAILURE(ClickStart());
    ASSERT_TRUE(QTest::qWaitFor([this] { return Rows() > 0; }, 6000)) << "no poll within 6 s of Start";
    ASSERT_TRUE(WaitForPollEnd(5000));
    EXPECT_EQ(Period(), 0);
    EXPECT_EQ(Caption(), QStringLiteral("停止"));

    QTest::qWait(600);
    EXPECT_EQ(LogLines().size(), 1) << "a poll ran while halted";
    EXPECT_EQ(runningWorkers_.load(), 0);

    // One click only switches monitoring off; nothing is polled or cleared.
    ClickStartStop();
    EXPECT_EQ(Caption(), QStringLiteral("开始"));
    EXPECT_EQ(Period(), 0);
    EXPECT_EQ(Column(0), kNames);
    EXPECT_EQ(LogLines().size(), 1);
}

}  // namespace
}  // namespace quorvel
