#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "icmp_packets.h"
#include "platform/icmp_socket.h"

namespace quorvel::test {
namespace {

using icmp::SocketKind;

constexpr std::uint16_t kIdentifier = 0x1234;
constexpr std::uint16_t kSequence = 0x0102;

const icmp::ExpectedReply kExpected{
    .address = Loopback(2), .identifier = kIdentifier, .sequence = kSequence, .checkIdentifier = true};

// What a raw socket reads (IP header first) and what a datagram socket reads (the ICMP message alone).
struct Received {
    std::vector<std::byte> raw;
    std::vector<std::byte> datagram;
};

Received From(std::uint32_t source, const std::vector<std::byte>& message, std::size_t optionWords = 0) {
    return {IpPacket(source, Loopback(1), message, optionWords), message};
}

std::vector<std::byte> Truncated(std::vector<std::byte> packet, std::size_t size) {
    packet.resize(size);
    return packet;
}

struct MatchCase {
    std::string what;
    std::uint32_t source;
    Received received;
    bool matchesRaw;
    bool matchesDatagram;
};

TEST(IsExpectedReplyTest, AcceptsOnlyOurEchoReplyFromTheProbedHost) {
    const std::vector<std::byte> reply = IcmpMessage(kEchoReply, 0, kIdentifier, kSequence);
    const std::vector<std::byte> ourRequest =
        IpPacket(Loopback(1), Loopback(2), IcmpMessage(kEchoRequest, 0, kIdentifier, kSequence));
    const std::vector<std::byte> ipHeaderFiveWordsTooLong = [&] {
        std::vector<std::byte> packet = IpPacket(Loopback(2), Loopback(1), reply);
        packet[0] = std::byte{0x4A};
        return packet;
    }();
    const std::vector<std::byte> ipHeaderTooShort = [&] {
        std::vector<std::byte> packet = IpPacket(Loopback(2), Loopback(1), reply);
        packet[0] = std::byte{0x44};
        return packet;
    }();
    const std::vector<std::byte> ipVersion6 = [&] {
        std::vector<std::byte> packet = IpPacket(Loopback(2), Loopback(1), reply);
        packet[0] = std::byte{0x65};
        return packet;
    }();

    const std::vector<MatchCase> cases = {
        {"our reply", Loopback(2), From(Loopback(2), reply), true, true},
        {"our reply behind IP options", Loopback(2), From(Loopback(2), reply, 3), true, true},
        {"reply from another address", Loopback(3), From(Loopback(3), reply), false, false},
        {"reply to another sequence", Loopback(2),
         From(Loopback(2), IcmpMessage(kEchoReply, 0, kIdentifier, kSequence + 1)), false, false},
        // Datagram sockets only get replies to their own identifier, which the kernel chose.
        {"reply to another identifier", Loopback(2),
         From(Loopback(2), IcmpMessage(kEchoReply, 0, kIdentifier + 1, kSequence)), false, true},
        {"reply with a non-zero code", Loopback(2),
         From(Loopback(2), IcmpMessage(kEchoReply, 1, kIdentifier, kSequence)), false, false},
        {"an echo request seen on loopback", Loopback(2),
         From(Loopback(2), IcmpMessage(kEchoRequest, 0, kIdentifier, kSequence)), false, false},
        // Error reports quote our request; the unused word may even look like our identifier and sequence.
        {"destination unreachable", Loopback(2), From(Loopback(2), ErrorReport(kDestinationUnreachable, 1, ourRequest)),
         false, false},
        {"destination unreachable with our numbers in the unused word", Loopback(2),
         From(Loopback(2), IcmpMessage(kDestinationUnreachable, 1, kIdentifier, kSequence, ourRequest)), false, false},
        {"time exceeded", Loopback(2), From(Loopback(2), ErrorReport(kTimeExceeded, 0, ourRequest)), false, false},
        {"ICMP message cut short",
         Loopback(2),
         {Truncated(IpPacket(Loopback(2), Loopback(1), reply), 27), Truncated(reply, 7)},
         false,
         false},
        {"IP header cut short",
         Loopback(2),
         {Truncated(IpPacket(Loopback(2), Loopback(1), reply), 19), {}},
         false,
         false},
        {"IP header longer than the packet", Loopback(2), {ipHeaderFiveWordsTooLong, {}}, false, false},
        {"IP header length below the minimum", Loopback(2), {ipHeaderTooShort, {}}, false, false},
        {"not IPv4", Loopback(2), {ipVersion6, {}}, false, false},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(icmp::IsExpectedReply(c.received.raw, SocketKind::kRaw, c.source, kExpected), c.matchesRaw);
        icmp::ExpectedReply datagramExpected = kExpected;
        datagramExpected.checkIdentifier = false;
        EXPECT_EQ(icmp::IsExpectedReply(c.received.datagram, SocketKind::kDatagram, c.source, datagramExpected),
                  c.matchesDatagram);
    }
}

TEST(IsExpectedReplyTest, ReadsTheRawPacketPastItsIpHeader) {
    // A datagram socket's reading of a raw packet starts with the IP header's 0x45, not an echo reply.
    const std::vector<std::byte> packet = IpPacket(Loopback(2), Loopback(1), IcmpMessage(kEchoReply, 0, 0, kSequence));
    icmp::ExpectedReply expected = kExpected;
    expected.identifier = 0;
    EXPECT_TRUE(icmp::IsExpectedReply(packet, SocketKind::kRaw, Loopback(2), expected));
    expected.checkIdentifier = false;
    EXPECT_FALSE(icmp::IsExpectedReply(packet, SocketKind::kDatagram, Loopback(2), expected));
}

TEST(InternetChecksumTest, MatchesTheReferenceSum) {
    // The worked example of RFC 1071: the folded sum is 0xDDF2, so the checksum is 0x220D.
    const std::vector<std::byte> data = {std::byte{0x00}, std::byte{0x01}, std::byte{0xF2}, std::byte{0x03},
                                         std::byte{0xF4}, std::byte{0xF5}, std::byte{0xF6}, std::byte{0xF7}};
    EXPECT_EQ(ntohs(icmp::InternetChecksum(data)), 0x220D);
    // An odd last byte counts as the high byte of a word.
    EXPECT_EQ(ntohs(icmp::InternetChecksum(std::vector<std::byte>{std::byte{0x01}})), 0xFEFF);
    EXPECT_EQ(ntohs(icmp::InternetChecksum({})), 0xFFFF);
}

TEST(InternetChecksumTest, AMessageWithItsChecksumSumsToZero) {
    for (const std::uint16_t sequence : {0x0000, 0x0001, 0xFFFF, 0x8000}) {
        SCOPED_TRACE(sequence);
        const std::vector<std::byte> message = IcmpMessage(kEchoRequest, 0, 0xFFFF, sequence, {std::byte{0xAB}});
        EXPECT_EQ(icmp::InternetChecksum(message), 0);
    }
}

}  // namespace
}  // namespace quorvel::test
