#pragma once

// Hand-built IPv4 and ICMP packets for the echo tests.

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/icmp_socket.h"

namespace quorvel::test {

inline constexpr std::uint8_t kEchoReply = 0;
inline constexpr std::uint8_t kDestinationUnreachable = 3;
inline constexpr std::uint8_t kEchoRequest = 8;
inline constexpr std::uint8_t kTimeExceeded = 11;

inline void PutBigEndian16(std::vector<std::byte>& packet, std::size_t offset, std::uint16_t value) {
    packet[offset] = static_cast<std::byte>(value >> 8);
    packet[offset + 1] = static_cast<std::byte>(value & 0xFF);
}

inline std::uint16_t BigEndian16At(const std::vector<std::byte>& packet, std::size_t offset) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(packet[offset]) << 8 |
                                      std::to_integer<unsigned>(packet[offset + 1]));
}

// An ICMP message with a valid checksum: type, code, then identifier and sequence (for echo messages)
// or the unused word (for error reports), then body.
inline std::vector<std::byte> IcmpMessage(std::uint8_t type, std::uint8_t code, std::uint16_t identifier,
                                          std::uint16_t sequence, const std::vector<std::byte>& body = {}) {
    std::vector<std::byte> message(8);
    message[0] = static_cast<std::byte>(type);
    message[1] = static_cast<std::byte>(code);
    PutBigEndian16(message, 4, identifier);
    PutBigEndian16(message, 6, sequence);
    message.insert(message.end(), body.begin(), body.end());
    const std::uint16_t checksum = icmp::InternetChecksum(message);
    std::memcpy(&message[2], &checksum, sizeof checksum);
    return message;
}

// An IPv4 header (with optionWords 32-bit words of options) carrying payload as ICMP.
inline std::vector<std::byte> IpPacket(std::uint32_t source, std::uint32_t destination,
                                       const std::vector<std::byte>& payload, std::size_t optionWords = 0) {
    const std::size_t headerSize = 20 + 4 * optionWords;
    std::vector<std::byte> packet(headerSize);
    packet[0] = static_cast<std::byte>(0x40 | (headerSize / 4));
    PutBigEndian16(packet, 2, static_cast<std::uint16_t>(headerSize + payload.size()));
    packet[8] = std::byte{64};  // time to live
    packet[9] = std::byte{1};   // ICMP
    std::memcpy(&packet[12], &source, 4);
    std::memcpy(&packet[16], &destination, 4);
    for (std::size_t i = 20; i < headerSize; ++i) {
        packet[i] = std::byte{1};  // no-operation option
    }
    const std::uint16_t checksum = icmp::InternetChecksum(packet);
    std::memcpy(&packet[10], &checksum, sizeof checksum);
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

// An error report about request (the whole IP packet of an echo request), quoting its IP header and
// first eight bytes as routers do.
inline std::vector<std::byte> ErrorReport(std::uint8_t type, std::uint8_t code, const std::vector<std::byte>& request) {
    const std::size_t headerSize = (std::to_integer<std::size_t>(request[0]) & 0x0F) * 4;
    const std::vector<std::byte> quoted(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(headerSize + 8));
    return IcmpMessage(type, code, 0, 0, quoted);
}

inline std::uint32_t Loopback(std::uint8_t last) {
    return htonl(0x7F000000U | last);
}

}  // namespace quorvel::test
