// TextToNumber against a model that finds the longest leading number by the rules, rewrites a d or
// D exponent as e and hands exactly that part to strtod in the "C" locale (correctly rounded, inf on
// overflow, 0 or a subnormal on underflow).

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "monitor/number_text.h"
#include "reference_models.h"

namespace quorvel::fuzz {
namespace {

std::size_t DigitsAt(std::string_view text, std::size_t at) {
    std::size_t count = 0;
    while (at + count < text.size() && model::IsDigit(text[at + count])) {
        ++count;
    }
    return count;
}

// The number part spelled for strtod, or empty when the text starts with no number.
std::string NumberPart(std::string_view text) {
    const std::string folded = model::Fold(text);
    const std::string_view s = folded;
    std::size_t i = 0;
    while (i < s.size() && model::IsWhiteSpace(s[i])) {
        ++i;
    }
    std::string literal;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        literal += s[i];
        ++i;
    }
    const std::size_t whole = DigitsAt(s, i);
    literal += s.substr(i, whole);
    i += whole;
    std::size_t fraction = 0;
    if (i < s.size() && s[i] == '.') {
        fraction = DigitsAt(s, i + 1);
        literal += s.substr(i, 1 + fraction);
        i += 1 + fraction;
    }
    if (whole + fraction == 0) {
        return {};
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent += s[j];
            ++j;
        }
        const std::size_t digits = DigitsAt(s, j);
        if (digits > 0) {
            literal += exponent;
            literal += s.substr(j, digits);
        }
    }
    return literal;
}

double ModelTextToNumber(const std::string& literal) {
    if (literal.empty()) {
        return 0.0;
    }
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtod_l(literal.c_str(), nullptr, c);
}

std::string Shown(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

}  // namespace
}  // namespace quorvel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel::fuzz;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double product = quorvel::TextToNumber(text);
    const std::string literal = NumberPart(text);
    const double expected = ModelTextToNumber(literal);
    // The sign of a zero is not compared: it never reaches the timer as anything but 0.
    if (std::isnan(product) || product != expected) {
        Differs("TextToNumber differs from strtod on the number part", {{"text", Escaped(text)},
                                                                        {"number part", Escaped(literal)},
                                                                        {"product", Shown(product)},
                                                                        {"model", Shown(expected)}});
    }
    return 0;
}
