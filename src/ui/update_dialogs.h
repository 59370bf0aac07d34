#pragma once

#include <string>

#include "update/update_seams.h"

namespace quorvel {

// The update check's two boxes as QMessageBox: no owner window, modal for the whole application, the
// texts shown as plain text. Must be called on the GUI thread; anywhere else no box can be shown and
// the answer is None.
class QtMessageBoxes final : public MessageBoxes {
public:
    BoxAnswer ShowError(const std::string& text, const std::string& title) override;
    // Answerable only with Yes or No: Escape and the close box mean No, Enter means Yes.
    BoxAnswer AskYesNo(const std::string& text, const std::string& title) override;
};

// The desktop's "open" action through QDesktopServices (xdg-open on Linux, started detached).
class DesktopAddressOpener final : public AddressOpener {
public:
    void Open(const std::string& address) override;
};

}  // namespace quorvel
