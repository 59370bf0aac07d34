#include "common/full_width.h"

#include <gtest/gtest.h>

#include <string_view>

namespace quorvel {
namespace {

struct Row {
    std::string_view note;
    std::string_view text;
    std::string_view folded;
};

TEST(FoldFullWidth, FoldsTheFullWidthFormsAndNothingElse) {
    const Row rows[] = {
        {"plain ASCII", "abc 1.5e-3", "abc 1.5e-3"},
        {"empty", "", ""},
        {"full-width digits", "\xA3\xB1\xA3\xB0", "10"},
        {"first full-width form", "\xA3\xA1", "!"},
        {"last full-width form", "\xA3\xFE", "~"},
        {"full-width sign, point, letter", "\xA3\xAD\xA3\xAE\xA3\xE5\xA3\xC5", "-.eE"},
        {"ideographic space",
         "\xA1\xA1"
         "5",
         " 5"},
        {"wave dash", "\xA1\xAB", "~"},
        {"white star", "\xA1\xEE", "*"},
        {"black star", "\xA1\xEF", "*"},
        {"mixed with ASCII",
         "a\xA3\xB3"
         "b",
         "a3b"},
        {"other Chinese characters stay", "\xBF\xAA\xCA\xBC", "\xBF\xAA\xCA\xBC"},
        {"other punctuation of row A1 stays", "\xA1\xA2\xA1\xAC\xA1\xED", "\xA1\xA2\xA1\xAC\xA1\xED"},
        {"A3 below the form range stays", "\xA3\xA0", "\xA3\xA0"},
        {"A3 with 0xFF stays", "\xA3\xFF", "\xA3\xFF"},
        {"A3 with an ASCII trail stays whole",
         "\xA3\x41"
         "1",
         "\xA3\x41"
         "1"},
        {"lone lead byte at the end is dropped", "12\xA3", "12"},
        {"only a lead byte", "\xA3", ""},
        {"folded, then a lone lead byte", "\xA3\xB1\xA3", "1"},
        // B1 A3 is one character, so the A3 B1 that straddles it is no full-width digit.
        {"walks by characters", "\xB1\xA3\xB1", "\xB1\xA3"},
        {"lone lead byte after a two-byte character", "\xB1\xA3\xA3\xB1\xBF",
         "\xB1\xA3"
         "1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.note);
        EXPECT_EQ(FoldFullWidth(row.text), row.folded);
    }
}

}  // namespace
}  // namespace quorvel
