#include "monitor/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

#include "common/full_width.h"

namespace quorvel {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view SkipSpace(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// Removes a leading sign from text; true when it was a minus.
bool TakeSign(std::string_view& text) {
    if (text.empty() || (text.front() != '+' && text.front() != '-')) {
        return false;
    }
    const bool negative = text.front() == '-';
    text.remove_prefix(1);
    return negative;
}

std::size_t DigitRun(std::string_view text) {
    std::size_t length = 0;
    while (length < text.size() && IsDigit(text[length])) {
        ++length;
    }
    return length;
}

// "e-12" for a text starting "D-12"; empty unless text starts with a complete exponent, so that "1e"
// or "1e+" stay the number 1.
std::string ExponentPart(std::string_view text) {
    if (text.empty() || std::string_view("eEdD").find(text.front()) == std::string_view::npos) {
        return {};
    }
    const std::size_t signLength = text.size() > 1 && (text[1] == '+' || text[1] == '-') ? 1 : 0;
    const std::size_t digits = DigitRun(text.substr(1 + signLength));
    if (digits == 0) {
        return {};
    }
    std::string exponent = "e";
    exponent.append(text.substr(1, signLength + digits));
    return exponent;
}

// The longest unsigned number at the start of text, spelled for std::from_chars; empty when the
// mantissa has no digit (".", "e5").
std::string ScanUnsigned(std::string_view text) {
    const std::size_t whole = DigitRun(text);
    std::size_t end = whole;
    if (end < text.size() && text[end] == '.') {
        end += 1 + DigitRun(text.substr(end + 1));
    }
    if (end == 0 || (end == 1 && whole == 0)) {
        return {};
    }
    return std::string(text.substr(0, end)) + ExponentPart(text.substr(end));
}

long long ExponentOf(std::string_view number) {
    const std::size_t e = number.find('e');
    if (e == std::string_view::npos) {
        return 0;
    }
    std::string_view digits = number.substr(e + 1);
    if (digits.front() == '+') {
        digits.remove_prefix(1);
    }
    long long exponent = 0;
    if (std::from_chars(digits.data(), digits.data() + digits.size(), exponent).ec != std::errc()) {
        const long long limit = std::numeric_limits<long long>::max() / 2;
        exponent = digits.front() == '-' ? -limit : limit;
    }
    return std::clamp(exponent, std::numeric_limits<long long>::min() / 2, std::numeric_limits<long long>::max() / 2);
}

// The power of ten just above the number's magnitude (1 for 0.5, 2 for 12), used only to tell a number
// too large for a double from one too small.
long long DecimalOrder(std::string_view number) {
    const std::string_view mantissa = number.substr(0, number.find('e'));
    const auto point = static_cast<long long>(std::min(mantissa.find('.'), mantissa.size()));
    const std::size_t firstSignificant = mantissa.find_first_of("123456789");
    if (firstSignificant == std::string_view::npos) {
        return std::numeric_limits<long long>::min() / 2;
    }
    const auto first = static_cast<long long>(firstSignificant);
    return (first < point ? point - first : point + 1 - first) + ExponentOf(number);
}

}  // namespace

std::int32_t TextToInt(std::string_view text) {
    const std::string folded = FoldFullWidth(text);
    std::string_view rest = SkipSpace(folded);
    const bool negative = TakeSign(rest);
    std::uint32_t value = 0;
    for (std::size_t i = 0, digits = DigitRun(rest); i < digits; ++i) {
        value = value * 10u + static_cast<std::uint32_t>(rest[i] - '0');
    }
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

double TextToNumber(std::string_view text) {
    const std::string folded = FoldFullWidth(text);
    std::string_view rest = SkipSpace(folded);
    const bool negative = TakeSign(rest);
    const std::string number = ScanUnsigned(rest);
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves no value for a magnitude a double cannot hold; like strtod, a number too
        // large becomes HUGE_VAL (inf) and one too small becomes 0, the sign applied below either way.
        value = DecimalOrder(number) > 0 ? HUGE_VAL : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace quorvel
