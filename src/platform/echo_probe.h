#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// One ICMP echo round trip. The poll cycle only sees this interface; tests use a fake.
class EchoService {
public:
    virtual ~EchoService() = default;

    // Round-trip time of one echo reply in whole milliseconds (rounded down), or -1 when the host
    // cannot be resolved, no reply arrives within timeoutMs, or no echo can be sent.
    [[nodiscard]] virtual std::int32_t EchoProbe(const std::string& host, std::int32_t timeoutMs) = 0;

    // False when this process may open neither kind of ICMP socket (no permission).
    [[nodiscard]] virtual bool EchoPermitted() = 0;
};

// The real thing: an unprivileged ICMP datagram socket where the system allows it, else a raw socket.
[[nodiscard]] EchoService& SystemEchoService();

}  // namespace quorvel
