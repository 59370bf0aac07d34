#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "build_config.h"
#include "child_process.h"
#include "common/gbk.h"
#include "real_program.h"
#include "x11_windows.h"

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kCaption = "Quorvel - Larkmere";
// 按钮1 spans x 276..321, y 4..28 of the client area.
constexpr int kButtonX = 298;
constexpr int kButtonY = 16;
// Enough loopback hosts that one poll lasts well beyond the close. They lie in 127.83.0.0/16, which
// other tests leave alone, so that only this program's probes are counted.
constexpr int kServers = 20000;
constexpr int kHostsPerBlock = 254;
constexpr std::uint32_t kListNetwork = 0x7F53;  // 127.83

std::int64_t Milliseconds(Clock::duration span) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(span).count();
}

// Echo requests on loopback as a raw ICMP socket sees them: each of the program's probes passes
// through it, which shows when polling begins and that it is still going on.
class EchoRequestWatch {
public:
    EchoRequestWatch() : socket_(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP)) {}
    EchoRequestWatch(const EchoRequestWatch&) = delete;
    EchoRequestWatch& operator=(const EchoRequestWatch&) = delete;
    ~EchoRequestWatch() {
        if (socket_ >= 0) {
            close(socket_);
        }
    }

    [[nodiscard]] bool Open() const { return socket_ >= 0; }

    struct Seen {
        int count = 0;
        std::optional<Clock::time_point> first;
        std::optional<Clock::time_point> last;
    };

    // Echo requests to the listed hosts until the deadline.
    Seen Until(Clock::time_point deadline) {
        Seen seen;
        while (Clock::now() < deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd ready{socket_, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            unsigned char packet[1500];
            const ssize_t got = recv(socket_, packet, sizeof packet, 0);
            if (got > 0 && IsListedEchoRequest(packet, static_cast<std::size_t>(got))) {
                const auto now = Clock::now();
                ++seen.count;
                seen.first = seen.first.value_or(now);
                seen.last = now;
            }
        }
        return seen;
    }

private:
    static bool IsListedEchoRequest(const unsigned char* packet, std::size_t size) {
        if (size < sizeof(ip)) {
            return false;
        }
        ip header{};
        std::memcpy(&header, packet, sizeof header);
        const std::size_t headerSize = header.ip_hl * 4u;
        const std::uint32_t destination = ntohl(header.ip_dst.s_addr);
        return size >= headerSize + ICMP_MINLEN && packet[headerSize] == ICMP_ECHO &&
               (destination >> 16) == kListNetwork && ((destination >> 8) & 0xFF) <= kServers / kHostsPerBlock;
    }

    int socket_;
};

// The real program with a server list so long that a poll is still probing when the window closes.
class MonitoringAtClose : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = ReasonNotToStartTheProgram(display_); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        ASSERT_TRUE(fs::exists(QUORVEL_BINARY));
        listPath_ = fs::canonical(QUORVEL_BINARY).parent_path() / "server.txt";
        std::ofstream list(listPath_, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < kServers; ++i) {
            list << (i == 0 ? "" : "\r\n") << Utf8ToGbk("服务器") << i << "=127.83." << i / kHostsPerBlock << '.'
                 << i % kHostsPerBlock + 1;
        }
    }
    void TearDown() override {
        if (!listPath_.empty()) {
            std::error_code ignored;
            fs::remove(listPath_, ignored);
        }
    }

    X11Display display_;
    fs::path listPath_;
};

TEST_F(MonitoringAtClose, ClosingInTheMiddleOfAPollEndsWithZeroAtOnce) {
    EchoRequestWatch watch;
    ChildProcess program(QUORVEL_BINARY, "/");
    const auto window = display_.WaitForViewableWindow(kCaption, 10s);
    ASSERT_NE(window, 0u) << "the window never appeared";

    display_.Click(window, kButtonX, kButtonY);
    const auto started = Clock::now();
    const auto closing = started + 3500ms;
    if (watch.Open()) {
        const EchoRequestWatch::Seen seen = watch.Until(closing);
        ASSERT_TRUE(seen.first.has_value()) << "no echo request within 3.5 s of the Start click";
        RecordProperty("echo_requests_before_close", seen.count);
        RecordProperty("first_request_ms", static_cast<int>(Milliseconds(*seen.first - started)));
        EXPECT_GE(*seen.first - started, 2900ms) << "the first poll came early";
        EXPECT_LT(seen.count, kServers) << "the poll ended before the close";
        EXPECT_LT(closing - *seen.last, 200ms) << "probing had stopped before the close";
    } else {
        std::this_thread::sleep_until(closing);  // no CAP_NET_RAW: the close is still tested
    }

    display_.RequestClose(window);
    const auto closed = Clock::now();
    EXPECT_EQ(program.WaitForExit(2s), 0) << "not ended with 0 within 2 s; signal " << program.Signal();
    RecordProperty(
        "exit_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - closed).count()));
}

}  // namespace
}  // namespace quorvel::test
