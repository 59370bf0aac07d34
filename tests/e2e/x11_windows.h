#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct _XDisplay;

namespace quorvel::test {

// A connection to the X server named by DISPLAY, for looking at another process's windows.
class X11Display {
public:
    X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;
    ~X11Display();

    [[nodiscard]] bool Connected() const { return display_ != nullptr; }

    // A viewable top-level window with this exact title (UTF-8), or 0.
    [[nodiscard]] std::uint64_t FindViewableWindow(const std::string& title);
    [[nodiscard]] std::uint64_t WaitForViewableWindow(const std::string& title, std::chrono::milliseconds limit);

    // Asks the window to close, as the close box of its title bar does.
    void RequestClose(std::uint64_t window);

    // Gives the window the keyboard focus and presses and releases one key (an X keysym name).
    void PressKey(std::uint64_t window, const char* keysymName);

    // Moves the pointer to (x, y) inside the window and clicks the left button there.
    void Click(std::uint64_t window, int x, int y);

private:
    ::_XDisplay* display_ = nullptr;
};

}  // namespace quorvel::test
