#pragma once

namespace quorvel {

// The application-wide look: the desktop's GUI font family at the size the fixed layout is measured
// for, and Qt's own translations for the desktop's language (standard dialog buttons). Call once,
// after the QApplication exists.
void ApplyDesktopConventions();

}  // namespace quorvel
