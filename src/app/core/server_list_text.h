#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace quorvel {

// The server list as last loaded. Replacing it, a poll taking it and its release at exit exclude
// each other; a poll keeps its own reference, so a later replacement or release never pulls the text
// from under a running poll.
class SharedText {
public:
    void Replace(std::string text);
    [[nodiscard]] std::shared_ptr<const std::string> Snapshot() const;
    void Release();

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const std::string> text_;
};

[[nodiscard]] SharedText& ServerListText();

// The exit routine: releases ServerListText.
void ProgramExit();

}  // namespace quorvel
