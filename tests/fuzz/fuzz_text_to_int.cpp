// TextToInt against a model that reads the digits with 64-bit arithmetic and wraps to 32 bits at the
// end, and against strtoll on the folded text where no digit run can overflow.

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "monitor/number_text.h"
#include "reference_models.h"

namespace quorvel::fuzz {
namespace {

constexpr std::uint64_t kTwoTo32 = std::uint64_t{1} << 32;

std::int32_t Wrapped(std::uint64_t residue) {  // residue < 2^32
    const std::int64_t value = residue >= kTwoTo32 / 2
                                   ? static_cast<std::int64_t>(residue) - static_cast<std::int64_t>(kTwoTo32)
                                   : static_cast<std::int64_t>(residue);
    return static_cast<std::int32_t>(value);
}

struct Reading {
    std::int32_t value;
    std::size_t digits;
};

Reading ModelTextToInt(std::string_view text) {
    const std::string folded = model::Fold(text);
    std::size_t i = 0;
    while (i < folded.size() && model::IsWhiteSpace(folded[i])) {
        ++i;
    }
    bool negative = false;
    if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) {
        negative = folded[i] == '-';
        ++i;
    }
    // The value modulo 2^32, kept below 2^32 so the 64-bit product of one step cannot overflow.
    std::uint64_t residue = 0;
    std::size_t digits = 0;
    while (i < folded.size() && model::IsDigit(folded[i])) {
        residue = (residue * 10 + static_cast<std::uint64_t>(folded[i] - '0')) % kTwoTo32;
        ++i;
        ++digits;
    }
    if (negative) {
        residue = (kTwoTo32 - residue) % kTwoTo32;
    }
    return {Wrapped(residue), digits};
}

}  // namespace
}  // namespace quorvel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel::fuzz;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int32_t product = quorvel::TextToInt(text);
    const Reading expected = ModelTextToInt(text);
    if (product != expected.value) {
        Differs(
            "TextToInt differs from the model",
            {{"text", Escaped(text)}, {"product", std::to_string(product)}, {"model", std::to_string(expected.value)}});
    }
    // Up to 18 digits the exact value fits in 64 bits, and strtoll skips the same white space in the C
    // locale; it reads a C string, so only texts without a NUL compare.
    const std::string folded = model::Fold(text);
    if (expected.digits <= 18 && folded.find('\0') == std::string::npos) {
        errno = 0;
        const long long exact = std::strtoll(folded.c_str(), nullptr, 10);
        const auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(exact) % kTwoTo32);
        if (errno != 0 || product != Wrapped(low)) {
            Differs(
                "TextToInt differs from strtoll wrapped to 32 bits",
                {{"text", Escaped(text)}, {"product", std::to_string(product)}, {"strtoll", std::to_string(exact)}});
        }
    }
    return 0;
}
