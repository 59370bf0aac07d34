#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel::test {

class X11Display;

// The update service the program under test was built to ask, when that is a loopback address:
// the tests play it there. In host byte order.
struct ServiceAddress {
    std::uint32_t host = 0;
    std::uint16_t port = 0;
};
[[nodiscard]] std::optional<ServiceAddress> BuiltInLoopbackService();

// Why the real program must not be started here, or empty when it may: it needs an X display, and
// every start asks the built-in update service, which must be on loopback.
[[nodiscard]] std::string ReasonNotToStartTheProgram(const X11Display& display);

}  // namespace quorvel::test
