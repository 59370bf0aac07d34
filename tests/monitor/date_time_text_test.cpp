#include "monitor/date_time_text.h"

#include <gtest/gtest.h>

#include <string_view>

#include "common/gbk.h"

namespace quorvel {
namespace {

TEST(DateTimeText, DropsTrailingZeroTimeFields) {
    const struct {
        LocalDateTime when;
        std::string_view text;  // UTF-8 here; the routine gives GBK
    } rows[] = {
        {{2016, 3, 26, 14, 5, 7}, "2016年3月26日14时5分7秒"},
        {{2016, 3, 26, 14, 5, 0}, "2016年3月26日14时5分"},
        {{2016, 3, 26, 14, 0, 0}, "2016年3月26日14时"},
        {{2016, 3, 26, 0, 0, 0}, "2016年3月26日"},
        {{2016, 3, 26, 0, 0, 7}, "2016年3月26日0时0分7秒"},
        {{2016, 3, 26, 0, 30, 0}, "2016年3月26日0时30分"},
        {{2017, 1, 1, 9, 0, 5}, "2017年1月1日9时0分5秒"},
        {{2024, 12, 31, 23, 59, 59}, "2024年12月31日23时59分59秒"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(DateTimeText(row.when), Utf8ToGbk(row.text));
    }
}

TEST(DateTimeText, IsGbk) {
    EXPECT_EQ(DateTimeText({2016, 3, 26, 0, 0, 0}),
              "2016\xC4\xEA"
              "3\xD4\xC2"
              "26\xC8\xD5");
}

}  // namespace
}  // namespace quorvel
