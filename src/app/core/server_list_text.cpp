#include "app/core/server_list_text.h"

#include <utility>

namespace quorvel {

void SharedText::Replace(std::string text) {
    auto replacement = std::make_shared<const std::string>(std::move(text));
    std::shared_ptr<const std::string> previous;
    {
        std::lock_guard lock(mutex_);
        previous = std::exchange(text_, std::move(replacement));
    }
    // The old text is freed here, outside the lock, unless a running poll still holds it.
}

std::shared_ptr<const std::string> SharedText::Snapshot() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void SharedText::Release() {
    std::shared_ptr<const std::string> previous;
    std::lock_guard lock(mutex_);
    previous = std::exchange(text_, nullptr);
}

SharedText& ServerListText() {
    // Never destroyed: a poll worker may still take a snapshot while the process ends.
    static auto* text = new SharedText;
    return *text;
}

void ProgramExit() {
    ServerListText().Release();
}

}  // namespace quorvel
