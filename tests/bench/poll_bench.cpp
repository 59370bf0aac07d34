// One poll of many answering loopback servers through the real window, the real gateway and real ICMP,
// timed from the worker's start to the poll's last step, while a 1 ms timer on the GUI thread records
// how late the window's event loop gets. Run by scripts/bench; not a test, and not part of ctest.
//
//   poll_bench [--servers N] [--runs N]   run and print the figures; the last line is key=value pairs
//   poll_bench --addresses [--servers N]  print the probed addresses, one a line (for fping)

#include <pthread.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/core/server_list_text.h"
#include "common/gbk.h"
#include "common/program_texts.h"
#include "monitor/poll_cycle.h"
#include "platform/echo_probe.h"
#include "platform/local_clock.h"
#include "ui/application_setup.h"
#include "ui/gui_gateway.h"
#include "ui/main_window.h"
#include "ui/main_window_controls.h"
#include "ui/qt_text.h"

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHostsPerBlock = 250;  // 127.0.x.1 .. 127.0.x.250
constexpr int kMaxServers = 256 * kHostsPerBlock;

struct Options {
    int servers = 1000;
    int runs = 5;
    bool printAddresses = false;
};

[[nodiscard]] double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

[[nodiscard]] std::string Address(int index) {
    return "127.0." + std::to_string(index / kHostsPerBlock) + "." + std::to_string(index % kHostsPerBlock + 1);
}

[[nodiscard]] std::string Name(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "s%04d", index + 1);
    return name;
}

// The list as server.txt would hold it: GBK, CR LF. The names are plain ASCII, which GBK keeps as is.
[[nodiscard]] std::string ServerListFile(int servers) {
    std::string text;
    for (int i = 0; i < servers; ++i) {
        text += Name(i) + "=" + Address(i) + "\r\n";
    }
    return Utf8ToGbk(text);
}

// Counts the hand-offs to the GUI thread and the time the GUI thread spends carrying them out: every
// event that reaches the gateway is one call from the worker.
class BenchApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (receiver != gateway_) {
            return QApplication::notify(receiver, event);
        }
        const Clock::time_point start = Clock::now();
        const bool handled = QApplication::notify(receiver, event);
        handOffTime_ += Clock::now() - start;
        ++handOffs_;
        return handled;
    }

    void Watch(const QObject* gateway) { gateway_ = gateway; }
    void ResetCounts() {
        handOffs_ = 0;
        handOffTime_ = {};
    }
    [[nodiscard]] long HandOffs() const { return handOffs_; }
    [[nodiscard]] Clock::duration HandOffTime() const { return handOffTime_; }

private:
    const QObject* gateway_ = nullptr;
    long handOffs_ = 0;  // GUI thread only
    Clock::duration handOffTime_{};
};

// The worst lateness of a 1 ms timer: how much later than 1 ms after the previous tick a tick came.
class LatencyMeter {
public:
    LatencyMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            if (ticks_ > 0) {
                worst_ = std::max(worst_, now - (previous_ + std::chrono::milliseconds{1}));
            }
            previous_ = now;
            ++ticks_;
        });
    }

    void Start() {
        ticks_ = 0;
        worst_ = {};
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    [[nodiscard]] Clock::duration Worst() const { return worst_; }
    [[nodiscard]] long Ticks() const { return ticks_; }

private:
    QTimer timer_;
    Clock::time_point previous_;
    Clock::duration worst_{};
    long ticks_ = 0;
};

struct RunResult {
    double pollMs = 0;
    double guiLatencyMaxMs = 0;
    long latencyTicks = 0;
    long handOffs = 0;
    double handOffGuiUs = 0;  // GUI-thread time per hand-off
};

// The rows a finished poll must leave: one per server, in file order, every one online.
[[nodiscard]] bool CheckRows(MainWindow& window, int servers) {
    QTreeWidget* list = window.ServerList();
    if (list->topLevelItemCount() != servers) {
        std::fprintf(stderr, "poll_bench: the list has %d rows, expected %d\n", list->topLevelItemCount(), servers);
        return false;
    }
    const QString online = ToQString(Texts().online);
    for (int i = 0; i < servers; ++i) {
        const QTreeWidgetItem* row = list->topLevelItem(i);
        if (row->text(0) != QString::fromStdString(Name(i)) || row->text(1) != online ||
            !row->text(2).endsWith(QStringLiteral(" ms"))) {
            std::fprintf(stderr, "poll_bench: row %d reads '%s' '%s' '%s' (host %s)\n", i,
                         row->text(0).toStdString().c_str(), row->text(1).toStdString().c_str(),
                         row->text(2).toStdString().c_str(), Address(i).c_str());
            return false;
        }
    }
    if (!window.LogBox()->toPlainText().isEmpty()) {
        std::fprintf(stderr, "poll_bench: the offline log is not empty\n");
        return false;
    }
    return true;
}

// One poll on a worker thread, as a timer tick would start it, while the GUI thread runs its loop.
[[nodiscard]] RunResult RunOnePoll(BenchApplication& app, PollCycle& cycle) {
    LatencyMeter meter;
    QEventLoop loop;
    app.ResetCounts();
    meter.Start();

    Clock::time_point end;
    const Clock::time_point start = Clock::now();
    std::thread worker([&] {
        pthread_setname_np(pthread_self(), "poll worker");  // tells the threads apart in perf and strace
        cycle.PollServers();
        end = Clock::now();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    meter.Stop();

    RunResult result;
    result.pollMs = Milliseconds(end - start);
    result.guiLatencyMaxMs = Milliseconds(meter.Worst());
    result.latencyTicks = meter.Ticks();
    result.handOffs = app.HandOffs();
    result.handOffGuiUs = result.handOffs > 0 ? Milliseconds(app.HandOffTime()) * 1000.0 / result.handOffs : 0;
    return result;
}

[[nodiscard]] double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

[[nodiscard]] bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--addresses") == 0) {
            options.printAddresses = true;
        } else if (std::strcmp(argv[i], "--servers") == 0 && hasValue) {
            options.servers = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--runs") == 0 && hasValue) {
            options.runs = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return options.servers >= 1 && options.servers <= kMaxServers && options.runs >= 1;
}

int Bench(BenchApplication& app, const Options& options) {
    if (!SystemEchoService().EchoPermitted()) {
        std::fprintf(stderr, "poll_bench: this process may not send pings (run as root or widen ping_group_range)\n");
        return 1;
    }

    GuiGateway gateway;
    app.Watch(&gateway);
    auto* window = new MainWindow({});
    MainWindowControls controls(gateway, window);
    PollCycle cycle(MonitorServices{controls, SystemEchoService(), SystemLocalClock()});
    ServerListText().Replace(ServerListFile(options.servers));
    window->TimeoutBox()->setText(QStringLiteral("300"));
    // Shown, so that the list lays out and paints its rows as it would on a desktop.
    window->show();
    QApplication::processEvents();

    std::vector<double> pollMs;
    double guiLatencyMaxMs = 0;
    bool rowsRight = true;
    for (int run = 1; run <= options.runs; ++run) {
        const RunResult result = RunOnePoll(app, cycle);
        QApplication::processEvents();  // let the list paint its last rows before it is checked
        const bool right = CheckRows(*window, options.servers);
        rowsRight = rowsRight && right;
        pollMs.push_back(result.pollMs);
        guiLatencyMaxMs = std::max(guiLatencyMaxMs, result.guiLatencyMaxMs);
        std::printf(
            "run %d: poll_ms=%.1f per_server_us=%.1f gui_latency_max_ms=%.2f latency_ticks=%ld hand_offs=%ld "
            "hand_offs_per_server=%.2f gui_us_per_hand_off=%.1f rows=%s\n",
            run, result.pollMs, result.pollMs * 1000.0 / options.servers, result.guiLatencyMaxMs, result.latencyTicks,
            result.handOffs, static_cast<double>(result.handOffs) / options.servers, result.handOffGuiUs,
            right ? "ok" : "WRONG");
        std::fflush(stdout);
    }
    delete window;

    std::printf("servers=%d runs=%d median_ms=%.1f best_ms=%.1f gui_latency_max_ms=%.2f\n", options.servers,
                options.runs, Median(pollMs), *std::min_element(pollMs.begin(), pollMs.end()), guiLatencyMaxMs);
    return rowsRight ? 0 : 1;
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    quorvel::Options options;
    if (!quorvel::ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: poll_bench [--servers N] [--runs N] | --addresses [--servers N]\n");
        return 2;
    }
    if (options.printAddresses) {
        for (int i = 0; i < options.servers; ++i) {
            std::printf("%s\n", quorvel::Address(i).c_str());
        }
        return 0;
    }
    // Always offscreen: figures taken on different displays would not compare.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    quorvel::BenchApplication app(argc, argv);
    quorvel::ApplyDesktopConventions();
    return quorvel::Bench(app, options);
}
