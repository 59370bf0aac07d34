#include "update/curl_http_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "update/scripted_http_server.h"

namespace quorvel {
namespace {

using quorvel::test::RequestTarget;
using quorvel::test::ScriptedHttpServer;
using quorvel::test::ScriptedReply;
using ::testing::ElementsAre;

constexpr const char* kApiPath = "/client/api.asp?code=10024";

std::string Response(const std::string& statusLine, const std::string& body) {
    return statusLine + "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string Redirect(const std::string& location, const std::string& body = "moved") {
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::vector<std::string> Targets(const ScriptedHttpServer& server) {
    std::vector<std::string> targets;
    for (const std::string& request : server.Requests()) {
        targets.push_back(RequestTarget(request));
    }
    return targets;
}

class CurlHttpClientTest : public ::testing::Test {
protected:
    // Test traffic stays on loopback even when the environment names a proxy.
    static void SetUpTestSuite() {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            unsetenv(name);
        }
        setenv("no_proxy", "*", 1);
        setenv("NO_PROXY", "*", 1);
    }
};

TEST_F(CurlHttpClientTest, SendsAnHttp10GetWithExactlyHostUserAgentAndAccept) {
    ScriptedHttpServer server([](const std::string&) { return ScriptedReply{Response("HTTP/1.1 200 OK", "x")}; });
    ASSERT_TRUE(server.Listening());

    CurlHttpClient client;
    EXPECT_EQ(client.Get(server.BaseUrl() + kApiPath), "x");

    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& request = requests[0];
    // The head ends the request: a GET carries no body.
    ASSERT_GE(request.size(), 4u);
    EXPECT_EQ(request.find("\r\n\r\n"), request.size() - 4) << request;

    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < request.size() - 4;) {
        const std::size_t end = request.find("\r\n", begin);
        lines.push_back(request.substr(begin, end - begin));
        begin = end + 2;
    }
    EXPECT_THAT(lines, ElementsAre("GET /client/api.asp?code=10024 HTTP/1.0",
                                   "Host: 127.0.0.1:" + std::to_string(server.Port()),
                                   "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Accept: */*"));
}

struct ReplyCase {
    const char* name;
    std::string (*respond)(const std::string& target);
    std::string expectedReply;
    std::vector<std::string> expectedTargets;
};

const std::string kMarkedPage = "<html><!--ver-->2.0.0.0<!--verend--></html>";

const ReplyCase kReplyCases[] = {
    {"OkStatus", [](const std::string&) { return Response("HTTP/1.1 200 OK", kMarkedPage); }, kMarkedPage, {kApiPath}},
    // The status is not looked at: an error page is a reply like any other.
    {"NotFoundStatusKeepsBody",
     [](const std::string&) { return Response("HTTP/1.1 404 Not Found", kMarkedPage); },
     kMarkedPage,
     {kApiPath}},
    {"ServerErrorStatusKeepsBody",
     [](const std::string&) { return Response("HTTP/1.0 500 Internal Server Error", "oops"); },
     "oops",
     {kApiPath}},
    {"RedirectOnSameServerIsFollowed",
     [](const std::string& target) {
         return target == "/moved" ? Response("HTTP/1.1 200 OK", kMarkedPage) : Redirect("/moved", "");
     },
     kMarkedPage,
     {kApiPath, "/moved"}},
    {"BodyCutOffKeepsWhatArrived",
     [](const std::string&) {
         return std::string("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<!--ver-->2.0<!--verend--><!--con-->ha");
     },
     "<!--ver-->2.0<!--verend--><!--con-->ha",
     {kApiPath}},
    {"BodyEndedByClosingWithoutLength",
     [](const std::string&) { return std::string("HTTP/1.0 200 OK\r\n\r\n<!--ver-->3<!--verend-->"); },
     "<!--ver-->3<!--verend-->",
     {kApiPath}},
    {"NulByteIsKept",
     [](const std::string&) { return Response("HTTP/1.1 200 OK", std::string("ab\0<!--ver-->", 13)); },
     std::string("ab\0<!--ver-->", 13),
     {kApiPath}},
    {"EmptyBody", [](const std::string&) { return Response("HTTP/1.1 200 OK", ""); }, "", {kApiPath}},
    {"NoHttpAtAll", [](const std::string&) { return std::string(); }, "", {kApiPath}},
};

class CurlHttpClientReplyTest : public CurlHttpClientTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(CurlHttpClientReplyTest, ReplyIsTheBodyThatArrived) {
    const ReplyCase& row = GetParam();
    ScriptedHttpServer server(
        [&row](const std::string& request) { return ScriptedReply{row.respond(RequestTarget(request))}; });
    ASSERT_TRUE(server.Listening());

    CurlHttpClient client(2000, 5000);
    EXPECT_EQ(client.Get(server.BaseUrl() + kApiPath), row.expectedReply);
    EXPECT_EQ(Targets(server), row.expectedTargets);
}

INSTANTIATE_TEST_SUITE_P(Replies, CurlHttpClientReplyTest, ::testing::ValuesIn(kReplyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurlHttpClientTest, RedirectToLocalFileIsNotFollowed) {
    const std::filesystem::path secret =
        std::filesystem::temp_directory_path() / ("quorvel-redirect-" + std::to_string(getpid()) + ".html");
    { std::ofstream(secret) << "<!--ver-->FROMFILE<!--verend-->"; }
    const std::string location = "file://" + secret.string();
    ScriptedHttpServer server([&](const std::string&) { return ScriptedReply{Redirect(location, "redirect body")}; });
    ASSERT_TRUE(server.Listening());

    CurlHttpClient client(2000, 5000);
    const std::string reply = client.Get(server.BaseUrl() + kApiPath);
    std::filesystem::remove(secret);

    EXPECT_EQ(reply.find("FROMFILE"), std::string::npos) << reply;
    EXPECT_TRUE(reply.empty() || reply == "redirect body") << reply;
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(CurlHttpClientTest, RedirectLoopEndsAfterTenFollows) {
    ScriptedHttpServer server([](const std::string& request) {
        return ScriptedReply{Redirect(RequestTarget(request) == "/a" ? "/b" : "/a", "loop")};
    });
    ASSERT_TRUE(server.Listening());

    CurlHttpClient client(2000, 5000);
    const std::string reply = client.Get(server.BaseUrl() + kApiPath);

    EXPECT_TRUE(reply.empty() || reply == "loop") << reply;
    EXPECT_EQ(server.Requests().size(), 11u);  // the request itself and ten redirects
}

TEST_F(CurlHttpClientTest, BodyOverOneMebibyteIsCutToItsFirstMebibyte) {
    std::string body(CurlHttpClient::kMaxBodyBytes + 64 * 1024, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>('a' + i % 23);
    }
    ScriptedHttpServer server([&](const std::string&) { return ScriptedReply{Response("HTTP/1.1 200 OK", body)}; });
    ASSERT_TRUE(server.Listening());

    CurlHttpClient client(2000, 5000);
    const std::string reply = client.Get(server.BaseUrl() + kApiPath);

    ASSERT_EQ(reply.size(), CurlHttpClient::kMaxBodyBytes);
    EXPECT_EQ(reply, body.substr(0, CurlHttpClient::kMaxBodyBytes));
}

TEST_F(CurlHttpClientTest, BodyOfExactlyOneMebibyteIsKeptWhole) {
    const std::string body(CurlHttpClient::kMaxBodyBytes, 'z');
    ScriptedHttpServer server([&](const std::string&) { return ScriptedReply{Response("HTTP/1.1 200 OK", body)}; });
    ASSERT_TRUE(server.Listening());

    CurlHttpClient client(2000, 5000);
    EXPECT_EQ(client.Get(server.BaseUrl() + kApiPath), body);
}

// A silent service must not hold the program's start beyond the time limit. The bound is generous; what
// matters is that the call comes back at all, with whatever arrived before the limit.
struct SilentCase {
    const char* name;
    std::string sentBeforeSilence;
    std::string expectedReply;
};

class CurlHttpClientSilentTest : public CurlHttpClientTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(CurlHttpClientSilentTest, ReturnsAtTheTimeLimitWithWhatArrived) {
    const SilentCase& row = GetParam();
    ScriptedHttpServer server([&](const std::string&) { return ScriptedReply{row.sentBeforeSilence, false}; });
    ASSERT_TRUE(server.Listening());

    CurlHttpClient client(300, 300);
    const auto start = std::chrono::steady_clock::now();
    const std::string reply = client.Get(server.BaseUrl() + kApiPath);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(reply, row.expectedReply);
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_EQ(server.Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Silence, CurlHttpClientSilentTest,
                         ::testing::Values(SilentCase{"NeverAnswers", "", ""},
                                           SilentCase{"StopsInTheBody",
                                                      "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<!--ver-->9",
                                                      "<!--ver-->9"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CurlHttpClientTest, RefusedConnectionGivesEmptyReply) {
    // A port that was just free and has no listener: the kernel refuses at once.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(probe, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    close(probe);

    CurlHttpClient client(3000, 5000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Get("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + kApiPath), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(CurlHttpClientTest, AddressesThatAreNotWebAddressesFetchNothing) {
    const std::filesystem::path local =
        std::filesystem::temp_directory_path() / ("quorvel-local-" + std::to_string(getpid()) + ".html");
    { std::ofstream(local) << "<!--ver-->FROMFILE<!--verend-->"; }
    CurlHttpClient client(1000, 2000);
    const std::string fromFile = client.Get("file://" + local.string());
    std::filesystem::remove(local);

    EXPECT_EQ(fromFile, "");
    EXPECT_EQ(client.Get(""), "");
    EXPECT_EQ(client.Get("http://"), "");
    EXPECT_EQ(client.Get("ftp://127.0.0.1:1/client/api.asp"), "");
}

}  // namespace
}  // namespace quorvel
