#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <optional>
#include <type_traits>
#include <utility>

namespace quorvel {

// The one place where other threads reach the GUI thread: Call runs a function there and waits for
// its result. The GUI thread never waits for a worker, so this cannot deadlock. Create it on the GUI
// thread; it must outlive every worker that may still call it (the program never deletes its one).
class GuiGateway {
public:
    GuiGateway() = default;
    GuiGateway(const GuiGateway&) = delete;
    GuiGateway& operator=(const GuiGateway&) = delete;

    template <class Function>
    std::invoke_result_t<Function&> Call(Function&& function) {
        using Result = std::invoke_result_t<Function&>;
        if (QThread::currentThread() == context_.thread()) {
            return function();
        }
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(&context_, function, Qt::BlockingQueuedConnection);
        } else {
            std::optional<Result> result;
            QMetaObject::invokeMethod(
                &context_, [&] { result.emplace(function()); }, Qt::BlockingQueuedConnection);
            return result ? std::move(*result) : Result{};
        }
    }

private:
    QObject context_;  // lives on the thread that created the gateway
};

}  // namespace quorvel
