#include "platform/ipv4_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace quorvel {
namespace {

struct NumericCase {
    std::string host;
    std::optional<std::uint32_t> address;  // host byte order, for readable tables
};

// Test names show the host in printable ASCII and cut long hosts short.
std::ostream& operator<<(std::ostream& out, const NumericCase& c) {
    constexpr std::size_t kShown = 24;
    out << '"';
    for (const char ch : c.host.substr(0, kShown)) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x21 && byte <= 0x7E && ch != '"' && ch != '\\') {
            out << ch;
        } else {
            constexpr const char* kHex = "0123456789ABCDEF";
            out << "\\x" << kHex[byte >> 4] << kHex[byte & 0x0F];
        }
    }
    out << '"';
    if (c.host.size() > kShown) {
        out << "... (" << c.host.size() << " bytes)";
    }
    return out;
}

class ParseNumericIpv4Test : public ::testing::TestWithParam<NumericCase> {};

TEST_P(ParseNumericIpv4Test, ReadsTheClassicForms) {
    const NumericCase& c = GetParam();
    const std::optional<std::uint32_t> parsed = ParseNumericIpv4(c.host);
    if (!c.address) {
        EXPECT_FALSE(parsed.has_value());
        return;
    }
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, htonl(*c.address)) << "the result is in network byte order";
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, ParseNumericIpv4Test,
    ::testing::Values(NumericCase{"127.0.0.1", 0x7F000001}, NumericCase{"127.1.2.3", 0x7F010203},
                      // Short forms: the last part fills the remaining bytes.
                      NumericCase{"127.1", 0x7F000001}, NumericCase{"127.0.1", 0x7F000001},
                      NumericCase{"127.65535", 0x7F00FFFF}, NumericCase{"127.16777215", 0x7FFFFFFF},
                      NumericCase{"127.0.65535", 0x7F00FFFF}, NumericCase{"2130706433", 0x7F000001},
                      // Hexadecimal and octal parts, mixed freely.
                      NumericCase{"0x7f.1", 0x7F000001}, NumericCase{"0X7F.0.0.1", 0x7F000001},
                      NumericCase{"0x7f000001", 0x7F000001}, NumericCase{"127.0xffffff", 0x7FFFFFFF},
                      NumericCase{"0177.0.0.1", 0x7F000001}, NumericCase{"017700000001", 0x7F000001},
                      NumericCase{"127.0.0.01", 0x7F000001}, NumericCase{"127.0.0.0x1", 0x7F000001},
                      NumericCase{"127." + std::string(10000, '0') + "1", 0x7F000001},
                      // White space ends the address; whatever follows is ignored.
                      NumericCase{"127.0.0.1 junk", 0x7F000001}, NumericCase{"127.0.0.1\tjunk", 0x7F000001},
                      NumericCase{"127.0.0.1\n", 0x7F000001}));

INSTANTIATE_TEST_SUITE_P(
    Rejected, ParseNumericIpv4Test,
    ::testing::Values(NumericCase{"", std::nullopt}, NumericCase{"localhost", std::nullopt},
                      // Parts out of range for their place.
                      NumericCase{"127.0.0.256", std::nullopt}, NumericCase{"127.0.65536", std::nullopt},
                      NumericCase{"127.16777216", std::nullopt}, NumericCase{"127.0x1000000", std::nullopt},
                      NumericCase{"4294967296", std::nullopt}, NumericCase{"0x100000000", std::nullopt},
                      // Not digits of their base, or a base prefix without digits.
                      NumericCase{"127.0.0.08", std::nullopt}, NumericCase{"0128.0.0.1", std::nullopt},
                      NumericCase{"127.0.0.0x", std::nullopt},
                      // Bad shape.
                      NumericCase{"127.0.0.1.", std::nullopt}, NumericCase{"127..1", std::nullopt},
                      NumericCase{"127.0.0.0.1", std::nullopt}, NumericCase{".127.0.0.1", std::nullopt},
                      NumericCase{" 127.0.0.1", std::nullopt}, NumericCase{"+127.0.0.1", std::nullopt},
                      NumericCase{"-1", std::nullopt}, NumericCase{"127.0.0.1x", std::nullopt},
                      NumericCase{"\xB7\xFE\xCE\xF1\xC6\xF7", std::nullopt},  // GBK text
                      NumericCase{std::string(10000, '1'), std::nullopt}));

// Garbage that is not a host name at all: glibc turns these down without asking a name server, so
// the tests never leave this machine.
std::string TenKilobytesOfGarbage() {
    std::string garbage;
    for (int i = 0; i < 10240; ++i) {
        garbage.push_back(static_cast<char>(1 + (i * 37 + 11) % 255));
    }
    return garbage;
}

TEST(ResolveIpv4Test, TakesANumericHostWithoutALookup) {
    EXPECT_EQ(ResolveIpv4("127.1"), htonl(0x7F000001));
    EXPECT_EQ(ResolveIpv4("127.0.0.1 junk"), htonl(0x7F000001));
}

TEST(ResolveIpv4Test, LooksUpLocalhost) {
    const std::optional<std::uint32_t> address = ResolveIpv4("localhost");
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(ntohl(*address) >> 24, 127U) << "localhost is a loopback address";
}

TEST(ResolveIpv4Test, FailsForHostsThatCannotBeNames) {
    for (const std::string& host : {std::string{}, std::string{"no such host"}, std::string(300, 'a'),
                                    std::string{"\xB7\xFE \xCE\xF1"}, TenKilobytesOfGarbage()}) {
        SCOPED_TRACE(host.substr(0, 40));
        EXPECT_FALSE(ResolveIpv4(host).has_value());
    }
}

}  // namespace
}  // namespace quorvel
