// TextBetween against a literal model of its search rules, for any start position and either case
// rule; on plain ASCII also against an extraction built on std::string::find.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "reference_models.h"
#include "update/text_between.h"

namespace quorvel::fuzz {
namespace {

bool AllAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// Without bytes of 0x80 and more every byte is a character and the quote token cannot occur, so the
// rules come down to plain substring search.
std::string AsciiBetween(std::string_view fullBytes, std::string_view startBytes, std::string_view endBytes,
                         std::int32_t startPos, bool caseInsensitive) {
    const std::string full = model::AsText(fullBytes);
    std::string haystack = full;
    std::string start = model::AsText(startBytes);
    std::string end = model::AsText(endBytes);
    if (caseInsensitive) {
        haystack = Lowered(haystack);
        start = Lowered(start);
        end = Lowered(end);
    }
    const std::size_t from = startPos > 1 ? static_cast<std::size_t>(startPos) - 1 : 0;
    if (from >= haystack.size()) {
        return {};
    }
    const std::size_t found = start.empty() ? 0 : haystack.find(start, from);
    if (found == std::string::npos) {
        return {};
    }
    const std::size_t p = found + start.size();
    if (p >= haystack.size()) {
        return {};
    }
    const std::size_t q = end.empty() ? 0 : haystack.find(end, p);
    if (q == std::string::npos || q <= p) {
        return {};
    }
    return full.substr(p, q - p);
}

void Check(std::string_view full, std::string_view start, std::string_view end, std::int32_t startPos,
           bool caseInsensitive) {
    const std::string product = TextBetween(full, start, end, startPos, caseInsensitive);
    const std::string expected = model::Between(full, start, end, startPos, caseInsensitive);
    if (product != expected) {
        Differs("TextBetween differs from the model", {{"text", Escaped(full)},
                                                       {"start marker", Escaped(start)},
                                                       {"end marker", Escaped(end)},
                                                       {"start position", std::to_string(startPos)},
                                                       {"case-insensitive", caseInsensitive ? "true" : "false"},
                                                       {"product", Escaped(product)},
                                                       {"model", Escaped(expected)}});
    }
    if (AllAscii(full) && AllAscii(start) && AllAscii(end)) {
        const std::string plain = AsciiBetween(full, start, end, startPos, caseInsensitive);
        if (product != plain) {
            Differs("TextBetween differs from plain substring search on ASCII",
                    {{"text", Escaped(full)},
                     {"start marker", Escaped(start)},
                     {"end marker", Escaped(end)},
                     {"start position", std::to_string(startPos)},
                     {"case-insensitive", caseInsensitive ? "true" : "false"},
                     {"product", Escaped(product)},
                     {"plain search", Escaped(plain)}});
        }
    }
    if (!product.empty() && model::AsText(full).find(product) == std::string::npos) {
        Differs("the field is not part of the text", {{"text", Escaped(full)}, {"product", Escaped(product)}});
    }
}

}  // namespace
}  // namespace quorvel::fuzz

// Byte 1: case rule (bit 0) and how the start position is chosen (bits 1-3); byte 2: a value for the
// position; bytes 3 and 4: the marker lengths (0 to 12); then the start marker, the end marker and
// the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::fuzz::Input input(data, size);
    const std::uint8_t flags = input.Byte();
    const std::uint8_t positionByte = input.Byte();
    const std::size_t startLength = input.Byte() % 13;
    const std::size_t endLength = input.Byte() % 13;
    const std::string_view start = input.Bytes(startLength);
    const std::string_view end = input.Bytes(endLength);
    const std::string_view full = input.Rest();

    const bool caseInsensitive = (flags & 1) != 0;
    const auto textLength = static_cast<std::int32_t>(quorvel::fuzz::model::AsText(full).size());
    const auto small = static_cast<std::int32_t>(static_cast<std::int8_t>(positionByte));
    std::int32_t startPos = 0;
    switch (flags >> 1 & 7) {
        case 0:
            startPos = 0;
            break;
        case 1:
            startPos = small;  // -128 to 127: below 1, inside, beyond
            break;
        case 2:
            startPos = textLength + small % 4;  // around the last byte
            break;
        case 3:
            startPos = std::numeric_limits<std::int32_t>::min() + positionByte;
            break;
        case 4:
            startPos = std::numeric_limits<std::int32_t>::max() - positionByte;
            break;
        case 5:
            startPos = 1;
            break;
        default:
            startPos = 1 + positionByte % (textLength + 2);
            break;
    }
    quorvel::fuzz::Check(full, start, end, startPos, caseInsensitive);
    return 0;
}
