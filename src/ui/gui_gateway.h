#pragma once

#include <QObject>
#include <QThread>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace quorvel {

// The one place where other threads reach the GUI thread: Call runs a function there and waits for
// it to finish. The GUI thread never waits for a worker, so this cannot deadlock. Create it on the
// GUI thread; it must outlive every worker that may still call it (the program never deletes its one).
// Once the GUI thread's event loop has stopped for good, a worker's call waits until the process ends.
class GuiGateway : public QObject {
public:
    GuiGateway() = default;

    template <class Function>
    std::invoke_result_t<Function&> Call(Function&& function) {
        using Result = std::invoke_result_t<Function&>;
        if (QThread::currentThread() == thread()) {
            return function();
        }
        if constexpr (std::is_void_v<Result>) {
            RunOnGuiThread(function);
        } else {
            std::optional<Result> result;
            RunOnGuiThread([&] { result.emplace(function()); });
            return result ? std::move(*result) : Result{};
        }
    }

protected:
    bool event(QEvent* event) override;

private:
    // Posts work to the GUI thread and waits until it has run there.
    void RunOnGuiThread(const std::function<void()>& work);
};

}  // namespace quorvel
