#pragma once

// Slow, literal models of the text rules, written from the rules themselves and kept apart from the
// program's own code: 1-based positions where the rules speak of positions, one step per rule.

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::fuzz::model {

inline unsigned Byte(std::string_view text, std::int64_t position) {  // 1-based
    return static_cast<unsigned char>(text[static_cast<std::size_t>(position - 1)]);
}

inline bool OpensTwoByteCharacter(unsigned byte) {
    return byte >= 0x80 && byte <= 0xFF;
}

// Bytes turned into text end before the first NUL.
inline std::string AsText(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        if (c == '\0') {
            break;
        }
        text.push_back(c);
    }
    return text;
}

// The full-width folding, one character at a time.
inline std::string Fold(std::string_view text) {
    std::string out;
    const auto n = static_cast<std::int64_t>(text.size());
    std::int64_t i = 1;
    while (i <= n) {
        const unsigned first = Byte(text, i);
        if (!OpensTwoByteCharacter(first)) {
            out.push_back(static_cast<char>(first));
            i += 1;
            continue;
        }
        if (i == n) {
            break;  // a lead byte with nothing behind it is dropped
        }
        const unsigned second = Byte(text, i + 1);
        if (first == 0xA3 && second >= 0xA1 && second <= 0xFE) {
            out.push_back(static_cast<char>(second - 0x80));
        } else if (first == 0xA1 && second == 0xA1) {
            out.push_back(' ');
        } else if (first == 0xA1 && second == 0xAB) {
            out.push_back('~');
        } else if (first == 0xA1 && (second == 0xEE || second == 0xEF)) {
            out.push_back('*');
        } else {
            out.push_back(static_cast<char>(first));
            out.push_back(static_cast<char>(second));
        }
        i += 2;
    }
    return out;
}

inline bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

inline unsigned LowerAscii(unsigned byte) {
    return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
}

// The quote token "#引号" (GBK 23 D2 FD BA C5) in a marker stands for one double quote.
inline std::string PrepareMarker(std::string_view marker) {
    static constexpr std::string_view kToken = "#\xD2\xFD\xBA\xC5";
    std::string out;
    std::size_t i = 0;
    while (i < marker.size()) {
        if (marker.size() - i < kToken.size()) {
            out.append(marker.substr(i));
            break;
        }
        if (marker.substr(i, kToken.size()) == kToken) {
            out.push_back('"');
            i += kToken.size();
            continue;
        }
        const std::size_t width = OpensTwoByteCharacter(static_cast<unsigned char>(marker[i])) ? 2 : 1;
        out.append(marker.substr(i, width));
        i += width;
    }
    return out;
}

// The 1-based position of pattern in text searched from position from, or 0 when it is not found.
inline std::int64_t Search(std::string_view text, std::string_view pattern, std::int64_t from, bool caseInsensitive) {
    const auto n = static_cast<std::int64_t>(text.size());
    const auto length = static_cast<std::int64_t>(pattern.size());
    const std::int64_t s = from < 1 ? 1 : from;
    const bool rangeEmpty = s > n;
    if (pattern.empty()) {
        return rangeEmpty ? 0 : 1;
    }
    if (rangeEmpty) {
        return 0;
    }
    std::int64_t candidate = s;
    for (;;) {
        if (n - candidate + 1 < length) {
            return 0;
        }
        bool same = true;
        for (std::int64_t k = 0; k < length; ++k) {
            unsigned a = Byte(text, candidate + k);
            unsigned b = Byte(pattern, k + 1);
            if (caseInsensitive) {
                a = LowerAscii(a);
                b = LowerAscii(b);
            }
            if (a != b) {
                same = false;
                break;
            }
        }
        if (same) {
            return candidate;
        }
        const unsigned byte = Byte(text, candidate);
        if (OpensTwoByteCharacter(byte) && candidate == n) {
            return 0;
        }
        candidate += OpensTwoByteCharacter(byte) ? 2 : 1;
    }
}

inline std::string Between(std::string_view fullBytes, std::string_view startBytes, std::string_view endBytes,
                           std::int64_t startPos, bool caseInsensitive) {
    const std::string full = AsText(fullBytes);
    const std::string start = PrepareMarker(AsText(startBytes));
    const std::string end = PrepareMarker(AsText(endBytes));
    const std::int64_t found = Search(full, start, startPos, caseInsensitive);
    if (found == 0) {
        return {};
    }
    const std::int64_t p = found + static_cast<std::int64_t>(start.size());
    const std::int64_t q = Search(full, end, p, caseInsensitive);
    if (q == 0 || q <= p) {
        return {};
    }
    return full.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(q - p));
}

}  // namespace quorvel::fuzz::model
