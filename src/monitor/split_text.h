#pragma once

#include <string_view>
#include <vector>

namespace quorvel {

// Cuts text at every occurrence of separator (never empty). A separator is never matched on the
// trail byte of a two-byte character; a separator at the very end adds no empty member; a lead byte
// that is the last byte of the text ends the scan. The members view into text.
[[nodiscard]] std::vector<std::string_view> SplitText(std::string_view text, std::string_view separator);

}  // namespace quorvel
