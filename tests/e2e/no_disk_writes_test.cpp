// The program keeps no files: a whole run under strace (start with an update check that finds
// nothing, Start, polls, close) must not open a file for writing, create, rename, remove or truncate
// anything outside /dev.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "build_config.h"
#include "child_process.h"
#include "common/gbk.h"
#include "program_watch.h"
#include "real_program.h"
#include "update/scripted_http_server.h"
#include "x11_windows.h"

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kCaption = "Quorvel - Larkmere";
const char* const kTraced =
    "open,openat,openat2,creat,rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat,truncate,ftruncate";

struct TracedCall {
    std::string line;
    bool succeeded = false;
};

// The calls of one strace -y line that change the file system: opens with a writing flag, creat,
// and every rename, unlink, mkdir and truncate. Anything naming only /dev is left out.
bool ChangesFiles(const std::string& line) {
    static const std::regex call(R"(^(\w+)\((.*)\)\s+=\s+(-?\d+))");
    std::smatch parts;
    if (!std::regex_search(line, parts, call)) {
        return false;
    }
    const std::string name = parts[1];
    const std::string arguments = parts[2];
    // The named paths; a call that names none (ftruncate) is judged by its descriptor's path.
    static const std::regex named(R"re("(/[^"]*)")re");
    static const std::regex descriptor(R"re(<(/[^>]*)>)re");
    bool outsideDev = false;
    bool anyPath = false;
    for (const std::regex* paths : {&named, &descriptor}) {
        for (auto it = std::sregex_iterator(arguments.begin(), arguments.end(), *paths); it != std::sregex_iterator();
             ++it) {
            anyPath = true;
            outsideDev = outsideDev || (*it)[1].str().rfind("/dev/", 0) != 0;
        }
        if (anyPath) {
            break;
        }
    }
    if (anyPath && !outsideDev) {
        return false;
    }
    if (name == "open" || name == "openat" || name == "openat2") {
        static const std::regex writing(R"(O_WRONLY|O_RDWR|O_CREAT|O_TRUNC)");
        return std::regex_search(arguments, writing);
    }
    return true;  // creat, rename*, unlink*, mkdir*, truncate, ftruncate
}

std::vector<TracedCall> FileChanges(const fs::path& directory, const std::string& prefix, int& hostsReads) {
    std::vector<TracedCall> changes;
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (entry.path().filename().string().rfind(prefix, 0) != 0) {
            continue;
        }
        std::ifstream trace(entry.path());
        std::string line;
        while (std::getline(trace, line)) {
            hostsReads += line.find("\"/etc/hosts\"") != std::string::npos ? 1 : 0;
            if (ChangesFiles(line)) {
                changes.push_back({line, line.find("= -1 ") == std::string::npos});
            }
        }
    }
    return changes;
}

class NoDiskWrites : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = ReasonNotToStartTheProgram(display_); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        host_ = BuiltInLoopbackService()->host;
        port_ = BuiltInLoopbackService()->port;
        if (!fs::exists("/usr/bin/strace")) {
            GTEST_SKIP() << "strace is not installed (scripts/debian-packages lists it)";
        }
        listPath_ = fs::canonical(QUORVEL_BINARY).parent_path() / "server.txt";
        // One host that answers and one name glibc looks up in /etc/hosts and then refuses.
        std::ofstream(listPath_, std::ios::binary | std::ios::trunc) << Utf8ToGbk("本机=127.0.0.1\r\n坏=bad host\r\n");
        scratch_ = fs::temp_directory_path() / ("quorvel-writes-" + std::to_string(getpid()));
        fs::create_directories(scratch_);
        WriteScript(scratch_ / "traced", std::string("exec strace -f -ff -qq -y -o \"$QUORVEL_TRACE\" -e trace=") +
                                             kTraced + " \"$QUORVEL_PROGRAM\"\n");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!listPath_.empty()) {
            fs::remove(listPath_, ignored);
        }
        if (!scratch_.empty()) {
            fs::remove_all(scratch_, ignored);
        }
    }

    X11Display display_;
    std::uint32_t host_ = 0;
    std::uint16_t port_ = 0;
    fs::path listPath_;
    fs::path scratch_;
};

TEST_F(NoDiskWrites, AWholeRunWritesNothing) {
    // A service that offers nothing: the check ends quietly and the window comes up.
    ScriptedHttpServer service([](const std::string&) { return ScriptedReply{"HTTP/1.0 404 Not Found\r\n\r\nno"}; },
                               host_, port_);
    ASSERT_TRUE(service.Listening());
    ChildProcess strace(
        (scratch_ / "traced").string(), "/",
        {"QUORVEL_TRACE=" + (scratch_ / "trace").string(), std::string("QUORVEL_PROGRAM=") + QUORVEL_BINARY,
         "XDG_RUNTIME_DIR=" + (scratch_ / "runtime").string()});
    const auto window = display_.WaitForViewableWindow(kCaption, 30s);
    ASSERT_NE(window, 0u) << "the window never appeared under strace";
    EXPECT_EQ(service.Requests().size(), 1u);
    // Polls every 0.1 s from 3 s after Start; by 4.5 s several have run.
    TypeIntervalAndStart(display_, window, "0.1");
    std::this_thread::sleep_for(4500ms);
    display_.RequestClose(window);
    EXPECT_EQ(strace.WaitForExit(10s), 0);

    int hostsReads = 0;
    const std::vector<TracedCall> changes = FileChanges(scratch_, "trace", hostsReads);
    EXPECT_GT(hostsReads, 0) << "no poll looked up the unresolvable host";
    // Qt's platform layer creates $XDG_RUNTIME_DIR (mode 0700) when it is missing; that empty directory
    // is Qt's, not ours, and is the one change let through. It is pointed at a fresh path above so
    // that it shows up every time.
    const std::string runtimeDirectory = "mkdir(\"" + (scratch_ / "runtime").string() + "\", 0700)";
    int succeeded = 0;
    for (const TracedCall& change : changes) {
        const bool qtRuntime = change.line.rfind(runtimeDirectory, 0) == 0;
        std::printf("no disk writes: %s %s\n",
                    qtRuntime ? "allowed (Qt's runtime directory)" : (change.succeeded ? "WROTE" : "tried"),
                    change.line.c_str());
        if (!qtRuntime) {
            succeeded += change.succeeded ? 1 : 0;
            EXPECT_FALSE(change.succeeded) << change.line;
        }
    }
    std::printf("no disk writes: traced_calls_changing_files=%d succeeded_besides_qt_runtime_dir=%d hosts_lookups=%d\n",
                static_cast<int>(changes.size()), succeeded, hostsReads);
}

}  // namespace
}  // namespace quorvel::test
