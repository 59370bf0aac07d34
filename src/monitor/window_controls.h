#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace quorvel {

// What monitoring needs of the main window. Texts are GBK. The window's implementation carries every
// call out on the GUI thread and waits for it, so workers may call it; once the window is gone the
// calls do nothing and reads give empty values.
class WindowControls {
public:
    virtual ~WindowControls() = default;

    [[nodiscard]] virtual std::string ButtonCaption() = 0;  // 按钮1
    virtual void SetButtonCaption(const std::string& caption) = 0;

    [[nodiscard]] virtual std::int32_t TimerPeriod() = 0;  // 时钟1
    virtual void SetTimerPeriod(std::int32_t periodMs) = 0;

    [[nodiscard]] virtual std::string IntervalText() = 0;  // 编辑框1
    [[nodiscard]] virtual std::string TimeoutText() = 0;   // 编辑框3

    // 超级列表框1. AddServerRow adds a row at the end with the list's picture, writes its three cells
    // in column order, all as one step, and returns the row's 0-based index, or -1 when no row could
    // be added. One step, not four: each hand-off to the GUI thread costs more than the work itself.
    virtual void RemoveAllRows() = 0;
    [[nodiscard]] virtual int AddServerRow(const std::array<std::string, 3>& cells) = 0;

    virtual void AppendLog(const std::string& text) = 0;  // 编辑框2

    // Runs step as one indivisible step on the GUI thread and waits for it; calls made from inside
    // step act at once.
    virtual void Atomically(const std::function<void()>& step) = 0;
};

}  // namespace quorvel
