#pragma once

// Inside of SystemEchoService, kept apart so tests can drive each kind of ICMP socket on its own and
// check reply matching on hand-built packets.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvel::icmp {

enum class SocketKind {
    // socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP): no privilege needed where net.ipv4.ping_group_range
    // admits our group. The kernel owns the identifier and hands us only replies to our own requests.
    kDatagram,
    // socket(AF_INET, SOCK_RAW, IPPROTO_ICMP): needs CAP_NET_RAW and receives every ICMP packet of the
    // host, IP header included.
    kRaw,
};

// A socket of that kind (non-blocking, close-on-exec), or -1 with errno set.
[[nodiscard]] int OpenIcmpSocket(SocketKind kind);

// The kind this process uses, decided at the first call that can decide it; nothing when the process
// may open neither kind. Safe to call from several threads at once.
[[nodiscard]] std::optional<SocketKind> ProcessSocketKind();

// What a received datagram must carry to be the answer to our request.
struct ExpectedReply {
    std::uint32_t address = 0;  // the probed host, network byte order
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    bool checkIdentifier = true;  // false for datagram sockets: the kernel rewrites the identifier
};

// True when datagram (as read from a socket of that kind, so with the IP header for raw sockets) is an
// echo reply (type 0, code 0) to our request and came from the probed address (source, network byte
// order). Error reports, other processes' replies and echo requests seen on loopback are not.
[[nodiscard]] bool IsExpectedReply(std::span<const std::byte> datagram, SocketKind kind, std::uint32_t source,
                                   const ExpectedReply& expected);

// The Internet checksum (RFC 1071) of data, in network byte order as it goes into the header.
[[nodiscard]] std::uint16_t InternetChecksum(std::span<const std::byte> data);

// One echo request to address (network byte order) on a socket of the given kind: the round trip in
// whole milliseconds, or -1 when no reply came within timeoutMs or nothing could be sent. A timeout of
// 0 or less only takes a reply that is already there once the request has been sent.
[[nodiscard]] std::int32_t ProbeAddress(SocketKind kind, std::uint32_t address, std::int32_t timeoutMs);

}  // namespace quorvel::icmp
