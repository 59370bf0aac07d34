#include "update/text_between.h"

#include "common/gbk.h"

namespace quorvel {
namespace {

constexpr std::string_view kQuoteToken = "#\xD2\xFD\xBA\xC5";  // "#引号" in GBK
constexpr auto kNotFound = std::string_view::npos;

// Markers may spell a double quote as "#引号", since callers write markers inside quoted literals.
// The token is looked for only where a character begins.
std::string PrepareMarker(std::string_view marker) {
    std::string prepared;
    std::size_t at = 0;
    while (at < marker.size()) {
        if (marker.substr(at, kQuoteToken.size()) == kQuoteToken) {
            prepared += '"';
            at += kQuoteToken.size();
            continue;
        }
        const std::size_t width = IsLeadByte(marker[at]) ? 2 : 1;
        prepared += marker.substr(at, width);
        at += width;
    }
    return prepared;
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameBytes(std::string_view a, std::string_view b, bool caseInsensitive) {
    if (!caseInsensitive) {
        return a == b;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// 0-based index of the first match at or after from; candidates step over two-byte characters. An
// empty pattern matches at the very start of the text as long as the search range is not empty.
std::size_t Find(std::string_view text, std::string_view pattern, std::size_t from, bool caseInsensitive) {
    if (from >= text.size()) {
        return kNotFound;
    }
    if (pattern.empty()) {
        return 0;
    }
    for (std::size_t at = from; at + pattern.size() <= text.size(); at += IsLeadByte(text[at]) ? 2 : 1) {
        if (SameBytes(text.substr(at, pattern.size()), pattern, caseInsensitive)) {
            return at;
        }
    }
    return kNotFound;
}

}  // namespace

std::string TextBetween(std::string_view FullText, std::string_view StartMarker, std::string_view EndMarker,
                        std::int32_t StartPos, bool CaseInsensitive) {
    const std::string_view text = TextFromBytes(FullText);
    const std::string start = PrepareMarker(TextFromBytes(StartMarker));
    const std::string end = PrepareMarker(TextFromBytes(EndMarker));
    const std::size_t from = StartPos > 1 ? static_cast<std::size_t>(StartPos) - 1 : 0;
    const std::size_t startAt = Find(text, start, from, CaseInsensitive);
    if (startAt == kNotFound) {
        return {};
    }
    const std::size_t fieldStart = startAt + start.size();
    const std::size_t fieldEnd = Find(text, end, fieldStart, CaseInsensitive);
    if (fieldEnd == kNotFound || fieldEnd < fieldStart) {
        return {};
    }
    return std::string(text.substr(fieldStart, fieldEnd - fieldStart));
}

}  // namespace quorvel
