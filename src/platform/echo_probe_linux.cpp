#include "platform/echo_probe.h"
#include "platform/icmp_socket.h"
#include "platform/ipv4_address.h"

namespace quorvel {
namespace {

class LinuxEchoService final : public EchoService {
public:
    std::int32_t EchoProbe(const std::string& host, std::int32_t timeoutMs) override {
        try {
            // The lookup comes first and is not part of the timeout; a host that cannot be found is
            // offline without anything going out.
            const std::optional<std::uint32_t> address = ResolveIpv4(host);
            if (!address) {
                return -1;
            }
            const std::optional<icmp::SocketKind> kind = icmp::ProcessSocketKind();
            if (!kind) {
                return -1;
            }
            return icmp::ProbeAddress(*kind, *address, timeoutMs);
        } catch (...) {
            // Out of memory in the resolver or a failed lock: the host is simply offline this time.
            return -1;
        }
    }

    bool EchoPermitted() override {
        try {
            return icmp::ProcessSocketKind().has_value();
        } catch (...) {
            return false;
        }
    }
};

}  // namespace

EchoService& SystemEchoService() {
    static LinuxEchoService service;
    return service;
}

}  // namespace quorvel
