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
[[nodiscard]] inline std::string FromQString(const QString& text) {
    return Utf8ToGbk(text.toStdString());
}

}  // namespace quorvel
