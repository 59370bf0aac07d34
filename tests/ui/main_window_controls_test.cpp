#include "ui/main_window_controls.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <future>
#include <thread>

#include "common/gbk.h"
#include "ui/main_window.h"
#include "ui/period_timer.h"

namespace quorvel {
namespace {

// Runs work on a worker thread while the GUI thread keeps its event loop turning, as in the program.
template <class Work>
auto OnWorker(Work work) {
    auto result = std::async(std::launch::async, std::move(work));
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return result.get();
}

class MainWindowControlsTest : public testing::Test {
protected:
    MainWindowControlsTest() : window_(new MainWindow({})), controls_(gateway_, window_) {}
    ~MainWindowControlsTest() override { delete window_.data(); }

    GuiGateway gateway_;
    QPointer<MainWindow> window_;
    MainWindowControls controls_;
};

TEST_F(MainWindowControlsTest, WorkerReadsAndWritesEveryControlThroughTheGuiThread) {
    const std::string gbkName = Utf8ToGbk("网关一");
    const int row = OnWorker([&] {
        EXPECT_EQ(controls_.ButtonCaption(), Utf8ToGbk("开始"));
        EXPECT_EQ(controls_.IntervalText(), "30");
        EXPECT_EQ(controls_.TimeoutText(), "300");
        controls_.SetButtonCaption(Utf8ToGbk("停止"));
        controls_.SetTimerPeriod(3000);
        EXPECT_EQ(controls_.TimerPeriod(), 3000);
        return controls_.AddServerRow({gbkName, Utf8ToGbk("在线"), "0 ms"});
    });
    EXPECT_EQ(row, 0);
    EXPECT_EQ(window_->StartStopButton()->text(), QStringLiteral("停止"));
    EXPECT_EQ(window_->PollTimer()->Period(), 3000);
    QTreeWidgetItem* item = window_->ServerList()->topLevelItem(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(0), QStringLiteral("网关一"));
    EXPECT_EQ(item->text(1), QStringLiteral("在线"));
    EXPECT_EQ(item->text(2), QStringLiteral("0 ms"));
    EXPECT_FALSE(item->icon(0).isNull());
    OnWorker([&] { controls_.RemoveAllRows(); });
    EXPECT_EQ(window_->ServerList()->topLevelItemCount(), 0);
}

TEST_F(MainWindowControlsTest, RowsGetConsecutiveIndexes) {
    const std::vector<int> indexes = OnWorker([&] {
        std::vector<int> seen;
        for (int i = 0; i < 5; ++i) {
            seen.push_back(controls_.AddServerRow({"s", "", ""}));
        }
        return seen;
    });
    EXPECT_EQ(indexes, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(MainWindowControlsTest, AppendGoesToTheEndDropsTheSelectionAndShowsTheNewestLine) {
    window_->show();
    QPlainTextEdit* log = window_->LogBox();
    for (int i = 0; i < 30; ++i) {
        controls_.AppendLog("line " + std::to_string(i) + "\r\n");
    }
    QTextCursor selection = log->textCursor();
    selection.setPosition(0);
    selection.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
    log->setTextCursor(selection);
    log->verticalScrollBar()->setValue(0);

    OnWorker([&] { controls_.AppendLog(Utf8ToGbk("2016年3月26日 web1  离线\r\n")); });

    EXPECT_FALSE(log->textCursor().hasSelection());
    EXPECT_TRUE(log->textCursor().atEnd());
    EXPECT_GT(log->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(log->viewport()->rect().contains(log->cursorRect()));
    // One CR LF is one line break, not two.
    EXPECT_TRUE(log->toPlainText().endsWith(QStringLiteral("line 29\n2016年3月26日 web1  离线\n")));
    EXPECT_EQ(log->document()->blockCount(), 32);
}

TEST_F(MainWindowControlsTest, AtomicStepRunsNestedCallsDirectlyOnTheGuiThread) {
    const bool sawGuiThread = OnWorker([&] {
        bool onGui = false;
        controls_.Atomically([&] {
            onGui = QThread::currentThread() == qApp->thread();
            controls_.SetButtonCaption(controls_.IntervalText());
        });
        return onGui;
    });
    EXPECT_TRUE(sawGuiThread);
    EXPECT_EQ(window_->StartStopButton()->text(), QStringLiteral("30"));
}

TEST_F(MainWindowControlsTest, OnceTheWindowIsGoneCallsDoNothingAndReadsAreEmpty) {
    delete window_.data();
    OnWorker([&] {
        EXPECT_EQ(controls_.ButtonCaption(), "");
        EXPECT_EQ(controls_.TimeoutText(), "");
        EXPECT_EQ(controls_.TimerPeriod(), 0);
        EXPECT_EQ(controls_.AddServerRow({"x", "y", "z"}), -1);
        controls_.SetTimerPeriod(10);
        controls_.AppendLog("x\r\n");
        controls_.RemoveAllRows();
        return 0;
    });
}

TEST_F(MainWindowControlsTest, InvalidBytesReachTheWindowAsReplacementCharacters) {
    OnWorker([&] { return controls_.AddServerRow({std::string("\xFF\x80", 2) + "ok\xB0", "", ""}); });
    const QString shown = window_->ServerList()->topLevelItem(0)->text(0);
    EXPECT_TRUE(shown.contains(QStringLiteral("ok")));
    EXPECT_TRUE(shown.contains(QChar(0xFFFD)));
}

}  // namespace
}  // namespace quorvel
