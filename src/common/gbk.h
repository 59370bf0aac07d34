#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Text inside the program is GBK (code page 936) bytes; these convert at the boundary with Qt.
// Bytes that are not valid GBK become U+FFFD; characters GBK cannot hold become "?".
[[nodiscard]] std::string GbkToUtf8(std::string_view gbk);
[[nodiscard]] std::string Utf8ToGbk(std::string_view utf8);

// A text never holds a NUL byte: bytes from a file or a reply are cut before the first one.
[[nodiscard]] std::string_view TextFromBytes(std::string_view bytes);

// True for a byte that opens a two-byte character (0x80..0xFF).
[[nodiscard]] constexpr bool IsLeadByte(char byte) { return static_cast<unsigned char>(byte) >= 0x80; }

}  // namespace quorvel
