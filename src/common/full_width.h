#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Turns the GBK full-width forms of ASCII (and the ideographic space, the wave dash and the two
// asterisk-like marks) into their ASCII bytes, so that numbers typed with a Chinese input method read
// the same as plain ones. A lead byte at the very end is dropped.
[[nodiscard]] std::string FoldFullWidth(std::string_view text);

}  // namespace quorvel
