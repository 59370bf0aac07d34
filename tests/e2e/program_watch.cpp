#include "program_watch.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "x11_windows.h"

namespace quorvel::test {
namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

const char* KeysymName(char c) {
    static const char* const kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    if (c >= '0' && c <= '9') {
        return kDigits[c - '0'];
    }
    return c == '.' ? "period" : nullptr;
}

// A text property as bytes, or a 32-bit cardinal as its decimal text; empty when missing.
std::string Property(Display* display, Window window, const char* name, Atom type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, type, &actualType,
                           &format, &items, &remaining, &data) == Success &&
        data != nullptr && items > 0) {
        if (format == 32) {
            value = std::to_string(*reinterpret_cast<unsigned long*>(data));
        } else if (format == 8) {
            value.assign(reinterpret_cast<char*>(data), items);
        }
    }
    if (data != nullptr) {
        XFree(data);
    }
    return value;
}

}  // namespace

long StatusKb(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string wanted = std::string(field) + ":";
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(wanted, 0) == 0) {
            return std::strtol(line.c_str() + wanted.size(), nullptr, 10);
        }
    }
    return -1;
}

int PollWorkers(pid_t pid) {
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    const std::string mainName = FirstLine(fs::path("/proc/" + std::to_string(pid)) / "comm");
    std::error_code error;
    int named = 0;
    for (const auto& task : fs::directory_iterator(tasks, error)) {
        if (FirstLine(task.path() / "comm") == mainName) {
            ++named;
        }
    }
    return std::max(named - 1, 0);
}

pid_t OnlyChild(pid_t pid) {
    const std::string children =
        FirstLine("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::istringstream list(children);
    pid_t child = -1;
    list >> child;
    return child > 0 ? child : -1;
}

void WriteScript(const fs::path& path, const std::string& body) {
    std::ofstream(path, std::ios::trunc) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

void WriteIsolatingLauncher(const fs::path& path) {
    // The local table answers for all of 127.0.0.0/8 and is asked first, so it moves behind a rule
    // that sends 127.1.0.0/16 to the veth link; route_localnet lets loopback addresses leave lo at all.
    WriteScript(path, R"(exec unshare --net sh -c '
ip link set lo up &&
ip link add q0 type veth peer name q1 &&
ip link set q0 up && ip link set q1 up &&
echo 1 > /proc/sys/net/ipv4/conf/q0/route_localnet &&
ip rule add pref 5 to 127.1.0.0/16 lookup 100 &&
ip rule del pref 0 lookup local &&
ip rule add pref 10 lookup local &&
ip route add 127.1.0.0/16 dev q0 table 100 || exit 125
exec "$0"' "$QUORVEL_PROGRAM"
)");
}

std::uint64_t WaitForWindowOfProcess(pid_t pid, const std::string& title, std::chrono::milliseconds limit) {
    static X11Display lenient;  // installs Xlib's error handler that ignores windows gone meanwhile
    static Display* const display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        std::uint64_t found = 0;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
            for (unsigned int i = 0; i < count && found == 0; ++i) {
                XWindowAttributes attributes{};
                if (Property(display, children[i], "_NET_WM_PID", XA_CARDINAL) == std::to_string(pid) &&
                    Property(display, children[i], "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False)) ==
                        title &&
                    XGetWindowAttributes(display, children[i], &attributes) != 0 &&
                    attributes.map_state == IsViewable) {
                    found = children[i];
                }
            }
        }
        if (children != nullptr) {
            XFree(children);
        }
        if (found != 0) {
            return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

void TypeIntervalAndStart(X11Display& display, std::uint64_t window, const std::string& interval) {
    for (const char* key : {"Tab", "Tab", "End", "BackSpace", "BackSpace"}) {
        display.PressKey(window, key);
    }
    for (const char c : interval) {
        if (const char* name = KeysymName(c)) {
            display.PressKey(window, name);
        }
    }
    for (const char* key : {"Tab", "Tab", "Tab", "Tab", "space"}) {
        display.PressKey(window, key);
    }
}

Spread SpreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty()) {
        return spread;
    }
    std::sort(values.begin(), values.end());
    spread.median = values[values.size() / 2];
    spread.p95 = values[std::min(values.size() - 1, values.size() * 95 / 100)];
    spread.max = values.back();
    return spread;
}

long EnvironmentCount(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return fallback;
    }
    const long value = std::strtol(text, nullptr, 10);
    return value > 0 ? value : fallback;
}

}  // namespace quorvel::test
