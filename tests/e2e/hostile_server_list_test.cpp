// The real program with a server list that scripts/stress generates (QUORVEL_HOSTILE_LIST names the
// file): 100 MB of random bytes, text behind a NUL byte, UTF-8, UTF-16. One poll must end, the
// program must not crash, its peak memory may grow by at most four times the file's size (plus a fixed
// allowance for the rows of the list) over what it had before Start, and it must still close at once. Garbage hosts are
// looked up, so the program runs in a network namespace of its own where every lookup fails without leaving the
// machine.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "build_config.h"
#include "child_process.h"
#include "program_watch.h"
#include "x11_windows.h"

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kCaption = "Quorvel - Larkmere";

class HostileServerList : public testing::Test {
protected:
    void SetUp() override {
        const char* list = std::getenv("QUORVEL_HOSTILE_LIST");
        if (list == nullptr) {
            GTEST_SKIP() << "QUORVEL_HOSTILE_LIST names no file; scripts/stress generates them";
        }
        source_ = list;
        if (std::getenv("DISPLAY") == nullptr || !display_.Connected()) {
            GTEST_SKIP() << "no X display";
        }
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root for a network namespace: garbage hosts must not reach a resolver";
        }
        ASSERT_TRUE(fs::is_regular_file(source_)) << source_;
        listPath_ = fs::canonical(QUORVEL_BINARY).parent_path() / "server.txt";
        fs::copy_file(source_, listPath_, fs::copy_options::overwrite_existing);
        scratch_ = fs::temp_directory_path() / ("quorvel-list-" + std::to_string(getpid()));
        fs::create_directories(scratch_);
        WriteIsolatingLauncher(scratch_ / "isolated");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!listPath_.empty()) {
            fs::remove(listPath_, ignored);
        }
        if (!scratch_.empty()) {
            fs::remove_all(scratch_, ignored);
        }
    }

    X11Display display_;
    fs::path source_;
    fs::path listPath_;
    fs::path scratch_;
};

TEST_F(HostileServerList, OnePollEndsWithBoundedMemoryAndTheWindowStillCloses) {
    const auto fileBytes = static_cast<long>(fs::file_size(listPath_));
    const auto pollLimit = std::chrono::seconds(EnvironmentCount("QUORVEL_HOSTILE_POLL_LIMIT_S", 600));
    ChildProcess program((scratch_ / "isolated").string(), "/", {std::string("QUORVEL_PROGRAM=") + QUORVEL_BINARY});
    const auto window = WaitForWindowOfProcess(program.Pid(), kCaption, 60s);
    ASSERT_NE(window, 0u) << "the window never appeared";
    std::this_thread::sleep_for(300ms);
    const long baselineKb = StatusKb(program.Pid(), "VmHWM");
    const int otherThreads = PollWorkers(program.Pid());

    // Start, keeping the interval of 30 s: exactly one poll is watched.
    TypeIntervalAndStart(display_, window, "30");
    const auto started = Clock::now();
    bool seenWorker = false;
    Clock::time_point pollStart;
    Clock::time_point pollEnd;
    long peakKb = baselineKb;
    for (;;) {
        ASSERT_TRUE(program.Running()) << "the program ended during the poll, signal " << program.Signal();
        peakKb = std::max(peakKb, StatusKb(program.Pid(), "VmHWM"));
        const int workers = PollWorkers(program.Pid()) - otherThreads;
        const auto now = Clock::now();
        if (workers > 0 && !seenWorker) {
            seenWorker = true;
            pollStart = now;
        }
        // A list of a few lines is probed faster than this loop looks; after 4 s its poll is over.
        if (workers == 0 && (seenWorker || now - started > 4s)) {
            pollEnd = now;
            break;
        }
        ASSERT_LT(now - started, pollLimit) << "the poll had not ended";
        std::this_thread::sleep_for(5ms);
    }
    const double pollMs = seenWorker ? MillisecondsBetween(pollStart, pollEnd) : 0.0;

    display_.RequestClose(window);
    const auto closed = Clock::now();
    const std::optional<int> exitCode = program.WaitForExit(10s);
    const double exitMs = MillisecondsBetween(closed, Clock::now());
    EXPECT_EQ(exitCode, 0) << "signal " << program.Signal();
    EXPECT_LE(exitMs, 1000.0);

    // Four times the file, plus what the window's rows cost whatever the file: about 0.9 kB each, so
    // 32 MB holds the rows of some 35,000 servers.
    const long growthKb = peakKb - baselineKb;
    constexpr long kRowsAllowance = 32L << 20;
    EXPECT_LE(growthKb * 1024, 4 * fileBytes + kRowsAllowance) << "peak memory grew by more than four times the file";
    std::printf(
        "hostile list %s: bytes=%ld poll_ms=%.0f poll_seen=%s vmhwm_before_start_kb=%ld vmhwm_kb=%ld "
        "growth_per_file_byte=%.2f exit_ms=%.0f\n",
        source_.filename().c_str(), fileBytes, pollMs, seenWorker ? "yes" : "no", baselineKb, peakKb,
        fileBytes > 0 ? static_cast<double>(growthKb) * 1024 / static_cast<double>(fileBytes) : 0.0, exitMs);
}

}  // namespace
}  // namespace quorvel::test
