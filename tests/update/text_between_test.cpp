#include "update/text_between.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string_view>

namespace quorvel {
namespace {

using namespace std::literals;

#define QUOTE_TOKEN "#\xD2\xFD\xBA\xC5"  // "#引号" in GBK

struct Row {
    std::string_view note;
    std::string_view text;
    std::string_view start;
    std::string_view end;
    std::int32_t startPos;
    bool caseInsensitive;
    std::string_view field;
};

template <std::size_t N>
void ExpectFields(const Row (&rows)[N]) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.note);
        EXPECT_EQ(TextBetween(row.text, row.start, row.end, row.startPos, row.caseInsensitive), row.field);
    }
}

TEST(TextBetween, FindsTheFieldBetweenMarkers) {
    const Row rows[] = {
        {"start marker at position 1", "<a>x</a>", "<a>", "</a>", 0, false, "x"},
        {"field inside a longer text", "<p><a>1.2</a></p>", "<a>", "</a>", 0, false, "1.2"},
        {"field with Chinese and CR LF", "<a>\xBF\xAA\r\n1</a>", "<a>", "</a>", 0, false, "\xBF\xAA\r\n1"},
        {"end marker right behind the start marker", "<a></a>", "<a>", "</a>", 0, false, ""},
        {"no end marker", "<a>x", "<a>", "</a>", 0, false, ""},
        {"end marker only before the start marker", "</a>x<a>y", "<a>", "</a>", 0, false, ""},
        {"no start marker", "x</a>", "<a>", "</a>", 0, false, ""},
        {"start marker at the very end", "x<a>", "<a>", "</a>", 0, false, ""},
        {"first pair wins", "<a>1</a><a>2</a>", "<a>", "</a>", 0, false, "1"},
        {"first end marker closes", "<a>1</a>2</a>", "<a>", "</a>", 0, false, "1"},
        {"start marker equal to end marker", "|ab|cd|", "|", "|", 0, false, "ab"},
        {"empty text", "", "<a>", "</a>", 0, false, ""},
        {"empty text, empty markers", "", "", "", 0, false, ""},
    };
    ExpectFields(rows);
}

TEST(TextBetween, EmptyMarkersCountAsFoundAtPositionOne) {
    const Row rows[] = {
        {"empty end marker", "<a>x</a>", "<a>", "", 0, false, ""},
        {"both empty", "abc", "", "", 0, false, ""},
        {"empty start marker", "abc</a>def", "", "</a>", 0, false, "abc"},
        {"empty start marker, start further on", "abc</a>def", "", "</a>", 5, false, "abc"},
        {"empty start marker, start at the last byte", "abc</a>def", "", "</a>", 10, false, "abc"},
        {"empty start marker, start beyond the text", "abc</a>def", "", "</a>", 11, false, ""},
    };
    ExpectFields(rows);
}

TEST(TextBetween, StartPositionLimitsTheStartMarkerOnly) {
    const std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    const Row rows[] = {
        {"later pair from a later position", "<a>1</a><a>2</a>", "<a>", "</a>", 2, false, "2"},
        {"position right at the marker", "x<a>y</a>", "<a>", "</a>", 2, false, "y"},
        {"position past the only marker", "x<a>y</a>", "<a>", "</a>", 3, false, ""},
        {"position 1", "<a>x</a>", "<a>", "</a>", 1, false, "x"},
        {"position 0", "<a>x</a>", "<a>", "</a>", 0, false, "x"},
        {"negative position", "<a>x</a>", "<a>", "</a>", -5, false, "x"},
        {"lowest position", "<a>x</a>", "<a>", "</a>", lowest, false, "x"},
        {"position beyond the text", "<a>x</a>", "<a>", "</a>", 9, false, ""},
        {"largest position", "<a>x</a>", "<a>", "</a>", std::numeric_limits<std::int32_t>::max(), false, ""},
    };
    ExpectFields(rows);
}

TEST(TextBetween, QuoteTokenStandsForADoubleQuote) {
    const Row rows[] = {
        {"token in both markers", "<a href=\"url\">", "href=" QUOTE_TOKEN, QUOTE_TOKEN, 0, false, "url"},
        {"token's own bytes in the text do not match", "href=" QUOTE_TOKEN "url" QUOTE_TOKEN "x\"", "href=" QUOTE_TOKEN,
         QUOTE_TOKEN, 0, false, ""},
        {"two tokens in a row", "a\"\"b\"\"", QUOTE_TOKEN QUOTE_TOKEN, QUOTE_TOKEN QUOTE_TOKEN, 0, false, "b"},
        // After the lead byte A3 the "#" is a trail byte, so no token starts there.
        {"token hidden behind a lead byte", "\xA3" QUOTE_TOKEN "X|\xA3\"Y|", "\xA3" QUOTE_TOKEN, "|", 0, false, "X"},
        {"cut-off token stays as it is",
         "x#\xD2\xFD"
         "y;",
         "#\xD2\xFD", ";", 0, false, "y"},
    };
    ExpectFields(rows);
}

TEST(TextBetween, CaseFoldingCoversAsciiLettersOnly) {
    const Row rows[] = {
        {"exact case required", "<!--VER-->1.2<!--/VER-->", "<!--ver-->", "<!--/ver-->", 0, false, ""},
        {"case folded", "<!--VER-->1.2<!--/VER-->", "<!--ver-->", "<!--/ver-->", 0, true, "1.2"},
        {"case folded in the end marker", "<!--ver-->1.2<!--/Ver-->", "<!--ver-->", "<!--/VER-->", 0, true, "1.2"},
        // C1 and E1 differ by 0x20 like a letter's cases, but only ASCII letters fold.
        {"high bytes exact", "\xE1X=v;", "\xC1x=", ";", 0, true, ""},
        {"high byte exact, ASCII folded", "\xC1X=v;", "\xC1x=", ";", 0, true, "v"},
        {"'@' and '[' are no letters", "@=a;", "`=", ";", 0, true, ""},
    };
    ExpectFields(rows);
}

TEST(TextBetween, NoMatchBeginsOnATrailByte) {
    const Row rows[] = {
        {"start marker on a trail byte is skipped", "\x81\x41\x42:v;\x41\x42:w;", "AB:", ";", 0, false, "w"},
        {"end marker on a trail byte is skipped", "<a>x\x81;y;", "<a>", ";", 0, false, "x\x81;y"},
        {"whole characters match", "\xBF\xAA=1;", "\xBF\xAA=", ";", 0, false, "1"},
        // Candidates step from the start position itself, whatever byte lies before it.
        {"start position on a trail byte", "\x81\x41\x42:v;", "AB:", ";", 2, false, "v"},
        {"lead byte last in the text", "<a>x\x81", "<a>", "\x81\x41", 0, false, ""},
    };
    ExpectFields(rows);
}

TEST(TextBetween, NothingBehindANulTakesPart) {
    const Row rows[] = {
        {"end marker behind a NUL", "<a>x\0</a>"sv, "<a>", "</a>", 0, false, ""},
        {"start marker behind a NUL", "x\0<a>y</a>"sv, "<a>", "</a>", 0, false, ""},
        {"pair before a NUL", "<a>x</a>\0<a>"sv, "<a>", "</a>", 0, false, "x"},
    };
    ExpectFields(rows);
}

}  // namespace
}  // namespace quorvel
