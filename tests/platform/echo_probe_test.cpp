#include "platform/echo_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <iostream>
#include <string>

#include "platform/icmp_socket.h"

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

struct Timed {
    std::int32_t result;
    std::chrono::milliseconds elapsed;
};

Timed TimedProbe(const std::string& host, std::int32_t timeoutMs) {
    const Clock::time_point start = Clock::now();
    const std::int32_t result = SystemEchoService().EchoProbe(host, timeoutMs);
    return {result, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)};
}

// Real echoes to this machine's own loopback address.
class SystemEchoTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SystemEchoService().EchoPermitted()) {
            GTEST_SKIP() << "this process may open no ICMP socket: run as root or widen "
                            "net.ipv4.ping_group_range to include its group";
        }
    }
};

TEST_F(SystemEchoTest, LoopbackAnswersWithinAMillisecondOrSo) {
    for (const char* host : {"127.0.0.1", "127.1", "0x7f.1", "localhost"}) {
        SCOPED_TRACE(host);
        const Timed probe = TimedProbe(host, 1000);
        EXPECT_GE(probe.result, 0);
        EXPECT_LE(probe.result, 100);
    }
}

TEST_F(SystemEchoTest, HostsThatCannotBeResolvedFailWithoutWaiting) {
    std::string garbage(10240, ' ');
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<char>(1 + (i * 53 + 7) % 255);
    }
    for (const std::string& host : {std::string{}, std::string{"no such host"}, std::string(300, 'x'), garbage}) {
        SCOPED_TRACE(host.substr(0, 40));
        const Timed probe = TimedProbe(host, 5000);
        EXPECT_EQ(probe.result, -1);
        EXPECT_LT(probe.elapsed.count(), 1000) << "a failed lookup must not wait for a reply";
    }
}

TEST_F(SystemEchoTest, TimeoutsOfZeroOrLessNeverWait) {
    for (const std::int32_t timeout : {0, -1, -300, INT32_MIN}) {
        SCOPED_TRACE(timeout);
        const Timed probe = TimedProbe("127.0.0.1", timeout);
        // Loopback usually queues the reply before the send returns; then it still counts.
        EXPECT_TRUE(probe.result == -1 || probe.result == 0) << probe.result;
        EXPECT_LT(probe.elapsed.count(), 100);
    }
}

TEST_F(SystemEchoTest, KindChoiceIsStable) {
    const std::optional<icmp::SocketKind> kind = icmp::ProcessSocketKind();
    ASSERT_TRUE(kind.has_value());
    EXPECT_EQ(icmp::ProcessSocketKind(), kind);
    std::cout << "[          ] this process probes with a "
              << (*kind == icmp::SocketKind::kDatagram ? "datagram" : "raw") << " ICMP socket\n";
}

// Per-probe cost on loopback; run by hand with --gtest_also_run_disabled_tests.
TEST_F(SystemEchoTest, DISABLED_PerProbeTimeOnLoopback) {
    constexpr int kProbes = 1000;
    int answered = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kProbes; ++i) {
        answered += SystemEchoService().EchoProbe("127.0.0.1", 300) >= 0 ? 1 : 0;
    }
    const auto total = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    std::cout << "[          ] " << kProbes << " probes of 127.0.0.1: " << total.count() / kProbes << " us per probe, "
              << answered << " answered\n";
    EXPECT_EQ(answered, kProbes);
}

}  // namespace
}  // namespace quorvel
