#include "real_program.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <regex>

#include "build_config.h"
#include "x11_windows.h"

namespace quorvel::test {

std::optional<ServiceAddress> BuiltInLoopbackService() {
    static const std::regex loopback(R"(^http://(127\.\d+\.\d+\.\d+):(\d+)$)");
    const std::string url = build::kUpdateServiceUrl;
    std::smatch parts;
    if (!std::regex_match(url, parts, loopback)) {
        return std::nullopt;
    }
    return ServiceAddress{ntohl(inet_addr(parts[1].str().c_str())), static_cast<std::uint16_t>(std::stoi(parts[2]))};
}

std::string ReasonNotToStartTheProgram(const X11Display& display) {
    if (std::getenv("DISPLAY") == nullptr || !display.Connected()) {
        return "no X display; scripts/test starts Xvfb for these";
    }
    if (!BuiltInLoopbackService()) {
        return "built with a non-loopback update service; tests never contact it";
    }
    return {};
}

}  // namespace quorvel::test
