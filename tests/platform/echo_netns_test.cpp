// Echo probes inside network namespaces that each test makes for itself: a host that stays silent,
// a loopback that is down and a host that answers with everything but our reply. Nothing here
// reaches the machine's own network.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/icmp.h>
#include <linux/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "icmp_packets.h"
#include "platform/icmp_socket.h"

namespace quorvel::test {
namespace {

using Clock = std::chrono::steady_clock;
using icmp::SocketKind;

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

bool WriteSysctl(const char* path, const std::string& value) {
    const Descriptor file{::open(path, O_WRONLY | O_CLOEXEC)};
    return file.get() >= 0 && ::write(file.get(), value.data(), value.size()) == static_cast<ssize_t>(value.size());
}

bool BringLoopbackUp() {
    const Descriptor control{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (control.get() < 0 || ::ioctl(control.get(), SIOCGIFFLAGS, &request) != 0) {
        return false;
    }
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    return ::ioctl(control.get(), SIOCSIFFLAGS, &request) == 0;
}

struct NetworkSetup {
    bool loopbackUp = true;
    bool ignoreEchoRequests = false;
};

struct SetupOutcome {
    std::string skipReason;
    std::string failure;
};

// Runs body on a thread of its own that has moved into a new, empty network namespace (the network
// namespace belongs to the thread, and threads it starts inherit it). The namespace's settings allow
// ICMP sockets of the given kind: datagram sockets through net.ipv4.ping_group_range, raw sockets by
// root's CAP_NET_RAW; leaving ping_group_range at "1 0" keeps the datagram kind out of reach.
SetupOutcome RunInFreshNetwork(SocketKind kind, const NetworkSetup& setup, const std::function<void()>& body) {
    SetupOutcome outcome;
    std::thread worker([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            outcome.skipReason = ErrnoText("cannot create a network namespace (needs root)");
            return;
        }
        if (setup.loopbackUp && !BringLoopbackUp()) {
            outcome.failure = ErrnoText("cannot bring lo up");
            return;
        }
        const char* pingGroups = kind == SocketKind::kDatagram ? "0 2147483647" : "1 0";
        if (!WriteSysctl("/proc/sys/net/ipv4/ping_group_range", pingGroups) ||
            !WriteSysctl("/proc/sys/net/ipv4/icmp_echo_ignore_all", setup.ignoreEchoRequests ? "1" : "0")) {
            outcome.failure = ErrnoText("cannot change the namespace's ICMP settings");
            return;
        }
        if (const Descriptor probe{icmp::OpenIcmpSocket(kind)}; probe.get() < 0) {
            outcome.skipReason = ErrnoText("cannot open an ICMP socket of this kind");
            return;
        }
        body();
    });
    worker.join();
    return outcome;
}

struct Timed {
    std::int32_t result = -2;
    double elapsedMs = -1;
};

Timed TimedProbe(SocketKind kind, std::uint32_t address, std::int32_t timeoutMs) {
    const Clock::time_point start = Clock::now();
    Timed timed;
    timed.result = icmp::ProbeAddress(kind, address, timeoutMs);
    timed.elapsedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return timed;
}

const char* KindName(SocketKind kind) {
    return kind == SocketKind::kDatagram ? "datagram" : "raw";
}

// Waits for one echo request to 127.0.0.2 and answers it with a burst of everything a careless probe
// might take for its reply: error reports quoting the request, replies with the wrong sequence,
// identifier or code, a reply from another address, an echo request. Then, if asked to, the real reply
// follows after a pause. Run it with the kernel's own echo replies switched off.
class NoisyHost {
public:
    explicit NoisyHost(std::optional<std::chrono::milliseconds> replyAfter)
        : replyAfter_(replyAfter),
          listener_(RawSocket()),
          asTarget_(RawSocketBoundTo(Loopback(2))),
          asStranger_(RawSocketBoundTo(Loopback(3))) {
        if (listener_.get() >= 0) {
            icmp_filter onlyRequests{~(1U << ICMP_ECHO)};
            (void)::setsockopt(listener_.get(), SOL_RAW, ICMP_FILTER, &onlyRequests, sizeof onlyRequests);
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~NoisyHost() { thread_.join(); }
    NoisyHost(const NoisyHost&) = delete;
    NoisyHost& operator=(const NoisyHost&) = delete;

    [[nodiscard]] bool Ready() const { return listener_.get() >= 0 && asTarget_.get() >= 0 && asStranger_.get() >= 0; }
    [[nodiscard]] bool SawRequest() const { return sawRequest_.load(); }

private:
    static int RawSocket() { return ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP); }

    static int RawSocketBoundTo(std::uint32_t address) {
        const int fd = RawSocket();
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = address;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    static void Send(const Descriptor& from, std::uint32_t to, const std::vector<std::byte>& message) {
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_addr.s_addr = to;
        (void)::sendto(from.get(), message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&destination),
                       sizeof destination);
    }

    void Serve() {
        if (!Ready()) {
            return;
        }
        std::vector<std::byte> request(128);
        const Clock::time_point giveUp = Clock::now() + std::chrono::seconds{3};
        for (;;) {
            pollfd readable{listener_.get(), POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now());
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
                return;
            }
            const ssize_t size = ::recv(listener_.get(), request.data(), request.size(), 0);
            if (size < 28) {
                continue;
            }
            std::uint32_t destination = 0;
            std::memcpy(&destination, &request[16], 4);
            const std::size_t headerSize = (std::to_integer<std::size_t>(request[0]) & 0x0F) * 4;
            if (destination == Loopback(2) && std::to_integer<std::uint8_t>(request[headerSize]) == kEchoRequest &&
                static_cast<std::size_t>(size) >= headerSize + 8) {
                request.resize(static_cast<std::size_t>(size));
                break;
            }
        }
        sawRequest_ = true;
        std::uint32_t prober = 0;
        std::memcpy(&prober, &request[12], 4);
        const std::size_t headerSize = (std::to_integer<std::size_t>(request[0]) & 0x0F) * 4;
        const std::uint16_t identifier = BigEndian16At(request, headerSize + 4);
        const std::uint16_t sequence = BigEndian16At(request, headerSize + 6);

        Send(asTarget_, prober, ErrorReport(kDestinationUnreachable, 1, request));
        Send(asTarget_, prober, ErrorReport(kTimeExceeded, 0, request));
        Send(asTarget_, prober, IcmpMessage(kEchoReply, 0, identifier, static_cast<std::uint16_t>(sequence + 1)));
        Send(asTarget_, prober, IcmpMessage(kEchoReply, 0, identifier ^ 0x5555, sequence));
        Send(asTarget_, prober, IcmpMessage(kEchoReply, 1, identifier, sequence));
        Send(asTarget_, prober, IcmpMessage(kEchoRequest, 0, identifier, sequence));
        Send(asStranger_, prober, IcmpMessage(kEchoReply, 0, identifier, sequence));
        if (replyAfter_) {
            std::this_thread::sleep_for(*replyAfter_);
            Send(asTarget_, prober, IcmpMessage(kEchoReply, 0, identifier, sequence));
        }
    }

    std::optional<std::chrono::milliseconds> replyAfter_;
    Descriptor listener_;
    Descriptor asTarget_;
    Descriptor asStranger_;
    std::atomic<bool> sawRequest_{false};
    std::thread thread_;
};

class NamespaceEchoTest : public ::testing::TestWithParam<SocketKind> {
protected:
    // Runs body in a fresh namespace; skips the test where namespaces are not allowed.
    void InFreshNetwork(const NetworkSetup& setup, const std::function<void()>& body) {
        const SetupOutcome outcome = RunInFreshNetwork(GetParam(), setup, body);
        if (!outcome.skipReason.empty()) {
            GTEST_SKIP() << outcome.skipReason;
        }
        ASSERT_TRUE(outcome.failure.empty()) << outcome.failure;
    }

    void Report(const std::string& what, double elapsedMs) {
        std::cout << "[          ] " << KindName(GetParam()) << " socket, " << what << ": " << elapsedMs << " ms\n";
        RecordProperty(what, std::to_string(elapsedMs));
    }
};

TEST_P(NamespaceEchoTest, LoopbackAnswers) {
    std::vector<Timed> probes;
    InFreshNetwork({}, [&] {
        for (const std::uint8_t host : {1, 2}) {
            probes.push_back(TimedProbe(GetParam(), Loopback(host), 1000));
        }
    });
    for (const Timed& probe : probes) {
        EXPECT_GE(probe.result, 0);
        EXPECT_LE(probe.result, 100);
    }
}

TEST_P(NamespaceEchoTest, SilentHostTakesTheWholeTimeout) {
    // A wait that is cut short or rounded up shows in every attempt; a late wake-up on a busy machine
    // does not, so one attempt within the bound is enough.
    constexpr int kAttempts = 3;
    std::vector<Timed> probes;
    InFreshNetwork({.ignoreEchoRequests = true}, [&] {
        while (probes.size() < kAttempts && (probes.empty() || probes.back().elapsedMs > 205.0)) {
            probes.push_back(TimedProbe(GetParam(), Loopback(1), 200));
        }
    });
    if (IsSkipped()) {
        return;
    }
    for (const Timed& probe : probes) {
        Report("silent host, 200 ms timeout", probe.elapsedMs);
        EXPECT_EQ(probe.result, -1);
        EXPECT_GE(probe.elapsedMs, 200.0);
    }
    ASSERT_FALSE(probes.empty());
    EXPECT_LE(probes.back().elapsedMs, 205.0);
}

TEST_P(NamespaceEchoTest, TimeoutsOfZeroOrLessDoNotWait) {
    std::vector<std::pair<std::int32_t, Timed>> probes;
    InFreshNetwork({.ignoreEchoRequests = true}, [&] {
        for (const std::int32_t timeout : {0, -1, -300, INT32_MIN}) {
            probes.emplace_back(timeout, TimedProbe(GetParam(), Loopback(1), timeout));
        }
    });
    for (const auto& [timeout, probe] : probes) {
        SCOPED_TRACE(timeout);
        EXPECT_EQ(probe.result, -1);
        EXPECT_LT(probe.elapsedMs, 20.0);
    }
}

TEST_P(NamespaceEchoTest, LoopbackDownFailsAtOnce) {
    Timed probe;
    InFreshNetwork({.loopbackUp = false}, [&] { probe = TimedProbe(GetParam(), Loopback(1), 1000); });
    if (IsSkipped()) {
        return;
    }
    Report("loopback down, 1000 ms timeout", probe.elapsedMs);
    EXPECT_EQ(probe.result, -1);
    EXPECT_LT(probe.elapsedMs, 100.0) << "a request that cannot be sent must not wait for a reply";
}

TEST_P(NamespaceEchoTest, NothingButTheRealReplyCounts) {
    Timed probe;
    bool sawRequest = false;
    InFreshNetwork({.ignoreEchoRequests = true}, [&] {
        NoisyHost host{std::nullopt};
        ASSERT_TRUE(host.Ready()) << ErrnoText("cannot open the noisy host's sockets");
        probe = TimedProbe(GetParam(), Loopback(2), 150);
        sawRequest = host.SawRequest();
    });
    if (IsSkipped()) {
        return;
    }
    EXPECT_TRUE(sawRequest);
    EXPECT_EQ(probe.result, -1);
    EXPECT_GE(probe.elapsedMs, 150.0);
}

TEST_P(NamespaceEchoTest, RealReplyAfterNoiseCounts) {
    Timed probe;
    InFreshNetwork({.ignoreEchoRequests = true}, [&] {
        NoisyHost host{std::chrono::milliseconds{30}};
        ASSERT_TRUE(host.Ready()) << ErrnoText("cannot open the noisy host's sockets");
        probe = TimedProbe(GetParam(), Loopback(2), 1000);
    });
    if (IsSkipped()) {
        return;
    }
    EXPECT_GE(probe.result, 30) << "the round trip is that of the real reply, not of the noise before it";
    EXPECT_LT(probe.result, 500);
}

// Raw sockets see each other's replies, and concurrent probes share the process's identifier.
TEST_P(NamespaceEchoTest, ConcurrentProbesEachTakeTheirOwnReply) {
    constexpr int kThreads = 4;
    constexpr int kProbesEach = 1000;
    std::atomic<int> unanswered{0};
    InFreshNetwork({}, [&] {
        std::vector<std::thread> probers;
        for (int t = 0; t < kThreads; ++t) {
            probers.emplace_back([&] {
                for (int i = 0; i < kProbesEach; ++i) {
                    if (icmp::ProbeAddress(GetParam(), Loopback(1), 2000) < 0) {
                        ++unanswered;
                    }
                }
            });
        }
        for (std::thread& prober : probers) {
            prober.join();
        }
    });
    EXPECT_EQ(unanswered.load(), 0);
}

// Per-probe cost on loopback; run by hand with --gtest_also_run_disabled_tests.
TEST_P(NamespaceEchoTest, DISABLED_PerProbeTimeOnLoopback) {
    constexpr int kProbes = 1000;
    int answered = 0;
    double totalMs = 0;
    InFreshNetwork({}, [&] {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < kProbes; ++i) {
            answered += icmp::ProbeAddress(GetParam(), Loopback(1), 300) >= 0 ? 1 : 0;
        }
        totalMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    });
    if (IsSkipped()) {
        return;
    }
    Report("mean of 1000 loopback probes", totalMs / kProbes);
    EXPECT_EQ(answered, kProbes);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, NamespaceEchoTest, ::testing::Values(SocketKind::kDatagram, SocketKind::kRaw),
                         [](const ::testing::TestParamInfo<SocketKind>& info) {
                             return std::string{info.param == SocketKind::kDatagram ? "Datagram" : "Raw"};
                         });

}  // namespace
}  // namespace quorvel::test
