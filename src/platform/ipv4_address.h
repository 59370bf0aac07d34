#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// A numeric IPv4 host under the classic inet_aton rules (a.b.c.d, a.b.c, a.b, a; octal and hex
// parts), in network byte order. Only the text itself is read: no lookup.
[[nodiscard]] std::optional<std::uint32_t> ParseNumericIpv4(const std::string& host);

// The first IPv4 address of host: numeric form first, else a thread-safe resolver lookup.
[[nodiscard]] std::optional<std::uint32_t> ResolveIpv4(const std::string& host);

}  // namespace quorvel
