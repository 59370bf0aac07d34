#include "common/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace quorvel {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

// An iconv descriptor carries shift state and must not be shared between threads, so every thread
// keeps one per direction and resets it before each conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != kInvalid) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    iconv_t Fresh() {
        if (cd_ != kInvalid) {
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return cd_;
    }

private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_;
};

// glibc's UTF-8 decoder converts all the input it is offered before the next step of a conversion
// looks at any of it, so each stop at an unmappable character would cost the length of everything
// behind it: quadratic for a long text with many of them. Offering the input a slice at a time keeps
// every stop cheap; a character cut by the end of a slice is taken up again with the next one.
constexpr std::size_t kSliceBytes = 256;

// Converts as much of input as iconv accepts, appending to output and consuming input. Returns the
// errno that stopped it, or 0 when everything was converted. A descriptor that failed to open stops
// with EBADF at once, so the callers' error handling turns every byte into a replacement.
int ConvertSome(iconv_t cd, std::string_view& input, std::string& output) {
    char buffer[512];
    while (!input.empty()) {
        const std::size_t offered = input.size() < kSliceBytes ? input.size() : kSliceBytes;
        char* source = const_cast<char*>(input.data());
        std::size_t sourceLeft = offered;
        char* target = buffer;
        std::size_t targetLeft = sizeof buffer;
        const std::size_t result = iconv(cd, &source, &sourceLeft, &target, &targetLeft);
        const int error = errno;
        output.append(buffer, static_cast<std::size_t>(target - buffer));
        const std::size_t consumed = offered - sourceLeft;
        const bool cutBySlice = offered < input.size();
        input.remove_prefix(consumed);
        if (result == static_cast<std::size_t>(-1) && error != E2BIG &&
            !(error == EINVAL && cutBySlice && consumed > 0)) {
            return error;
        }
    }
    return 0;
}

bool IsContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Length that a well-formed UTF-8 sequence with this first byte would have; 0 for a byte that never
// starts one.
std::size_t Utf8LengthFor(unsigned char first) {
    if (first < 0x80) {
        return 1;
    }
    if (first >= 0xC2 && first <= 0xDF) {
        return 2;
    }
    if (first >= 0xE0 && first <= 0xEF) {
        return 3;
    }
    return first >= 0xF0 && first <= 0xF4 ? 4 : 0;
}

// The length of the well-formed UTF-8 character at the start of text, or 1 when the bytes there are
// not one. iconv reports an unmappable character and malformed input with the same EILSEQ; this tells
// them apart so that one character, but only one byte of garbage, becomes one "?".
std::size_t Utf8CharLength(std::string_view text) {
    const auto first = static_cast<unsigned char>(text[0]);
    const std::size_t length = Utf8LengthFor(first);
    if (length <= 1 || length > text.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(text[i])) {
            return 1;
        }
    }
    const auto second = static_cast<unsigned char>(text[1]);
    const bool overlongOrSurrogate = (first == 0xE0 && second < 0xA0) || (first == 0xED && second > 0x9F) ||
                                     (first == 0xF0 && second < 0x90) || (first == 0xF4 && second > 0x8F);
    return overlongOrSurrogate ? 1 : length;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
    thread_local Converter converter("UTF-8", "CP936");
    const iconv_t cd = converter.Fresh();
    std::string utf8;
    utf8.reserve(gbk.size() * 3 / 2);
    for (;;) {
        const int error = ConvertSome(cd, gbk, utf8);
        if (error == 0) {
            return utf8;
        }
        utf8 += kReplacementUtf8;
        if (error == EINVAL) {  // a lead byte cut off by the end of the text
            return utf8;
        }
        gbk.remove_prefix(1);
    }
}

std::string Utf8ToGbk(std::string_view utf8) {
    thread_local Converter converter("CP936", "UTF-8");
    const iconv_t cd = converter.Fresh();
    std::string gbk;
    gbk.reserve(utf8.size());
    for (;;) {
        if (ConvertSome(cd, utf8, gbk) == 0) {
            return gbk;
        }
        gbk += '?';
        utf8.remove_prefix(Utf8CharLength(utf8));
    }
}

std::string_view TextFromBytes(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

}  // namespace quorvel
