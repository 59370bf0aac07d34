#pragma once

// Shared by every fuzz target: reporting a disagreement with a reference model, and cutting the fuzz
// input into the arguments of the routine under test.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quorvel::fuzz {

// scripts/fuzz tells a wrong answer from a crash by this word at the start of a line. Both end in
// abort(), so libFuzzer keeps the input either way.
inline constexpr const char* kDifferenceMarker = "QUORVEL-FUZZ-DIFFERENCE";

// Bytes as a C string literal, so that a report can be pasted into a unit test table.
inline std::string Escaped(std::string_view bytes) {
    std::string out = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
            // A hex escape swallows every hex digit after it; close and reopen the literal.
            out += "\"\"";
        }
    }
    out += '"';
    return out;
}

using Detail = std::pair<const char*, std::string>;

[[noreturn]] inline void Differs(const char* what, std::initializer_list<Detail> details) {
    std::fprintf(stderr, "%s: %s\n", kDifferenceMarker, what);
    for (const Detail& detail : details) {
        std::fprintf(stderr, "  %s: %s\n", detail.first, detail.second.c_str());
    }
    std::fflush(stderr);
    std::abort();
}

// Takes the fuzz input apart front to back; once it is used up every request gets zeros or nothing,
// so a short input still makes a complete call.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t Byte() {
        if (rest_.empty()) {
            return 0;
        }
        const auto byte = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return byte;
    }

    std::string_view Bytes(std::size_t count) {
        const std::string_view taken = rest_.substr(0, count);
        rest_.remove_prefix(taken.size());
        return taken;
    }

    std::int32_t Int32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | Byte();
        }
        std::int32_t result;
        std::memcpy(&result, &value, sizeof result);
        return result;
    }

    std::string_view Rest() {
        const std::string_view taken = rest_;
        rest_ = {};
        return taken;
    }

private:
    std::string_view rest_;
};

}  // namespace quorvel::fuzz
