#include "common/full_width.h"

#include "common/gbk.h"

namespace quorvel {
namespace {

// The ASCII byte that a two-byte character stands for, or 0 when it has none.
char AsciiFor(unsigned char lead, unsigned char trail) {
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        return static_cast<char>(trail - 0x80);
    }
    if (lead != 0xA1) {
        return 0;
    }
    switch (trail) {
        case 0xA1:
            return ' ';
        case 0xAB:
            return '~';
        case 0xEE:
        case 0xEF:
            return '*';
        default:
            return 0;
    }
}

}  // namespace

std::string FoldFullWidth(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsLeadByte(text[i])) {
            folded += text[i];
            continue;
        }
        if (i + 1 == text.size()) {
            break;
        }
        const char ascii = AsciiFor(static_cast<unsigned char>(text[i]), static_cast<unsigned char>(text[i + 1]));
        if (ascii != 0) {
            folded += ascii;
        } else {
            folded.append(text.substr(i, 2));
        }
        ++i;
    }
    return folded;
}

}  // namespace quorvel
