#include "platform/local_clock.h"

#include <ctime>

namespace quorvel {
namespace {

class SystemClock final : public LocalClock {
public:
    LocalDateTime Now() override {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        if (::localtime_r(&now, &local) == nullptr) {
            return {};
        }
        return LocalDateTime{
            .year = local.tm_year + 1900,
            .month = local.tm_mon + 1,
            .day = local.tm_mday,
            .hour = local.tm_hour,
            .minute = local.tm_min,
            .second = local.tm_sec,
        };
    }
};

}  // namespace

LocalClock& SystemLocalClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace quorvel
