#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "build_config.h"
#include "child_process.h"
#include "real_program.h"
#include "x11_windows.h"

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kCaption = "Quorvel - Larkmere";

// Starts the real program on the X server in DISPLAY (scripts/test provides Xvfb).
class RealProgram : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = ReasonNotToStartTheProgram(display_); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        ASSERT_TRUE(fs::exists(QUORVEL_BINARY));
    }

    static std::string CurrentDirectoryOf(pid_t pid) {
        return fs::read_symlink("/proc/" + std::to_string(pid) + "/cwd").string();
    }

    X11Display display_;
};

TEST_F(RealProgram, StartedElsewhereItWorksInItsOwnDirectoryAndClosingEndsWithZero) {
    ChildProcess program(QUORVEL_BINARY, "/");
    const auto window = display_.WaitForViewableWindow(kCaption, 10s);
    ASSERT_NE(window, 0u) << "the window never appeared";
    EXPECT_EQ(CurrentDirectoryOf(program.Pid()), fs::canonical(QUORVEL_BINARY).parent_path().string());

    const std::string shot = std::string(QUORVEL_TEST_OUTPUT) + "/main-window.png";
    const std::string grab = "import -window " + std::to_string(window) + " '" + shot + "' 2>/dev/null";
    if (std::system(grab.c_str()) == 0) {
        RecordProperty("screenshot", shot);
    }

    display_.RequestClose(window);
    EXPECT_EQ(program.WaitForExit(5s), 0);
}

}  // namespace
}  // namespace quorvel::test
