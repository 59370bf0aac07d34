#include "monitor/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace quorvel {
namespace {

// The poll turns the interval into a timer period this way.
std::int64_t Milliseconds(std::string_view text) {
    return static_cast<std::int64_t>(std::trunc(TextToNumber(text) * 1000));
}

TEST(TextToNumber, IntervalTextsGiveTheirPeriods) {
    const struct {
        std::string_view text;
        std::int64_t milliseconds;
    } rows[] = {
        {"30", 30000},
        {"1.5", 1500},
        {"2.0009", 2000},
        {" 10", 10000},
        {"10s", 10000},
        {"1,5", 1000},
        {"1e1", 10000},
        {"\xA3\xB1\xA3\xB0", 10000},
        {"", 0},
        {"abc", 0},
        {"0.0004", 0},
        {"-5", -5000},
        {"\xA1\xA1"
         "2",
         2000},  // ideographic space
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Milliseconds(row.text), row.milliseconds);
    }
}

TEST(TextToNumber, ReadsTheLongestLeadingNumber) {
    const std::string zeros(400, '0');
    const struct {
        std::string text;
        double value;
    } rows[] = {
        {"1e3", 1000},
        {"1E3", 1000},
        {"1d3", 1000},
        {"1D3", 1000},
        {"1e+3", 1000},
        {"2.5D-1", 0.25},
        {"1d-3", 0.001},
        {"-1e2", -100},
        {"+1E2", 100},
        {"\xA3\xB1\xA3\xE4\xA3\xB2", 100},  // full-width "1d2"
        {"1e", 1},
        {"1e+", 1},
        {"1D-x", 1},
        {"1ee2", 1},
        {".5", 0.5},
        {"5.", 5},
        {"-.5", -0.5},
        {"\xA3\xAE\xA3\xB5", 0.5},
        {".", 0},
        {"-.e1", 0},
        {"e5", 0},
        {"+", 0},
        {"--1", 0},
        {"- 1", 0},
        {"1.2.3", 1.2},
        {" \t\r\n\v\f7", 7},
        {"0x10", 0},
        {"inf", 0},
        {"nan", 0},
        {"007.50", 7.5},
        {"1" + zeros + "e-300", 1e100},
        {"0." + zeros + "1e400", 0.1},  // the digit 1 stands 401 places behind the point
        {"1e-400", 0},
        {"-1e-400", 0},
        {"0e99999999999999999999", 0},
        {"0." + zeros + "1", 0},
        {"0." + zeros + "1e50", 0},        // exponent up, still far too small
        {"0.01e-9223372036854775808", 0},  // the lowest 64-bit exponent, with digits behind the point
        {"1e-9223372036854775808", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_DOUBLE_EQ(TextToNumber(row.text), row.value);
    }
}

TEST(TextToNumber, NumbersTooLargeGiveInfinity) {
    const std::string zeros(400, '0');
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        std::string text;
        double value;
    } rows[] = {
        {"1e400", inf},
        {"-1D400", -inf},
        {"1e99999999999999999999", inf},
        {"1" + zeros, inf},
        {"1" + zeros + "e-50", inf},      // exponent down, still far too large
        {"1e9223372036854775807", inf},   // the highest 64-bit exponent
        {"10e9223372036854775807", inf},  // the same with two digits before the point
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(TextToNumber(row.text), row.value);
    }
}

TEST(TextToInt, TimeoutTextsGiveTheirValues) {
    const struct {
        std::string_view text;
        std::int32_t value;
    } rows[] = {
        {"300", 300},
        {"", 0},
        {"abc", 0},
        {" 300", 300},
        {"\t\n\v\f\r42", 42},
        {"\xA1\xA1"
         "300",
         300},
        {"3.7", 3},
        {"300ms", 300},
        {"1e3", 1},
        {"-5", -5},
        {"+7", 7},
        {"+-3", 0},
        {"- 3", 0},
        {"\xA3\xB3\xA3\xB0\xA3\xB0", 300},
        {"\xA3\xAD\xA3\xB5", -5},
        {"0007", 7},
        {"2147483647", 2147483647},
        {"2147483648", std::numeric_limits<std::int32_t>::min()},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"4294967295", -1},
        {"4294967296", 0},
        {"4294967297", 1},
        {"-4294967297", -1},
        {"99999999999", 1215752191},  // 99999999999 mod 2^32
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(TextToInt(row.text), row.value);
    }
}

}  // namespace
}  // namespace quorvel
