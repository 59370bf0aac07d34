// SplitText against a literal model of its scan, plus what must hold of any split: the members and
// the separators between them give back the text, and no member begins inside a character.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "monitor/split_text.h"
#include "reference_models.h"

namespace quorvel::fuzz {
namespace {

struct Piece {
    std::size_t offset;
    std::size_t length;
};

// Member positions as the rules describe the scan, 0-based offsets into text.
std::vector<Piece> ModelSplit(std::string_view text, std::string_view separator) {
    std::vector<Piece> members;
    if (text.empty()) {
        return members;
    }
    const std::size_t n = text.size();
    std::size_t memberStart = 0;
    std::size_t scan = 0;
    while (n - scan >= separator.size()) {
        bool here = true;
        for (std::size_t k = 0; k < separator.size(); ++k) {
            here = here && text[scan + k] == separator[k];
        }
        if (here) {
            members.push_back({memberStart, scan - memberStart});
            scan += separator.size();
            memberStart = scan;
        } else if (model::OpensTwoByteCharacter(static_cast<unsigned char>(text[scan]))) {
            if (scan + 1 == n) {
                break;
            }
            scan += 2;
        } else {
            scan += 1;
        }
    }
    if (n - memberStart > 0) {
        members.push_back({memberStart, n - memberStart});
    }
    return members;
}

// Offsets where a character begins when text is read from its first byte.
std::vector<bool> CharacterStarts(std::string_view text) {
    std::vector<bool> starts(text.size() + 1, false);
    std::size_t i = 0;
    while (i < text.size()) {
        starts[i] = true;
        i += model::OpensTwoByteCharacter(static_cast<unsigned char>(text[i])) ? 2 : 1;
    }
    starts[text.size()] = i == text.size();
    return starts;
}

std::string Describe(const std::vector<std::string_view>& members) {
    std::string out;
    for (const std::string_view member : members) {
        out += Escaped(member) + " ";
    }
    return out;
}

void Check(std::string_view text, std::string_view separator) {
    const std::vector<std::string_view> members = SplitText(text, separator);
    const std::vector<Piece> expected = ModelSplit(text, separator);

    std::vector<std::string_view> expectedViews;
    for (const Piece& piece : expected) {
        expectedViews.push_back(text.substr(piece.offset, piece.length));
    }
    if (members != expectedViews) {
        Differs("SplitText members differ from the model", {{"text", Escaped(text)},
                                                            {"separator", Escaped(separator)},
                                                            {"product", Describe(members)},
                                                            {"model", Describe(expectedViews)}});
    }

    // The members view into the text: at the model's places, with exactly one separator between two.
    std::string joined;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(members[i].data());
        const auto base = reinterpret_cast<std::uintptr_t>(text.data());
        if (address < base || address - base != expected[i].offset) {
            Differs("a member is not a view of the text at its place",
                    {{"text", Escaped(text)}, {"separator", Escaped(separator)}, {"member", std::to_string(i)}});
        }
        if (i > 0) {
            joined += separator;
        }
        joined += members[i];
    }

    // Joined with the separator, the members give back the text: exactly, or less one separator at
    // the very end when the scan cut there. A separator that sits on a trail byte at the end is no
    // cut and stays inside the last member, so "text ends with a separator" alone decides nothing.
    const bool endsWithCut =
        !members.empty() && joined.size() + separator.size() == text.size() && text.substr(joined.size()) == separator;
    if (joined != text && !(endsWithCut && text.substr(0, joined.size()) == joined)) {
        Differs("members and separators do not give back the text",
                {{"text", Escaped(text)}, {"separator", Escaped(separator)}, {"joined", Escaped(joined)}});
    }

    // No member begins on a trail byte. This holds when the separator is itself whole characters;
    // one ending in a lead byte shifts the reading of the text behind it, and then it need not.
    const std::vector<bool> separatorStarts = CharacterStarts(separator);
    if (separatorStarts.back()) {
        const std::vector<bool> starts = CharacterStarts(text);
        for (const std::string_view member : members) {
            const auto offset = static_cast<std::size_t>(member.data() - text.data());
            if (!starts[offset]) {
                Differs("a member begins on a trail byte",
                        {{"text", Escaped(text)}, {"separator", Escaped(separator)}, {"member", Escaped(member)}});
            }
        }
    }
}

}  // namespace
}  // namespace quorvel::fuzz

// First byte: the separator, either one of the two the program uses or 1 to 3 arbitrary bytes
// taken from the input; the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::fuzz::Input input(data, size);
    const std::uint8_t choice = input.Byte();
    std::string separator;
    switch (choice % 4) {
        case 0:
            separator = "\r\n";
            break;
        case 1:
            separator = "=";
            break;
        default:
            separator = std::string(input.Bytes(1 + choice / 4 % 3));
            break;
    }
    if (separator.empty()) {
        return 0;  // never called with an empty separator
    }
    quorvel::fuzz::Check(input.Rest(), separator);
    return 0;
}
