#include "common/gbk.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/program_texts.h"

namespace quorvel {
namespace {

using namespace std::literals;

struct Pair {
    std::string_view utf8;
    std::string_view gbk;
};

TEST(Gbk, ConvertsMixedAsciiAndChineseBothWays) {
    const Pair pairs[] = {
        {"", ""},
        {"abc 123\r\n", "abc 123\r\n"},
        {"开始", "\xBF\xAA\xCA\xBC"},
        {"web1 离线\r\n", "web1 \xC0\xEB\xCF\xDF\r\n"},
        {"#引号", "#\xD2\xFD\xBA\xC5"},
        {"３", "\xA3\xB3"},
        {"2016年3",
         "2016\xC4\xEA"
         "3"},
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.utf8);
        EXPECT_EQ(Utf8ToGbk(pair.utf8), pair.gbk);
        EXPECT_EQ(GbkToUtf8(pair.gbk), pair.utf8);
    }
}

TEST(Gbk, ProgramTextsAreGbkAndSurviveARoundTrip) {
    const ProgramTexts& t = Texts();
    EXPECT_EQ(t.start, "\xBF\xAA\xCA\xBC");
    EXPECT_EQ(t.quoteToken, "#\xD2\xFD\xBA\xC5");
    EXPECT_EQ(t.offlineLogTail, "  \xC0\xEB\xCF\xDF\r\n");
    EXPECT_EQ(t.intervalUnit, Utf8ToGbk("秒/次"));
    EXPECT_EQ(t.errorMessage, Utf8ToGbk("发生错误 "));
    EXPECT_EQ(t.offerPrefix, Utf8ToGbk("发现新版:"));
    const std::string* all[] = {
        &t.start,        &t.stop,        &t.online,       &t.offline,         &t.offlineLogTail, &t.year,
        &t.month,        &t.day,         &t.hour,         &t.minute,          &t.second,         &t.columnItem,
        &t.columnStatus, &t.columnSpeed, &t.timeoutLabel, &t.intervalUnit,    &t.quoteToken,     &t.errorMessage,
        &t.errorTitle,   &t.offerPrefix, &t.offerTitle,   &t.noPingPermission};
    for (const std::string* text : all) {
        const std::string utf8 = GbkToUtf8(*text);
        SCOPED_TRACE(utf8);
        EXPECT_FALSE(text->empty());
        EXPECT_EQ(text->find('?'), std::string::npos) << "a character GBK cannot hold";
        EXPECT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos);
        EXPECT_EQ(Utf8ToGbk(utf8), *text);
    }
}

TEST(Gbk, NoPingPermissionNamesBothRemediesOnOneLine) {
    const std::string& message = Texts().noPingPermission;
    EXPECT_NE(message.find("sysctl"), std::string::npos);
    EXPECT_NE(message.find("net.ipv4.ping_group_range"), std::string::npos);
    EXPECT_NE(message.find("setcap cap_net_raw+ep"), std::string::npos);
    ASSERT_GE(message.size(), 2u);
    EXPECT_EQ(message.substr(message.size() - 2), "\r\n");
    EXPECT_EQ(message.find_first_of("\r\n"), message.size() - 2);
}

TEST(Gbk, InvalidGbkBytesBecomeReplacementCharacters) {
    const Pair cases[] = {
        {"\uFFFD", "\x81"},            // lone lead byte at the end
        {"a\uFFFD", "a\x81"},          //
        {"开\uFFFD", "\xBF\xAA\xBF"},  // a whole character, then a cut one
        {"\uFFFD b",
         "\x81\x20"
         "b"},               // lead byte with a trail byte GBK does not allow
        {"\uFFFD", "\xFF"},  //
        {"a\uFFFDb\uFFFD",
         "a\xFF"
         "b\xFF"},  // conversion goes on after each bad byte
    };
    for (const Pair& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
    }
}

TEST(Gbk, CharactersOutsideGbkAndBrokenUtf8BecomeQuestionMarks) {
    const Pair cases[] = {
        {"\xF0\x9F\x98\x80", "?"},  // an emoji: one character, one "?"
        {"a\xF0\x9F\x98\x80"
         "b",
         "a?b"},               //
        {"ก离", "?\xC0\xEB"},  // Thai letter, then a GBK character
        {"한", "?"},           // Hangul syllables are not in GBK
        {"\xFF", "?"},         // never a UTF-8 byte
        {"a\xE5\x80", "a??"},  // sequence cut by the end, one "?" a byte
        {"\xC0\xAF"
         "x",
         "??x"},                  // overlong "/"
        {"\xED\xA0\x80", "???"},  // a surrogate
        {"\x80"
         "ok",
         "?ok"},  // stray continuation byte
    };
    for (const Pair& c : cases) {
        SCOPED_TRACE(c.gbk);
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
    }
}

TEST(Gbk, LongTextsConvertWhole) {
    std::string utf8;
    std::string gbk;
    for (int i = 0; i < 2000; ++i) {
        utf8 += "离线x";
        gbk += "\xC0\xEB\xCF\xDFx";
    }
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
}

TEST(Gbk, ThreadsConvertIndependently) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 500; ++i) {
                // A text cut after a lead byte leaves no state behind for the next conversion.
                failures[t] += GbkToUtf8("\xBF") != "\uFFFD";
                failures[t] += GbkToUtf8("\xBF\xAA\xCA\xBC") != "开始";
                failures[t] += Utf8ToGbk("停止") != "\xCD\xA3\xD6\xB9";
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(Gbk, TextFromBytesStopsBeforeTheFirstNul) {
    const Pair cases[] = {{"", ""}, {"abc", "abc"}, {"a\0b"sv, "a"}, {"\0abc"sv, ""}, {"a=b\0c=d\0"sv, "a=b"}};
    for (const Pair& c : cases) {
        EXPECT_EQ(TextFromBytes(c.utf8), c.gbk);
    }
}

}  // namespace
}  // namespace quorvel
