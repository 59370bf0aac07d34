#include "platform/icmp_socket.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>

namespace quorvel::icmp {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kEchoReplyType = 0;
constexpr std::uint8_t kEchoRequestType = 8;
constexpr std::size_t kEchoHeaderSize = 8;
constexpr std::size_t kMinIpHeaderSize = 20;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] int get() const noexcept { return fd_; }

private:
    int fd_;
};

[[nodiscard]] std::uint8_t ByteAt(std::span<const std::byte> data, std::size_t offset) {
    return std::to_integer<std::uint8_t>(data[offset]);
}

[[nodiscard]] std::uint16_t BigEndian16At(std::span<const std::byte> data, std::size_t offset) {
    return static_cast<std::uint16_t>(ByteAt(data, offset) << 8 | ByteAt(data, offset + 1));
}

void PutBigEndian16(std::span<std::byte> data, std::size_t offset, std::uint16_t value) {
    data[offset] = static_cast<std::byte>(value >> 8);
    data[offset + 1] = static_cast<std::byte>(value & 0xFF);
}

// Raw sockets see every ICMP packet of the host, so several probes of this process may be waiting at
// once; a process-wide sequence keeps their requests apart (the identifier is the same for all).
std::atomic<std::uint16_t> nextSequence{0};

enum class Decision { kUndecided, kDatagram, kRaw, kNeither };

std::atomic<Decision> processDecision{Decision::kUndecided};
std::mutex decisionMutex;

// Failures that will not go away while the process runs: the system or its settings refuse us this
// kind of socket. Anything else (out of descriptors or memory) is worth another try at the next probe.
[[nodiscard]] bool IsLastingRefusal(int error) {
    return error == EACCES || error == EPERM || error == EPROTONOSUPPORT || error == EAFNOSUPPORT ||
           error == ESOCKTNOSUPPORT || error == EINVAL;
}

[[nodiscard]] Decision Decide() {
    // The datagram kind needs no privilege and sees only our own replies, so it wins whenever the
    // system lets us have it; a passing shortage must not push the process onto raw sockets for good.
    if (const FileDescriptor datagram{OpenIcmpSocket(SocketKind::kDatagram)}; datagram.get() >= 0) {
        return Decision::kDatagram;
    }
    if (!IsLastingRefusal(errno)) {
        return Decision::kUndecided;
    }
    if (const FileDescriptor raw{OpenIcmpSocket(SocketKind::kRaw)}; raw.get() >= 0) {
        return Decision::kRaw;
    }
    return IsLastingRefusal(errno) ? Decision::kNeither : Decision::kUndecided;
}

[[nodiscard]] std::int32_t WholeMilliseconds(Clock::duration elapsed) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<std::int32_t>(std::clamp<decltype(ms)>(ms, 0, INT32_MAX));
}

// What is left of the wait, or nothing once the deadline has passed.
[[nodiscard]] std::optional<timespec> TimeLeft(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return std::nullopt;
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

[[nodiscard]] constexpr sock_filter Statement(std::uint16_t code, std::uint32_t operand) {
    return sock_filter{code, 0, 0, operand};
}

[[nodiscard]] constexpr sock_filter JumpUnlessEqual(std::uint32_t operand, std::uint8_t skip) {
    return sock_filter{BPF_JMP | BPF_JEQ | BPF_K, 0, skip, operand};
}

// A raw socket queues every echo reply that reaches the host until we read it. While this thread is held
// up between opening the socket and sending (a busy machine, other probes running), replies to others
// could fill the queue so that ours is dropped. The kernel is therefore told to keep nothing but our
// reply, and whatever slipped in before the filter was in place is thrown away.
void KeepOnlyOurReply(int fd, const ExpectedReply& expected) {
    // Jumps count the instructions they skip; all failed tests land on the last one.
    // clang-format off
    std::array<sock_filter, 13> program = {{
        Statement(BPF_LDX | BPF_B | BPF_MSH, 0),      // X = length of the IP header
        Statement(BPF_LD | BPF_B | BPF_IND, 0),       // ICMP type
        JumpUnlessEqual(kEchoReplyType, 9),
        Statement(BPF_LD | BPF_B | BPF_IND, 1),       // ICMP code
        JumpUnlessEqual(0, 7),
        Statement(BPF_LD | BPF_H | BPF_IND, 4),       // identifier
        JumpUnlessEqual(expected.identifier, 5),
        Statement(BPF_LD | BPF_H | BPF_IND, 6),       // sequence
        JumpUnlessEqual(expected.sequence, 3),
        Statement(BPF_LD | BPF_W | BPF_ABS, 12),      // IP source address
        JumpUnlessEqual(ntohl(expected.address), 1),
        Statement(BPF_RET | BPF_K, 0xFFFF),           // keep
        Statement(BPF_RET | BPF_K, 0),                // drop
    }};
    // clang-format on
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    if (::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &filter, sizeof filter) != 0) {
        // Without it, at least keep other kinds of ICMP traffic out.
        icmp_filter onlyReplies{~(1U << ICMP_ECHOREPLY)};
        (void)::setsockopt(fd, SOL_RAW, ICMP_FILTER, &onlyReplies, sizeof onlyReplies);
    }
    std::byte discarded{};
    while (::recv(fd, &discarded, 1, 0) >= 0 || errno == EINTR) {
    }
}

}  // namespace

int OpenIcmpSocket(SocketKind kind) {
    const int type = kind == SocketKind::kDatagram ? SOCK_DGRAM : SOCK_RAW;
    return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
}

std::optional<SocketKind> ProcessSocketKind() {
    Decision decision = processDecision.load(std::memory_order_acquire);
    if (decision == Decision::kUndecided) {
        const std::lock_guard lock{decisionMutex};
        decision = processDecision.load(std::memory_order_relaxed);
        if (decision == Decision::kUndecided) {
            decision = Decide();
            processDecision.store(decision, std::memory_order_release);
        }
    }
    switch (decision) {
        case Decision::kDatagram:
            return SocketKind::kDatagram;
        case Decision::kRaw:
            return SocketKind::kRaw;
        case Decision::kNeither:
        case Decision::kUndecided:
            break;
    }
    return std::nullopt;
}

std::uint16_t InternetChecksum(std::span<const std::byte> data) {
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < data.size(); i += 2) {
        sum += BigEndian16At(data, i);
    }
    if (i < data.size()) {
        sum += static_cast<std::uint32_t>(ByteAt(data, i)) << 8;
    }
    while (sum >> 16 != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return htons(static_cast<std::uint16_t>(~sum & 0xFFFF));
}

bool IsExpectedReply(std::span<const std::byte> datagram, SocketKind kind, std::uint32_t source,
                     const ExpectedReply& expected) {
    if (source != expected.address) {
        return false;
    }
    std::span<const std::byte> message = datagram;
    if (kind == SocketKind::kRaw) {
        if (datagram.size() < kMinIpHeaderSize || ByteAt(datagram, 0) >> 4 != 4) {
            return false;
        }
        const std::size_t headerSize = static_cast<std::size_t>(ByteAt(datagram, 0) & 0x0F) * 4;
        if (headerSize < kMinIpHeaderSize || headerSize > datagram.size()) {
            return false;
        }
        message = datagram.subspan(headerSize);
    }
    if (message.size() < kEchoHeaderSize || ByteAt(message, 0) != kEchoReplyType || ByteAt(message, 1) != 0) {
        return false;
    }
    if (expected.checkIdentifier && BigEndian16At(message, 4) != expected.identifier) {
        return false;
    }
    return BigEndian16At(message, 6) == expected.sequence;
}

std::int32_t ProbeAddress(SocketKind kind, std::uint32_t address, std::int32_t timeoutMs) {
    const FileDescriptor socket{OpenIcmpSocket(kind)};
    if (socket.get() < 0) {
        return -1;
    }

    const ExpectedReply expected{
        .address = address,
        // A datagram socket puts its own "port" here whatever we send.
        .identifier = kind == SocketKind::kRaw ? static_cast<std::uint16_t>(::getpid() & 0xFFFF) : std::uint16_t{0},
        .sequence = nextSequence.fetch_add(1, std::memory_order_relaxed),
        .checkIdentifier = kind == SocketKind::kRaw,
    };
    if (kind == SocketKind::kRaw) {
        KeepOnlyOurReply(socket.get(), expected);
    }

    std::array<std::byte, kEchoHeaderSize> request{};
    request[0] = static_cast<std::byte>(kEchoRequestType);
    PutBigEndian16(request, 4, expected.identifier);
    PutBigEndian16(request, 6, expected.sequence);
    const std::uint16_t checksum = InternetChecksum(request);  // already in network order
    std::memcpy(&request[2], &checksum, sizeof checksum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;

    const Clock::time_point sent = Clock::now();
    const Clock::time_point deadline = sent + std::chrono::milliseconds{std::max(timeoutMs, 0)};
    while (::sendto(socket.get(), request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) < 0) {
        if (errno != EINTR) {
            return -1;  // no route (loopback down), prohibited, out of buffers: nothing went out
        }
    }

    // Room for the largest IP header and an echo header: our reply carries nothing more.
    std::array<std::byte, 60 + 16> buffer;
    for (;;) {
        // Read before waiting: on loopback the reply is usually queued before sendto returns, and a
        // timeout of 0 still takes a reply that is already there.
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t received =
            ::recvfrom(socket.get(), buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (received >= 0) {
            const Clock::time_point arrived = Clock::now();
            // A longer datagram is cut to the buffer and received is its cut length.
            const std::span<const std::byte> datagram{buffer.data(), static_cast<std::size_t>(received)};
            if (from.sin_family == AF_INET && IsExpectedReply(datagram, kind, from.sin_addr.s_addr, expected)) {
                return WholeMilliseconds(arrived - sent);
            }
            continue;
        }
        // EAGAIN: nothing queued. Any other error is a pending socket error (an ICMP error report on a
        // datagram socket), which the read has just cleared; it is not a reply, so keep waiting.
        if (errno == EINTR) {
            continue;
        }
        const std::optional<timespec> left = TimeLeft(deadline);
        if (!left) {
            return -1;
        }
        pollfd readable{socket.get(), POLLIN, 0};
        const int ready = ::ppoll(&readable, 1, &*left, nullptr);
        if (ready == 0) {
            return -1;
        }
        if (ready < 0 && errno != EINTR) {
            return -1;
        }
    }
}

}  // namespace quorvel::icmp
