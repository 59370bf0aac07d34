#include "platform/local_clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace quorvel {
namespace {

// Sets TZ for the life of the object and puts the old value back afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

// The fields of t as strftime writes them for UTC shifted by offsetHours: an independent reading.
LocalDateTime ExpectedFields(std::time_t t, int offsetHours) {
    const std::time_t shifted = t + offsetHours * 3600;
    std::tm utc{};
    ::gmtime_r(&shifted, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%Y %m %d %H %M %S", &utc);
    LocalDateTime fields;
    std::sscanf(text, "%d %d %d %d %d %d", &fields.year, &fields.month, &fields.day, &fields.hour, &fields.minute,
                &fields.second);
    return fields;
}

void ExpectSame(const LocalDateTime& actual, const LocalDateTime& expected) {
    EXPECT_EQ(actual.year, expected.year);
    EXPECT_EQ(actual.month, expected.month);
    EXPECT_EQ(actual.day, expected.day);
    EXPECT_EQ(actual.hour, expected.hour);
    EXPECT_EQ(actual.minute, expected.minute);
    EXPECT_EQ(actual.second, expected.second);
}

TEST(SystemLocalClockTest, ReadsTheLocalTimeZone) {
    // A zone east of UTC: a clock that read UTC or forgot the month's and year's offsets would differ.
    const ScopedTimeZone zone{"QRV-5"};
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        const LocalDateTime now = SystemLocalClock().Now();
        if (std::time(nullptr) != before) {
            continue;  // a second boundary passed while reading
        }
        ExpectSame(now, ExpectedFields(before, 5));
        return;
    }
    FAIL() << "the clock kept crossing second boundaries";
}

}  // namespace
}  // namespace quorvel
