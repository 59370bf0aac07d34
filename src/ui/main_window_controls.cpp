#include "ui/main_window_controls.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include "app/core/lifetime.h"
#include "ui/period_timer.h"
#include "ui/qt_text.h"

namespace quorvel {
bool MainWindowControls::WindowUsable() const {
    return !window_.isNull() && !Ending();
}

template <class Action>
void MainWindowControls::Act(Action action) {
    gateway_.Call([&] {
        if (WindowUsable()) {
            action(*window_);
        }
    });
}

template <class Action, class Result>
Result MainWindowControls::Read(Action action, Result fallback) {
    return gateway_.Call([&]() -> Result { return WindowUsable() ? action(*window_) : fallback; });
}

std::string MainWindowControls::ButtonCaption() {
    return Read([](MainWindow& w) { return FromQString(w.StartStopButton()->text()); });
}

void MainWindowControls::SetButtonCaption(const std::string& caption) {
    Act([&](MainWindow& w) { w.StartStopButton()->setText(ToQString(caption)); });
}

std::int32_t MainWindowControls::TimerPeriod() {
    return Read([](MainWindow& w) { return w.PollTimer()->Period(); });
}

void MainWindowControls::SetTimerPeriod(std::int32_t periodMs) {
    Act([&](MainWindow& w) { w.PollTimer()->SetPeriod(periodMs); });
}

std::string MainWindowControls::IntervalText() {
    return Read([](MainWindow& w) { return FromQString(w.IntervalBox()->text()); });
}

std::string MainWindowControls::TimeoutText() {
    return Read([](MainWindow& w) { return FromQString(w.TimeoutBox()->text()); });
}

void MainWindowControls::RemoveAllRows() {
    Act([](MainWindow& w) { w.ServerList()->clear(); });
}

int MainWindowControls::AddServerRow(const std::array<std::string, 3>& cells) {
    return Read(
        [&](MainWindow& w) {
            QTreeWidget* list = w.ServerList();
            PaintListAtFrameRate(*list);
            auto* row = new QTreeWidgetItem(list);
            row->setIcon(0, w.windowIcon());
            for (int column = 0; column < 3; ++column) {
                row->setText(column, ToQString(cells[static_cast<std::size_t>(column)]));
            }
            return list->topLevelItemCount() - 1;
        },
        -1);
}

// A poll adds a row every few dozen microseconds; repainting the list for each one would cost ten
// times the probe itself. The list still fills visibly, about sixty times a second.
void MainWindowControls::PaintListAtFrameRate(QTreeWidget& list) {
    constexpr int kFrameMs = 16;
    if (listRepaintPending_) {
        return;
    }
    listRepaintPending_ = true;
    list.setUpdatesEnabled(false);
    QTimer::singleShot(kFrameMs, &list, [this, &list] {
        listRepaintPending_ = false;
        list.setUpdatesEnabled(true);
    });
}

void MainWindowControls::AppendLog(const std::string& text) {
    Act([&](MainWindow& w) {
        QPlainTextEdit* log = w.LogBox();
        QTextCursor cursor = log->textCursor();
        cursor.movePosition(QTextCursor::End);  // also drops the user's selection
        cursor.insertText(ToDisplayLines(text));
        log->setTextCursor(cursor);
        log->ensureCursorVisible();
    });
}

void MainWindowControls::Atomically(const std::function<void()>& step) {
    gateway_.Call([&] { step(); });
}

}  // namespace quorvel
