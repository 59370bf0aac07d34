#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace quorvel {

class PeriodTimer;

// The program's only window. Controls keep their product names as object names (按钮1, 编辑框2, ...).
// The window only raises its three events; what they do is decided by whoever supplies the handlers.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    struct Handlers {
        std::function<void()> created;        // once, after the controls exist, before the first show
        std::function<void()> buttonClicked;  // 按钮1
        std::function<void()> timerTick;      // 时钟1
    };

    static constexpr int kOuterWidth = 351;
    static constexpr int kOuterHeight = 336;
    // What a 4 px sizable frame and a 19 px title bar leave of the outer size.
    static constexpr int kClientWidth = 343;
    static constexpr int kClientHeight = 309;

    explicit MainWindow(Handlers handlers, QWidget* parent = nullptr);

    void RunCreatedEvent();

    [[nodiscard]] QPushButton* StartStopButton() const { return button1_; }
    [[nodiscard]] PeriodTimer* PollTimer() const { return timer1_; }
    [[nodiscard]] QLineEdit* IntervalBox() const { return edit1_; }
    [[nodiscard]] QPlainTextEdit* LogBox() const { return edit2_; }
    [[nodiscard]] QLineEdit* TimeoutBox() const { return edit3_; }
    [[nodiscard]] QTreeWidget* ServerList() const { return list1_; }

    // Top-left corner of the frame: centred on the whole screen, truncating like the integer division
    // it is (so a screen smaller than the window puts the frame partly off screen).
    [[nodiscard]] static QPoint CentredFramePosition(const QSize& screenSize);

private:
    void CreateControls();
    void ConfigureEditBoxes();
    void ConfigureServerList();
    void ConfigureKeyboard();
    void DispatchIfRunning(const std::function<void()>& handler) const;

    Handlers handlers_;
    QLabel* label3_ = nullptr;
    QLabel* label2_ = nullptr;
    QLineEdit* edit3_ = nullptr;
    QPlainTextEdit* edit2_ = nullptr;
    QLabel* label1_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    PeriodTimer* timer1_ = nullptr;
    QPushButton* button1_ = nullptr;
    QTreeWidget* list1_ = nullptr;
};

}  // namespace quorvel
