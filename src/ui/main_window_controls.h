#pragma once

#include <QPointer>

class QTreeWidget;

#include "monitor/window_controls.h"
#include "ui/gui_gateway.h"
#include "ui/main_window.h"

namespace quorvel {

// WindowControls for the real window: every call is carried out on the GUI thread through the
// gateway. Once the window is destroyed, or the program is ending, calls do nothing.
class MainWindowControls final : public WindowControls {
public:
    MainWindowControls(GuiGateway& gateway, MainWindow* window) : gateway_(gateway), window_(window) {}

    [[nodiscard]] std::string ButtonCaption() override;
    void SetButtonCaption(const std::string& caption) override;
    [[nodiscard]] std::int32_t TimerPeriod() override;
    void SetTimerPeriod(std::int32_t periodMs) override;
    [[nodiscard]] std::string IntervalText() override;
    [[nodiscard]] std::string TimeoutText() override;
    void RemoveAllRows() override;
    [[nodiscard]] int AddServerRow(const std::array<std::string, 3>& cells) override;
    void AppendLog(const std::string& text) override;
    void Atomically(const std::function<void()>& step) override;

private:
    // Run action(window) on the GUI thread while the window lives; otherwise Act does nothing and
    // Read gives fallback.
    template <class Action>
    void Act(Action action);
    template <class Action, class Result = std::invoke_result_t<Action&, MainWindow&>>
    Result Read(Action action, Result fallback = Result{});
    [[nodiscard]] bool WindowUsable() const;
    void PaintListAtFrameRate(QTreeWidget& list);

    GuiGateway& gateway_;
    QPointer<MainWindow> window_;      // read only on the GUI thread
    bool listRepaintPending_ = false;  // GUI thread only
};

}  // namespace quorvel
