#include "app/core/lifetime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "app/core/server_list_text.h"

namespace quorvel {
namespace {

// Exit routines print so that a death test can see that, and in which order, they ran.
void FirstRoutine() {
    std::fputs("first;", stderr);
}
void SecondRoutine() {
    std::fputs("second;", stderr);
}

TEST(ExitRoutines, RunOnceInTheOrderAddedAndADuplicateChangesNothing) {
    EXPECT_EXIT(
        {
            AddExitRoutine(FirstRoutine);
            AddExitRoutine(SecondRoutine);
            AddExitRoutine(FirstRoutine);
            RunExitRoutines();
            RunExitRoutines();
            std::fflush(stderr);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "^first;second;$");
}

TEST(EndProgram, RunsTheExitRoutinesAndEndsWithTheGivenCode) {
    EXPECT_EXIT(
        {
            RecordGuiThread({});
            AddExitRoutine(FirstRoutine);
            EndProgram(3);
        },
        testing::ExitedWithCode(3), "^first;$");
}

// A minimal event loop: work posted to the "GUI thread" runs there, one item after another.
class PostedWork {
public:
    void Post(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
        ready_.notify_one();
    }
    [[noreturn]] void RunForever() {
        for (;;) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return !queue_.empty(); });
            auto work = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            work();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> queue_;
};

TEST(EndProgram, FromAWorkerIsCarriedOutOnTheGuiThreadWhileTheWorkerWaits) {
    EXPECT_EXIT(
        {
            auto* loop = new PostedWork;
            RecordGuiThread([loop](std::function<void()> work) { loop->Post(std::move(work)); });
            AddExitRoutine([] {
                std::fputs(OnGuiThread() ? "on gui thread;" : "on worker;", stderr);
                std::fflush(stderr);
            });
            std::thread([] {
                EndProgram(5);
                std::fputs("worker returned;", stderr);  // must never happen
            }).detach();
            loop->RunForever();
        },
        testing::ExitedWithCode(5), "^on gui thread;$");
}

TEST(ServerListText, ASnapshotOutlivesReplacementAndRelease) {
    SharedText text;
    EXPECT_EQ(text.Snapshot(), nullptr);
    text.Replace("a=127.0.0.1");
    const auto kept = text.Snapshot();
    text.Replace("b=127.0.0.2");
    EXPECT_EQ(*kept, "a=127.0.0.1");
    EXPECT_EQ(*text.Snapshot(), "b=127.0.0.2");
    text.Release();
    EXPECT_EQ(text.Snapshot(), nullptr);
    EXPECT_EQ(*kept, "a=127.0.0.1");
}

TEST(ServerListText, ReplacementsAndReadsFromManyThreadsSeeWholeTexts) {
    SharedText text;
    const std::string first(4096, 'a');
    const std::string second(8192, 'b');
    text.Replace(first);
    std::atomic<bool> torn{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            text.Replace(i % 2 ? first : second);
        }
    });
    std::thread reader([&] {
        for (int i = 0; i < 2000; ++i) {
            const auto seen = text.Snapshot();
            torn = torn || !(seen && (*seen == first || *seen == second));
        }
    });
    writer.join();
    reader.join();
    EXPECT_FALSE(torn);
}

}  // namespace
}  // namespace quorvel
