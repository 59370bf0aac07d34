#include "monitor/split_text.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "common/gbk.h"

namespace quorvel {
namespace {

using namespace std::literals;
using Members = std::vector<std::string_view>;

struct Row {
    std::string_view note;
    std::string_view text;
    Members members;
};

template <std::size_t N>
void ExpectSplits(const Row (&rows)[N], std::string_view separator) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.note);
        EXPECT_EQ(SplitText(TextFromBytes(row.text), separator), row.members);
    }
}

TEST(SplitText, CutsFileContentIntoLines) {
    const Row rows[] = {
        {"empty file", "", {}},
        {"one line", "a=b", {"a=b"}},
        {"line ending in CR LF", "a=b\r\n", {"a=b"}},
        {"two lines", "a=b\r\nc=d", {"a=b", "c=d"}},
        {"empty line between", "a=b\r\n\r\nc=d", {"a=b", "", "c=d"}},
        {"CR LF alone", "\r\n", {""}},
        {"two CR LF at the end", "a=b\r\n\r\n", {"a=b", ""}},
        {"Unix line ends", "a=b\nc=d", {"a=b\nc=d"}},
        {"lone CR", "a=b\rc=d", {"a=b\rc=d"}},
        {"LF CR is no separator", "a\n\rb", {"a\n\rb"}},
        {"zero byte ends the text", "a=b\0c=d"sv, {"a=b"}},
    };
    ExpectSplits(rows, "\r\n");
}

TEST(SplitText, CutsALineIntoFields) {
    const Row rows[] = {
        {"name and host", "web=127.0.0.1", {"web", "127.0.0.1"}},
        {"empty name", "=127.0.0.1", {"", "127.0.0.1"}},
        {"two separators in a row", "web==127.0.0.1", {"web", "", "127.0.0.1"}},
        {"third field", "a=b=c", {"a", "b", "c"}},
        {"spaces are kept", "web = 127.0.0.1", {"web ", " 127.0.0.1"}},
        {"no separator", "web", {"web"}},
        {"separator at the end", "web=", {"web"}},
        {"empty line", "", {}},
    };
    ExpectSplits(rows, "=");
}

TEST(SplitText, NeverMatchesOnATrailByte) {
    const Row byEquals[] = {
        {"trail byte is '='", "\x81=b", {"\x81=b"}},
        {"trail byte '=' in the second field", "a=\x81=b", {"a", "\x81=b"}},
        {"Chinese name", "\xBF\xAA=h", {"\xBF\xAA", "h"}},
        {"lead byte last in text", "a=b\x81", {"a", "b\x81"}},
        {"only a lead byte", "\x81", {"\x81"}},
        {"UTF-8 name before '='", "\xE5\xBC\x80=h", {"\xE5\xBC\x80=h"}},
    };
    ExpectSplits(byEquals, "=");
    const Row byLines[] = {
        {"trail byte is CR", "ab\x81\r\ncd", {"ab\x81\r\ncd"}},
        {"CR LF after a whole character", "\x81\x81\r\ncd", {"\x81\x81", "cd"}},
        {"lead byte last in text", "a\r\n\x81", {"a", "\x81"}},
        {"UTF-8 text before CR LF", "\xE5\xBC\x80\r\nx=y", {"\xE5\xBC\x80\r\nx=y"}},
    };
    ExpectSplits(byLines, "\r\n");
}

TEST(SplitText, MembersViewIntoTheText) {
    const std::string_view text = "a=b=c";
    const Members members = SplitText(text, "=");
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[1].data(), text.data() + 2);
}

}  // namespace
}  // namespace quorvel
