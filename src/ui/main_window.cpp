#include "ui/main_window.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include "app/core/lifetime.h"
#include "common/program_texts.h"
#include "ui/period_timer.h"
#include "ui/qt_text.h"

// The icon lives in this static library's resources, which the linker would otherwise drop.
static void InitialiseUiResources() {
    Q_INIT_RESOURCE(resources);
}

namespace quorvel {
namespace {

// The system's edge height; a one-line box must fit an ideograph plus an edge above and below.
constexpr int kEdgeHeight = 2;
constexpr int kListIconSize = 32;

QLabel* MakeTransparentLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setAutoFillBackground(false);  // the window shows through
    label->setFocusPolicy(Qt::NoFocus);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

// Black on white, and the selection vanishes while the box does not have the focus.
void UseBoxColours(QWidget* box) {
    QPalette palette = box->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, Qt::white);
        palette.setColor(group, QPalette::Text, Qt::black);
    }
    palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
    box->setPalette(palette);
}

QLineEdit* MakeOneLineBox(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setGeometry(geometry);
    box->setText(text);
    box->setCursorPosition(0);
    UseBoxColours(box);
    const int needed = box->fontMetrics().size(Qt::TextSingleLine, QStringLiteral("中")).height() + 2 * kEdgeHeight;
    if (geometry.height() < needed) {
        box->resize(geometry.width(), needed);
    }
    return box;
}

}  // namespace

MainWindow::MainWindow(Handlers handlers, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      handlers_(std::move(handlers)) {
    InitialiseUiResources();
    setObjectName(QStringLiteral("MainWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quorvel - Larkmere"));
    setWindowIcon(QIcon(QStringLiteral(":/quorvel.png")));
    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(CentredFramePosition(screen->geometry().size()));
    }
    CreateControls();
    ConfigureEditBoxes();
    ConfigureServerList();
    ConfigureKeyboard();
    connect(button1_, &QPushButton::clicked, this, [this] { DispatchIfRunning(handlers_.buttonClicked); });
    connect(timer1_, &PeriodTimer::Tick, this, [this] { DispatchIfRunning(handlers_.timerTick); });
}

QPoint MainWindow::CentredFramePosition(const QSize& screenSize) {
    return {(screenSize.width() - kOuterWidth) / 2, (screenSize.height() - kOuterHeight) / 2};
}

void MainWindow::RunCreatedEvent() {
    DispatchIfRunning(handlers_.created);
}

void MainWindow::DispatchIfRunning(const std::function<void()>& handler) const {
    if (handler && !Ending()) {
        handler();
    }
}

void MainWindow::CreateControls() {
    const ProgramTexts& texts = Texts();
    // Created in their stored order, which is also their stacking order with the first on top.
    label3_ = MakeTransparentLabel(this, "透明标签3", QStringLiteral("ms"), {72, 10, 16, 11});
    label2_ = MakeTransparentLabel(this, "透明标签2", ToQString(texts.timeoutLabel), {14, 9, 22, 15});
    edit3_ = MakeOneLineBox(this, "编辑框3", QStringLiteral("300"), {42, 8, 25, 16});
    edit2_ = new QPlainTextEdit(this);
    edit2_->setObjectName(QStringLiteral("编辑框2"));
    edit2_->setGeometry(9, 226, 327, 74);
    label1_ = MakeTransparentLabel(this, "透明标签1", ToQString(texts.intervalUnit), {240, 8, 30, 16});
    edit1_ = MakeOneLineBox(this, "编辑框1", QStringLiteral("30"), {217, 9, 19, 15});
    timer1_ = new PeriodTimer(this);
    timer1_->setObjectName(QStringLiteral("时钟1"));
    button1_ = new QPushButton(ToQString(texts.start), this);
    button1_->setObjectName(QStringLiteral("按钮1"));
    button1_->setGeometry(276, 4, 45, 24);
    list1_ = new QTreeWidget(this);
    list1_->setObjectName(QStringLiteral("超级列表框1"));
    list1_->setGeometry(9, 32, 327, 192);

    const QList<QWidget*> stacked{label3_, label2_, edit3_, edit2_, label1_, edit1_, button1_, list1_};
    for (qsizetype i = 1; i < stacked.size(); ++i) {
        stacked[i]->stackUnder(stacked[i - 1]);
    }
}

void MainWindow::ConfigureEditBoxes() {
    edit3_->setFrame(false);
    edit3_->setAccessibleName(QStringLiteral("超时（毫秒）"));

    edit1_->setAlignment(Qt::AlignCenter);
    // A thin sunken edge: darker above and left, light below and right.
    edit1_->setStyleSheet(QStringLiteral(
        "QLineEdit { border-style: solid; border-width: 1px; border-color: #a0a0a0 #ffffff #ffffff #a0a0a0;"
        " background: white; color: black; padding: 0px; }"));
    edit1_->setAccessibleName(QStringLiteral("轮询间隔（秒/次）"));

    edit2_->setReadOnly(true);
    edit2_->setFrameShape(QFrame::NoFrame);
    edit2_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit2_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit2_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit2_->setUndoRedoEnabled(false);  // the log only grows; an undo history would double its memory
    edit2_->setAccessibleName(QStringLiteral("离线日志"));
    UseBoxColours(edit2_);
}

void MainWindow::ConfigureServerList() {
    const ProgramTexts& texts = Texts();
    list1_->setColumnCount(3);
    list1_->setHeaderLabels({ToQString(texts.columnItem), ToQString(texts.columnStatus), ToQString(texts.columnSpeed)});
    list1_->setColumnWidth(0, 200);
    list1_->setColumnWidth(1, 50);
    list1_->setColumnWidth(2, 50);
    QHeaderView* header = list1_->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list1_->setRootIsDecorated(false);
    list1_->setItemsExpandable(false);
    list1_->setUniformRowHeights(true);
    list1_->setSortingEnabled(false);
    list1_->setSelectionMode(QAbstractItemView::SingleSelection);
    list1_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list1_->setAllColumnsShowFocus(true);
    list1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list1_->setIconSize({kListIconSize, kListIconSize});
    list1_->setFrameShape(QFrame::NoFrame);
    list1_->viewport()->setAttribute(Qt::WA_Hover, false);
    list1_->setAccessibleName(QStringLiteral("服务器状态"));
    UseBoxColours(list1_);
}

void MainWindow::ConfigureKeyboard() {
    // Enter never presses the button, even when it has the focus.
    button1_->setAutoDefault(false);
    button1_->setDefault(false);
    edit2_->setTabChangesFocus(true);
    list1_->setTabKeyNavigation(false);
    setTabOrder(list1_, button1_);
    setTabOrder(button1_, edit1_);
    setTabOrder(edit1_, edit2_);
    setTabOrder(edit2_, edit3_);
    list1_->setFocus();
}

}  // namespace quorvel
