#include "update/update_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "update/curl_http_client.h"
#include "update/scripted_http_server.h"

namespace quorvel {
namespace {

// The boxes' words as the GBK bytes the program must hand over.
const std::string kErrorText = "\xb7\xa2\xc9\xfa\xb4\xed\xce\xf3 ";    // 发生错误 (with its blank)
const std::string kErrorTitle = "\xcf\xfb\xcf\xa2";                    // 消息
const std::string kOfferPrefix = "\xb7\xa2\xcf\xd6\xd0\xc2\xb0\xe6:";  // 发现新版:
const std::string kOfferTitle = "\xd4\xda\xcf\xdf\xb8\xfc\xd0\xc2:";   // 在线更新:

const std::string kBaseUrl = "http://update.larkmere.example";
const std::string kHomePage = "http://www.larkmere.example/#kelm";
const std::string kDownload = "http://dl.larkmere.example/quorvel-2.0.zip";

// Everything the check does to the outside, in the order it happens.
using Events = std::vector<std::string>;

std::string ErrorBox() {
    return "error box: " + kErrorText + " / " + kErrorTitle;
}
std::string Offer(const std::string& versionAndNotes) {
    return "offer box: " + kOfferPrefix + versionAndNotes + " / " + kOfferTitle;
}
std::string Opened(const std::string& address) {
    return "open: " + address;
}
const std::string kEnded = "end: 0";

class FakeHttp : public HttpClient {
public:
    std::string reply;
    std::vector<std::string> urls;
    std::string Get(const std::string& url) override {
        urls.push_back(url);
        return reply;
    }
};

class FakeBoxes : public MessageBoxes {
public:
    explicit FakeBoxes(Events& events) : events_(events) {}
    BoxAnswer answer = BoxAnswer::Yes;
    BoxAnswer ShowError(const std::string& text, const std::string& title) override {
        events_.push_back("error box: " + text + " / " + title);
        return BoxAnswer::Ok;
    }
    BoxAnswer AskYesNo(const std::string& text, const std::string& title) override {
        events_.push_back("offer box: " + text + " / " + title);
        return answer;
    }

private:
    Events& events_;
};

class FakeOpener : public AddressOpener {
public:
    explicit FakeOpener(Events& events) : events_(events) {}
    void Open(const std::string& address) override { events_.push_back(Opened(address)); }

private:
    Events& events_;
};

// The real EndProgram never returns; this one does, so anything the check did after it would show up.
struct Harness {
    Events events;
    FakeHttp http;
    FakeBoxes boxes{events};
    FakeOpener opener{events};
    UpdateServices services{kBaseUrl, http, boxes, opener,
                            [this](std::int32_t code) { events.push_back("end: " + std::to_string(code)); }};

    void Check(bool force = false) { CheckForUpdate("10024", "1.0.0.0", force, kHomePage, services); }
};

std::string Field(const std::string& name, const std::string& value) {
    return "<!--" + name + "-->" + value + "<!--" + name + "end-->";
}
std::string Reply(const std::string& version, const std::string& address = kDownload,
                  const std::string& notes = "fixes") {
    return "<html><body>" + Field("ver", version) + Field("add", address) + Field("con", notes) + "</body></html>";
}

struct DecisionRow {
    const char* name;
    std::string reply;
    bool force;
    BoxAnswer answer;
    Events expected;
};

const DecisionRow kDecisionRows[] = {
    {"EmptyReply", "", false, BoxAnswer::Yes, {}},
    {"NoMarkers", "<html>404 Not Found</html>", false, BoxAnswer::Yes, {}},
    {"SameVersion", Reply("1.0.0.0"), true, BoxAnswer::Yes, {}},
    {"EmptyVersionField", Reply(""), true, BoxAnswer::Yes, {}},
    {"VersionWithoutEndMarker", "<!--ver-->2.0.0.0<!--add-->" + kDownload + "<!--addend-->", false, BoxAnswer::Yes, {}},
    {"CapitalMarkersAreNotMarkers",
     "<!--VER-->2.0<!--VEREND--><!--ADD-->" + kDownload + "<!--ADDEND-->",
     false,
     BoxAnswer::Yes,
     {}},
    {"NulByteEndsTheReply", std::string("ok\0", 3) + Reply("2.0"), false, BoxAnswer::Yes, {}},
    {"OlderVersionIsOfferedToo",
     Reply("0.9.0.0"),
     false,
     BoxAnswer::Yes,
     {Offer("0.9.0.0\r\nfixes"), Opened(kDownload), kEnded}},
    {"BlanksAroundVersion", Reply(" 1.0.0.0 "), false, BoxAnswer::No, {Offer(" 1.0.0.0 \r\nfixes")}},
    {"LineBreaksAroundVersion", Reply("\r\n1.0.0.0\r\n"), false, BoxAnswer::No, {Offer("\r\n1.0.0.0\r\n\r\nfixes")}},
    {"ErrorInSmallLettersIsAVersion", Reply("error"), false, BoxAnswer::No, {Offer("error\r\nfixes")}},
    {"ErrorInCapitalsIsAVersion",
     Reply("ERROR"),
     false,
     BoxAnswer::Yes,
     {Offer("ERROR\r\nfixes"), Opened(kDownload), kEnded}},
    {"ErrorWithTrailingBlankIsAVersion", Reply("Error "), false, BoxAnswer::No, {Offer("Error \r\nfixes")}},
    {"ServiceError", Reply("Error"), false, BoxAnswer::No, {ErrorBox(), Opened(kHomePage), kEnded}},
    {"ServiceErrorIgnoresForce", Reply("Error", "", ""), true, BoxAnswer::No, {ErrorBox(), Opened(kHomePage), kEnded}},
    {"FieldsInReverseOrder",
     "<div>" + Field("con", "notes") + "</div><p>" + Field("add", kDownload) + "</p>" + Field("ver", "2.0"),
     false,
     BoxAnswer::Yes,
     {Offer("2.0\r\nnotes"), Opened(kDownload), kEnded}},
    {"FirstPairWins",
     Reply("2.0", kDownload, "a") + Reply("3.0", "http://other.larkmere.example/", "b"),
     false,
     BoxAnswer::Yes,
     {Offer("2.0\r\na"), Opened(kDownload), kEnded}},
    {"EmptyNotesEndWithLineBreak", Reply("2.0", kDownload, ""), false, BoxAnswer::No, {Offer("2.0\r\n")}},
    {"MissingNotesEndWithLineBreak",
     Field("ver", "2.0") + Field("add", kDownload),
     false,
     BoxAnswer::No,
     {Offer("2.0\r\n")}},
    {"NotesWithLineBreaksAndChinese",
     Reply("2.0", kDownload, "\xb8\xfc\xd0\xc2\r\nline 2\r\n"),
     false,
     BoxAnswer::No,
     {Offer("2.0\r\n\xb8\xfc\xd0\xc2\r\nline 2\r\n")}},
    {"NoWithoutForceRunsOn", Reply("2.0"), false, BoxAnswer::No, {Offer("2.0\r\nfixes")}},
    {"NoWithForceEndsWithoutOpening", Reply("2.0"), true, BoxAnswer::No, {Offer("2.0\r\nfixes"), kEnded}},
    {"YesOpensAndEnds", Reply("2.0"), false, BoxAnswer::Yes, {Offer("2.0\r\nfixes"), Opened(kDownload), kEnded}},
    {"NoAnswerCountsAsYes", Reply("2.0"), false, BoxAnswer::None, {Offer("2.0\r\nfixes"), Opened(kDownload), kEnded}},
    {"OkCountsAsYes", Reply("2.0"), true, BoxAnswer::Ok, {Offer("2.0\r\nfixes"), Opened(kDownload), kEnded}},
    {"SecureAddressInCapitalsIsOpened",
     Reply("2.0", "HTTPS://dl.larkmere.example/q"),
     false,
     BoxAnswer::Yes,
     {Offer("2.0\r\nfixes"), Opened("HTTPS://dl.larkmere.example/q"), kEnded}},
    // Whoever answers in place of the service picks the address; only web addresses reach the desktop.
    {"FileAddressIsNotOpened",
     Reply("2.0", "file:///etc/passwd"),
     false,
     BoxAnswer::Yes,
     {Offer("2.0\r\nfixes"), kEnded}},
    {"CustomSchemeIsNotOpened",
     Reply("2.0", "smb://share/setup.exe"),
     false,
     BoxAnswer::None,
     {Offer("2.0\r\nfixes"), kEnded}},
    {"AddressWithLeadingBlankIsNotOpened",
     Reply("2.0", " " + kDownload),
     false,
     BoxAnswer::Yes,
     {Offer("2.0\r\nfixes"), kEnded}},
    {"SchemeAloneIsNotEnough", Reply("2.0", "http:/x"), false, BoxAnswer::Yes, {Offer("2.0\r\nfixes"), kEnded}},
    {"EmptyAddressIsNotOpened", Reply("2.0", ""), false, BoxAnswer::Yes, {Offer("2.0\r\nfixes"), kEnded}},
    {"MissingAddressIsNotOpened", Field("ver", "2.0"), false, BoxAnswer::None, {Offer("2.0\r\n"), kEnded}},
    {"AddressBehindNulIsNotSeen",
     Field("ver", "2.0") + std::string("\0", 1) + Field("add", kDownload),
     false,
     BoxAnswer::Yes,
     {Offer("2.0\r\n"), kEnded}},
};

class DecisionTest : public ::testing::TestWithParam<DecisionRow> {};

TEST_P(DecisionTest, DoesExactlyWhatTheReplyCallsFor) {
    const DecisionRow& row = GetParam();
    Harness harness;
    harness.http.reply = row.reply;
    harness.boxes.answer = row.answer;

    harness.Check(row.force);

    EXPECT_EQ(harness.events, row.expected);
    EXPECT_EQ(harness.http.urls, std::vector<std::string>{kBaseUrl + "/client/api.asp?code=10024"});
}

INSTANTIATE_TEST_SUITE_P(Replies, DecisionTest, ::testing::ValuesIn(kDecisionRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCheckRequest, SoftwareCodeIsAppendedUnchanged) {
    Harness harness;
    CheckForUpdate("a b&c=%20#x", "1.0.0.0", false, kHomePage, harness.services);
    EXPECT_EQ(harness.http.urls, std::vector<std::string>{kBaseUrl + "/client/api.asp?code=a b&c=%20#x"});
    EXPECT_TRUE(harness.events.empty());
}

// The whole check against a real HTTP server on loopback.
class UpdateCheckOverHttp : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
            unsetenv(name);
        }
        setenv("no_proxy", "*", 1);
        setenv("NO_PROXY", "*", 1);
    }

    static std::string Page(const std::string& status, const std::string& body) {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
};

TEST_F(UpdateCheckOverHttp, OfferFromRedirectedReplyOpensTheDownload) {
    test::ScriptedHttpServer server([](const std::string& request) {
        if (test::RequestTarget(request) == "/client/api.asp?code=10024") {
            return test::ScriptedReply{"HTTP/1.1 302 Found\r\nLocation: /v2\r\nContent-Length: 0\r\n\r\n"};
        }
        return test::ScriptedReply{Page("200 OK", Reply("2.0.0.0", kDownload, "new"))};
    });
    ASSERT_TRUE(server.Listening());
    Events events;
    CurlHttpClient http(2000, 5000);
    FakeBoxes boxes(events);
    FakeOpener opener(events);
    UpdateServices services{server.BaseUrl(), http, boxes, opener,
                            [&](std::int32_t code) { events.push_back("end: " + std::to_string(code)); }};

    CheckForUpdate("10024", "1.0.0.0", false, kHomePage, services);

    EXPECT_EQ(events, (Events{Offer("2.0.0.0\r\nnew"), Opened(kDownload), kEnded}));
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[0].substr(0, server.Requests()[0].find("\r\n")),
              "GET /client/api.asp?code=10024 HTTP/1.0");
}

TEST_F(UpdateCheckOverHttp, ErrorReportedWithAnErrorStatusStillCounts) {
    test::ScriptedHttpServer server(
        [](const std::string&) { return test::ScriptedReply{Page("404 Not Found", Reply("Error"))}; });
    ASSERT_TRUE(server.Listening());
    Events events;
    CurlHttpClient http(2000, 5000);
    FakeBoxes boxes(events);
    FakeOpener opener(events);
    UpdateServices services{server.BaseUrl(), http, boxes, opener,
                            [&](std::int32_t code) { events.push_back("end: " + std::to_string(code)); }};

    CheckForUpdate("10024", "1.0.0.0", false, kHomePage, services);

    EXPECT_EQ(events, (Events{ErrorBox(), Opened(kHomePage), kEnded}));
}

TEST_F(UpdateCheckOverHttp, UnreachableServiceRunsOnSilently) {
    Events events;
    CurlHttpClient http(300, 300);
    FakeBoxes boxes(events);
    FakeOpener opener(events);
    // Port 1 on loopback: nothing listens there, the connection is refused.
    UpdateServices services{"http://127.0.0.1:1", http, boxes, opener,
                            [&](std::int32_t code) { events.push_back("end: " + std::to_string(code)); }};

    CheckForUpdate("10024", "1.0.0.0", true, kHomePage, services);

    EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace quorvel
