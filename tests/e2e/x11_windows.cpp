#include "x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <thread>

namespace quorvel::test {
namespace {

std::string WindowTitle(Display* display, Window window) {
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr) {
        title.assign(reinterpret_cast<char*>(data), count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return title;
}

// Windows of the program under test come and go between our requests; Xlib's default handler would
// end the test process over a window that has just vanished.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

X11Display::X11Display() : display_(XOpenDisplay(nullptr)) {
    XSetErrorHandler(IgnoreXError);
}

X11Display::~X11Display() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

std::uint64_t X11Display::FindViewableWindow(const std::string& title) {
    if (display_ == nullptr) {
        return 0;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::uint64_t found = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display_, children[i], &attributes) != 0 && attributes.map_state == IsViewable &&
                WindowTitle(display_, children[i]) == title) {
                found = children[i];
            }
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

std::uint64_t X11Display::WaitForViewableWindow(const std::string& title, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const std::uint64_t window = FindViewableWindow(title)) {
            return window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

void X11Display::RequestClose(std::uint64_t window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
}

void X11Display::PressKey(std::uint64_t window, const char* keysymName) {
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XSync(display_, False);
    const KeyCode key = XKeysymToKeycode(display_, XStringToKeysym(keysymName));
    XTestFakeKeyEvent(display_, key, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, False, CurrentTime);
    XFlush(display_);
}

void X11Display::Click(std::uint64_t window, int x, int y) {
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
    XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
    XFlush(display_);
}

}  // namespace quorvel::test
