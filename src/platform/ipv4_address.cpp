#include "platform/ipv4_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace quorvel {

// Both routines read the host as a C string, so they see it up to its first NUL byte; program texts
// never hold one.

std::optional<std::uint32_t> ParseNumericIpv4(const std::string& host) {
    // glibc's inet_aton is the classic parser (it also stops at white space and ignores what follows,
    // as the classic inet_addr did), and it is pure and thread-safe.
    in_addr address{};
    if (::inet_aton(host.c_str(), &address) == 0) {
        return std::nullopt;
    }
    return address.s_addr;
}

std::optional<std::uint32_t> ResolveIpv4(const std::string& host) {
    if (const std::optional<std::uint32_t> numeric = ParseNumericIpv4(host)) {
        return numeric;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    // One entry per address rather than one per socket type. No AI_ADDRCONFIG: on a machine whose only
    // interface is loopback it would hide every IPv4 answer, "localhost" included.
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    std::optional<std::uint32_t> address;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in first{};
            std::memcpy(&first, entry->ai_addr, sizeof first);
            address = first.sin_addr.s_addr;
            break;
        }
    }
    ::freeaddrinfo(found);
    return address;
}

}  // namespace quorvel
