#include "ui/gui_gateway.h"

#include <QCoreApplication>
#include <QEvent>
#include <future>

// Qt's event queue orders its hand-offs with futexes that ThreadSanitizer cannot see; tell it about
// the one ordering this gateway relies on: everything before the post happens before the call runs.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define QUORVEL_TSAN_RELEASE(address) __tsan_release(address)
#define QUORVEL_TSAN_ACQUIRE(address) __tsan_acquire(address)
#else
#define QUORVEL_TSAN_RELEASE(address) static_cast<void>(address)
#define QUORVEL_TSAN_ACQUIRE(address) static_cast<void>(address)
#endif

namespace quorvel {
namespace {

const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct CallEvent final : QEvent {
    explicit CallEvent(const std::function<void()>& work) : QEvent(kCallEvent), work(work) {}
    const std::function<void()>& work;  // lives on the waiting worker's stack
    std::promise<void> done;            // lives as long as the event, whenever Qt deletes it
};

}  // namespace

void GuiGateway::RunOnGuiThread(const std::function<void()>& work) {
    auto* call = new CallEvent(work);
    std::future<void> done = call->done.get_future();
    QUORVEL_TSAN_RELEASE(call);
    QCoreApplication::postEvent(this, call);
    done.wait();
}

bool GuiGateway::event(QEvent* event) {
    QUORVEL_TSAN_ACQUIRE(event);
    if (event->type() != kCallEvent) {
        return QObject::event(event);
    }
    auto* call = static_cast<CallEvent*>(event);
    call->work();
    call->done.set_value();
    return true;
}

}  // namespace quorvel
