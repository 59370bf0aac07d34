#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "ui/period_timer.h"

namespace quorvel {
namespace {

template <class Widget>
Widget* Find(const MainWindow& window, const char* name) {
    return window.findChild<Widget*>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly);
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        handlers_.buttonClicked = [this] { ++clicks_; };
        handlers_.created = [this] { ++createdEvents_; };
        window_ = std::make_unique<MainWindow>(handlers_);
        window_->setAttribute(Qt::WA_DeleteOnClose, false);
    }

    void ShowAndActivate() {
        window_->show();
        QApplication::setActiveWindow(window_.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }

    MainWindow::Handlers handlers_;
    int clicks_ = 0;
    int createdEvents_ = 0;
    std::unique_ptr<MainWindow> window_;
};

struct ControlRow {
    const char* name;
    const char* className;
    QRect stored;
    const char* initialText;  // nullptr: the control has no text
    bool mayGrowTaller;       // one-line edit boxes grow to fit an ideograph
};

TEST_F(MainWindowTest, EveryControlHasItsNameKindPlaceAndInitialText) {
    const ControlRow rows[] = {
        {"透明标签3", "QLabel", {72, 10, 16, 11}, "ms", false},
        {"透明标签2", "QLabel", {14, 9, 22, 15}, "超时", false},
        {"编辑框3", "QLineEdit", {42, 8, 25, 16}, "300", true},
        {"编辑框2", "QPlainTextEdit", {9, 226, 327, 74}, "", false},
        {"透明标签1", "QLabel", {240, 8, 30, 16}, "秒/次", false},
        {"编辑框1", "QLineEdit", {217, 9, 19, 15}, "30", true},
        {"按钮1", "QPushButton", {276, 4, 45, 24}, "开始", false},
        {"超级列表框1", "QTreeWidget", {9, 32, 327, 192}, nullptr, false},
    };
    for (const ControlRow& row : rows) {
        SCOPED_TRACE(row.name);
        auto* control = Find<QWidget>(*window_, row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->metaObject()->className(), row.className);
        const QRect actual = control->geometry();
        EXPECT_EQ(actual.topLeft(), row.stored.topLeft());
        EXPECT_EQ(actual.width(), row.stored.width());
        if (row.mayGrowTaller) {
            EXPECT_GE(actual.height(), row.stored.height());
            EXPECT_GE(actual.height(), control->fontMetrics().height());
        } else {
            EXPECT_EQ(actual.height(), row.stored.height());
        }
        EXPECT_TRUE(control->isEnabled());
        QString text;
        if (auto* label = qobject_cast<QLabel*>(control)) {
            text = label->text();
        } else if (auto* line = qobject_cast<QLineEdit*>(control)) {
            text = line->text();
            EXPECT_EQ(line->cursorPosition(), 0);
            EXPECT_FALSE(line->hasSelectedText());
        } else if (auto* box = qobject_cast<QPlainTextEdit*>(control)) {
            text = box->toPlainText();
        } else if (auto* button = qobject_cast<QPushButton*>(control)) {
            text = button->text();
        }
        if (row.initialText) {
            EXPECT_EQ(text, QString::fromUtf8(row.initialText));
        }
    }
}

TEST_F(MainWindowTest, ControlsAreStackedInStoredOrderFirstOnTop) {
    const QStringList expectedTopFirst{"透明标签3", "透明标签2", "编辑框3", "编辑框2",
                                       "透明标签1", "编辑框1",   "按钮1",   "超级列表框1"};
    QStringList topFirst;
    for (QObject* child : window_->children()) {  // Qt keeps siblings bottom first
        if (child->isWidgetType()) {
            topFirst.prepend(child->objectName());
        }
    }
    EXPECT_EQ(topFirst, expectedTopFirst);
}

TEST_F(MainWindowTest, WindowHasCaptionClientSizeAndOnlyACloseBox) {
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Quorvel - Larkmere"));
    EXPECT_EQ(window_->size(), QSize(343, 309));
    const Qt::WindowFlags flags = window_->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window_->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
    EXPECT_EQ(window_->parentWidget(), nullptr);
}

TEST(CentredFramePosition, TruncatesLikeIntegerDivisionOnAnyScreen) {
    const struct {
        QSize screen;
        QPoint frame;
    } rows[] = {
        {{1280, 1024}, {464, 344}},
        {{1920, 1080}, {784, 372}},
        {{1000, 801}, {324, 232}},  // odd remainders are dropped
        {{351, 336}, {0, 0}},
        {{300, 200}, {-25, -68}},  // smaller than the window: partly off screen, truncated toward zero
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MainWindow::CentredFramePosition(row.screen), row.frame)
            << row.screen.width() << "x" << row.screen.height();
    }
}

TEST_F(MainWindowTest, ServerListIsAReportWithThreeFixedColumnsAndNoRows) {
    auto* list = Find<QTreeWidget>(*window_, "超级列表框1");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->columnCount(), 3);
    const QStringList titles{"项目", "状态", "速度"};
    const int widths[] = {200, 50, 50};
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(list->headerItem()->text(column), titles[column]);
        EXPECT_EQ(list->columnWidth(column), widths[column]);
    }
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_FALSE(list->header()->sectionsClickable());
    EXPECT_FALSE(list->header()->sectionsMovable());
    EXPECT_FALSE(list->isSortingEnabled());
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->iconSize(), QSize(32, 32));
}

TEST_F(MainWindowTest, ClickingARowSelectsThatWholeRowOnly) {
    ShowAndActivate();
    auto* list = Find<QTreeWidget>(*window_, "超级列表框1");
    for (const char* name : {"a", "b", "c"}) {
        auto* item = new QTreeWidgetItem(list, {name, "x", "y"});
        item->setIcon(0, window_->windowIcon());
    }
    EXPECT_GE(list->visualItemRect(list->topLevelItem(0)).height(), 32);
    for (int row : {1, 2}) {
        const QRect cell = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        const auto selected = list->selectedItems();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.front(), list->topLevelItem(row));
        EXPECT_EQ(list->selectionModel()->selectedIndexes().size(), 3);  // every cell of the row
    }
}

TEST_F(MainWindowTest, TabWalksTheFiveStopsAndWrapsAround) {
    ShowAndActivate();
    const QStringList cycle{"超级列表框1", "按钮1", "编辑框1", "编辑框2", "编辑框3", "超级列表框1", "按钮1"};
    Find<QWidget>(*window_, "超级列表框1")->setFocus();
    for (qsizetype i = 1; i < cycle.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), cycle[i]) << "after Tab number " << i;
    }
}

TEST_F(MainWindowTest, EscapeAndEnterDoNothing) {
    ShowAndActivate();
    auto* button = Find<QPushButton>(*window_, "按钮1");
    for (const char* name : {"按钮1", "编辑框1", "编辑框3", "超级列表框1"}) {
        SCOPED_TRACE(name);
        auto* control = Find<QWidget>(*window_, name);
        control->setFocus();
        for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(control, key);
        }
        EXPECT_EQ(QApplication::focusWidget(), control);
        EXPECT_TRUE(window_->isVisible());
    }
    EXPECT_EQ(clicks_, 0);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks_, 1);  // the click itself does reach its handler
}

TEST_F(MainWindowTest, TypingIntoTheLogChangesNothingButItsTextCanBeSelected) {
    ShowAndActivate();
    auto* log = Find<QPlainTextEdit>(*window_, "编辑框2");
    log->setPlainText(QStringLiteral("line"));
    log->setFocus();
    QTest::keyClicks(log, QStringLiteral("typed"));
    QTest::keyClick(log, Qt::Key_Backspace);
    EXPECT_EQ(log->toPlainText(), QStringLiteral("line"));
    log->selectAll();
    EXPECT_EQ(log->textCursor().selectedText(), QStringLiteral("line"));
}

TEST_F(MainWindowTest, CreatedEventRunsItsHandlerOnce) {
    EXPECT_EQ(createdEvents_, 0);
    window_->RunCreatedEvent();
    EXPECT_EQ(createdEvents_, 1);
}

TEST_F(MainWindowTest, ResizingMovesNoControl) {
    ShowAndActivate();
    QList<QRect> before;
    for (auto* child : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        before << child->geometry();
    }
    for (QSize size : {QSize(800, 600), QSize(120, 90)}) {
        window_->resize(size);
        QApplication::processEvents();
        QList<QRect> after;
        for (auto* child : window_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            after << child->geometry();
        }
        EXPECT_EQ(after, before);
    }
}

}  // namespace
}  // namespace quorvel
