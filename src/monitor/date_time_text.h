#pragma once

#include <string>

namespace quorvel {

struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
};

// "2016年3月26日14时5分7秒", dropping trailing zero time fields; GBK.
[[nodiscard]] std::string DateTimeText(const LocalDateTime& when);

}  // namespace quorvel
