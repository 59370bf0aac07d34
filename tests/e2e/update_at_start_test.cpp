#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "build_config.h"
#include "child_process.h"
#include "real_program.h"
#include "update/scripted_http_server.h"
#include "x11_windows.h"

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kMainCaption = "Quorvel - Larkmere";

std::string Reply(const std::string& version, const std::string& address) {
    const std::string body = "<html><!--ver-->" + version + "<!--verend--><!--add-->" + address +
                             "<!--addend--><!--con-->Faster polls\r\nFewer bytes<!--conend--></html>";
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The real program, built to ask a loopback update service, against a service this test plays. A
// stand-in xdg-open on PATH records what the program asks the desktop to open.
class UpdateAtStart : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = ReasonNotToStartTheProgram(display_); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        host_ = BuiltInLoopbackService()->host;
        port_ = BuiltInLoopbackService()->port;
        scratch_ = fs::temp_directory_path() / ("quorvel-e2e-" + std::to_string(getpid()));
        fs::create_directories(scratch_);
        std::ofstream(scratch_ / "xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$QUORVEL_TEST_OPENED\"\n";
        fs::permissions(scratch_ / "xdg-open", fs::perms::owner_all);
    }
    void TearDown() override {
        if (!scratch_.empty()) {
            fs::remove_all(scratch_);
        }
    }

    std::unique_ptr<ChildProcess> StartProgram() {
        const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
        return std::make_unique<ChildProcess>(
            QUORVEL_BINARY, "/",
            std::vector<std::string>{"PATH=" + scratch_.string() + ":" + path,
                                     "QUORVEL_TEST_OPENED=" + (scratch_ / "opened").string()});
    }

    // What the stand-in was asked to open; it runs detached, so give it a moment.
    std::string Opened() {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!fs::exists(scratch_ / "opened") && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
        }
        std::this_thread::sleep_for(50ms);
        std::ifstream file(scratch_ / "opened");
        std::stringstream content;
        content << file.rdbuf();
        return content.str();
    }

    // Waits for the program to end while making sure its main window never appears.
    std::optional<int> ExitWithoutMainWindow(ChildProcess& program) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (program.Running() && std::chrono::steady_clock::now() < deadline) {
            EXPECT_EQ(display_.FindViewableWindow(kMainCaption), 0u) << "the main window was shown";
            std::this_thread::sleep_for(5ms);
        }
        return program.WaitForExit(0ms);
    }

    X11Display display_;
    std::uint32_t host_ = 0;
    std::uint16_t port_ = 0;
    fs::path scratch_;
};

TEST_F(UpdateAtStart, AcceptedOfferOpensTheDownloadAndEndsWithZeroBeforeTheWindowShows) {
    ScriptedHttpServer service(
        [](const std::string&) { return ScriptedReply{Reply("2.0.0.0", "http://127.0.0.1/q2.zip")}; }, host_, port_);
    ASSERT_TRUE(service.Listening());
    auto program = StartProgram();
    const auto offer = display_.WaitForViewableWindow("在线更新:", 10s);
    ASSERT_NE(offer, 0u) << "the offer never appeared";
    EXPECT_EQ(display_.FindViewableWindow(kMainCaption), 0u);
    display_.PressKey(offer, "Return");  // Yes is the default button
    EXPECT_EQ(ExitWithoutMainWindow(*program), 0);
    EXPECT_EQ(Opened(), "http://127.0.0.1/q2.zip\n");
    ASSERT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(RequestTarget(service.Requests()[0]), "/client/api.asp?code=10024");
}

TEST_F(UpdateAtStart, ServiceErrorOpensTheHomePageAndEndsWithZero) {
    ScriptedHttpServer service([](const std::string&) { return ScriptedReply{Reply("Error", "")}; }, host_, port_);
    ASSERT_TRUE(service.Listening());
    auto program = StartProgram();
    const auto box = display_.WaitForViewableWindow("消息", 10s);
    ASSERT_NE(box, 0u) << "the error box never appeared";
    display_.RequestClose(box);
    EXPECT_EQ(ExitWithoutMainWindow(*program), 0);
    EXPECT_EQ(Opened(), std::string(build::kHomePage) + "\n");
}

TEST_F(UpdateAtStart, DeclinedOfferLetsTheProgramRunOn) {
    ScriptedHttpServer service([](const std::string&) { return ScriptedReply{Reply("0.9", "http://127.0.0.1/old")}; },
                               host_, port_);
    ASSERT_TRUE(service.Listening());
    auto program = StartProgram();
    const auto offer = display_.WaitForViewableWindow("在线更新:", 10s);
    ASSERT_NE(offer, 0u);
    display_.PressKey(offer, "Escape");  // Escape means No
    const auto window = display_.WaitForViewableWindow(kMainCaption, 10s);
    ASSERT_NE(window, 0u);
    display_.RequestClose(window);
    EXPECT_EQ(program->WaitForExit(5s), 0);
    EXPECT_FALSE(fs::exists(scratch_ / "opened"));
}

}  // namespace
}  // namespace quorvel::test
