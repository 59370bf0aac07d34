// FoldFullWidth against a character-by-character model of the folding table, plus properties any
// correct folding has.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/full_width.h"
#include "fuzz_support.h"
#include "reference_models.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel::fuzz;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string folded = quorvel::FoldFullWidth(text);
    const std::string expected = model::Fold(text);
    if (folded != expected) {
        Differs("FoldFullWidth differs from the model",
                {{"text", Escaped(text)}, {"product", Escaped(folded)}, {"model", Escaped(expected)}});
    }
    // A character folds to at most one byte, and ASCII never turns into a lead byte, so folding never
    // grows the text and a second pass changes nothing.
    if (folded.size() > text.size()) {
        Differs("folding made the text longer", {{"text", Escaped(text)}, {"product", Escaped(folded)}});
    }
    const std::string twice = quorvel::FoldFullWidth(folded);
    if (twice != folded) {
        Differs("folding twice differs from folding once",
                {{"text", Escaped(text)}, {"once", Escaped(folded)}, {"twice", Escaped(twice)}});
    }
    // Plain ASCII passes unchanged.
    bool ascii = true;
    for (const char c : text) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii && folded != text) {
        Differs("ASCII text was changed", {{"text", Escaped(text)}, {"product", Escaped(folded)}});
    }
    return 0;
}
