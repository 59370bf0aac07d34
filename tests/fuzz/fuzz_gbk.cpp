// GbkToUtf8 and Utf8ToGbk against models that walk the bytes themselves and look up one character
// at a time, plus round trips where they must hold.
//
// The character table is the C library's CP936, asked once per character: the models test how the
// routines walk, recover from bad bytes and join their pieces, not the table. In that table 0x80 is a
// character of its own (the euro sign), 0xFF is never valid, 0x81-0xFE open a two-byte character
// whose second byte must be one the table knows; the user-defined areas are not mapped.

#include <iconv.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/gbk.h"
#include "fuzz_support.h"

namespace quorvel::fuzz {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// One whole conversion of a short piece; nothing when the piece is not exactly convertible.
std::optional<std::string> ConvertWhole(iconv_t cd, std::string_view piece) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string in(piece);
    char out[32];
    char* source = in.data();
    std::size_t sourceLeft = in.size();
    char* target = out;
    std::size_t targetLeft = sizeof out;
    if (iconv(cd, &source, &sourceLeft, &target, &targetLeft) == static_cast<std::size_t>(-1) || sourceLeft != 0) {
        return std::nullopt;
    }
    if (iconv(cd, nullptr, nullptr, &target, &targetLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    return std::string(out, static_cast<std::size_t>(target - out));
}

// The length of the well-formed UTF-8 character at text[at], by the table of well-formed byte
// sequences; 0 when there is none.
std::size_t WellFormedLength(std::string_view text, std::size_t at) {
    struct Form {
        unsigned firstLow, firstHigh, secondLow, secondHigh;
        std::size_t length;
    };
    static constexpr Form kForms[] = {
        {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
        {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
        {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
    };
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    for (const Form& form : kForms) {
        if (byte(0) < form.firstLow || byte(0) > form.firstHigh) {
            continue;
        }
        if (text.size() - at < form.length) {
            return 0;
        }
        if (form.length == 1) {
            return 1;
        }
        if (byte(1) < form.secondLow || byte(1) > form.secondHigh) {
            return 0;
        }
        for (std::size_t k = 2; k < form.length; ++k) {
            if (byte(k) < 0x80 || byte(k) > 0xBF) {
                return 0;
            }
        }
        return form.length;
    }
    return 0;
}

bool IsWellFormedUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = WellFormedLength(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

class Table {
public:
    Table() {
        iconv_t toUtf8 = iconv_open("UTF-8", "CP936");
        toGbk_ = iconv_open("CP936", "UTF-8");
        if (toUtf8 == reinterpret_cast<iconv_t>(-1) || toGbk_ == reinterpret_cast<iconv_t>(-1)) {
            Differs("the C library has no CP936 converter", {});
        }
        for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
            single_[byte - 0x80] = ConvertWhole(toUtf8, std::string(1, static_cast<char>(byte)));
        }
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0; trail <= 0xFF; ++trail) {
                const char pair[] = {static_cast<char>(lead), static_cast<char>(trail)};
                std::optional<std::string> utf8 = ConvertWhole(toUtf8, std::string_view(pair, 2));
                // Two bytes that the table reads as two characters (a lead byte it takes alone) are no
                // two-byte character.
                if (utf8 && WellFormedLength(*utf8, 0) == utf8->size()) {
                    pairs_[lead << 8 | trail] = *utf8;
                }
            }
        }
        iconv_close(toUtf8);
    }

    // The UTF-8 of the single byte at text[at], or of the two bytes there, when the table has one.
    const std::optional<std::string>& Single(unsigned char byte) const { return single_[byte - 0x80]; }
    const std::string* Pair(unsigned char lead, unsigned char trail) const {
        const auto found = pairs_.find(static_cast<unsigned>(lead) << 8 | trail);
        return found == pairs_.end() ? nullptr : &found->second;
    }

    // The GBK of one well-formed UTF-8 character, when CP936 holds it.
    const std::optional<std::string>& Encode(std::string_view character) {
        auto found = encoded_.find(std::string(character));
        if (found == encoded_.end()) {
            found = encoded_.emplace(std::string(character), ConvertWhole(toGbk_, character)).first;
        }
        return found->second;
    }

private:
    std::array<std::optional<std::string>, 0x80> single_;
    std::map<unsigned, std::string> pairs_;
    std::map<std::string, std::optional<std::string>> encoded_;
    iconv_t toGbk_;
};

Table& TheTable() {
    static Table table;
    return table;
}

// Every byte that starts no character becomes one U+FFFD and the walk goes on at the next byte.
std::string ModelGbkToUtf8(std::string_view gbk) {
    const Table& table = TheTable();
    std::string out;
    std::size_t i = 0;
    while (i < gbk.size()) {
        const auto byte = static_cast<unsigned char>(gbk[i]);
        if (byte < 0x80) {
            out += gbk[i];
            i += 1;
        } else if (table.Single(byte)) {
            out += *table.Single(byte);
            i += 1;
        } else if (i + 1 < gbk.size() && table.Pair(byte, static_cast<unsigned char>(gbk[i + 1])) != nullptr) {
            out += *table.Pair(byte, static_cast<unsigned char>(gbk[i + 1]));
            i += 2;
        } else {
            out += kReplacement;
            i += 1;
        }
    }
    return out;
}

// A well-formed character GBK cannot hold becomes one "?"; a byte that starts no well-formed
// character becomes one "?" by itself.
std::string ModelUtf8ToGbk(std::string_view utf8) {
    Table& table = TheTable();
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t length = WellFormedLength(utf8, i);
        if (length == 0) {
            out += '?';
            i += 1;
            continue;
        }
        const std::optional<std::string>& gbk = table.Encode(utf8.substr(i, length));
        out += gbk ? *gbk : std::string("?");
        i += length;
    }
    return out;
}

// The bytes of input that form whole characters of the table (ASCII, 0x80, known pairs), the rest
// left out.
std::string OnlyValidCharacters(std::string_view bytes) {
    const Table& table = TheTable();
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80 || table.Single(byte)) {
            out += bytes[i];
            i += 1;
        } else if (i + 1 < bytes.size() && table.Pair(byte, static_cast<unsigned char>(bytes[i + 1])) != nullptr) {
            out += bytes.substr(i, 2);
            i += 2;
        } else {
            i += 1;
        }
    }
    return out;
}

void Check(std::string_view bytes) {
    const std::string utf8 = GbkToUtf8(bytes);
    const std::string expectedUtf8 = ModelGbkToUtf8(bytes);
    if (utf8 != expectedUtf8) {
        Differs("GbkToUtf8 differs from the model",
                {{"input", Escaped(bytes)}, {"product", Escaped(utf8)}, {"model", Escaped(expectedUtf8)}});
    }
    if (!IsWellFormedUtf8(utf8)) {
        Differs("GbkToUtf8 gave malformed UTF-8", {{"input", Escaped(bytes)}, {"product", Escaped(utf8)}});
    }

    const std::string gbk = Utf8ToGbk(bytes);
    const std::string expectedGbk = ModelUtf8ToGbk(bytes);
    if (gbk != expectedGbk) {
        Differs("Utf8ToGbk differs from the model",
                {{"input", Escaped(bytes)}, {"product", Escaped(gbk)}, {"model", Escaped(expectedGbk)}});
    }
    // What Utf8ToGbk writes is always whole GBK characters, so reading it back finds nothing bad.
    const std::string back = GbkToUtf8(gbk);
    if (back.find(kReplacement) != std::string::npos) {
        Differs("Utf8ToGbk wrote bytes that are not GBK", {{"input", Escaped(bytes)}, {"product", Escaped(gbk)}});
    }

    // Made only of characters the table knows, a text survives the way to UTF-8 and back, and its
    // UTF-8 survives the way to GBK and back.
    const std::string valid = OnlyValidCharacters(bytes);
    const std::string validUtf8 = GbkToUtf8(valid);
    const std::string roundTrip = Utf8ToGbk(validUtf8);
    if (roundTrip != valid || validUtf8.find(kReplacement) != std::string::npos) {
        Differs("valid GBK does not survive a round trip through UTF-8",
                {{"text", Escaped(valid)}, {"utf-8", Escaped(validUtf8)}, {"back", Escaped(roundTrip)}});
    }
    if (GbkToUtf8(roundTrip) != validUtf8) {
        Differs("UTF-8 of valid GBK does not survive a round trip through GBK", {{"utf-8", Escaped(validUtf8)}});
    }
}

}  // namespace
}  // namespace quorvel::fuzz

// The same bytes are read once as GBK and once as UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
