#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "common/gbk.h"

namespace quorvel {

// The only crossing between the program's GBK texts and Qt's Unicode strings.
[[nodiscard]] inline QString ToQString(std::string_view gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}
// For multi-line texts shown by Qt: the program's lines end in CR LF, which Qt would show as two
// breaks (or a stray glyph) instead of one.
[[nodiscard]] inline QString ToDisplayLines(std::string_view gbk) {
    return ToQString(gbk).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
[[nodiscard]] inline std::string FromQString(const QString& text) {
    return Utf8ToGbk(text.toStdString());
}

}  // namespace quorvel
