#pragma once

#include "monitor/date_time_text.h"

namespace quorvel {

class LocalClock {
public:
    virtual ~LocalClock() = default;
    // Wall-clock time of the local time zone, to the whole second.
    [[nodiscard]] virtual LocalDateTime Now() = 0;
};

[[nodiscard]] LocalClock& SystemLocalClock();

}  // namespace quorvel
