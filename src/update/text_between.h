#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

// The bytes between the first StartMarker at or after StartPos (1-based; below 1 means 1) and the
// first EndMarker after it; empty when either is missing. "#引号" in a marker stands for a double
// quote. Matches never begin on the trail byte of a two-byte character.
[[nodiscard]] std::string TextBetween(std::string_view FullText, std::string_view StartMarker,
                                      std::string_view EndMarker, std::int32_t StartPos, bool CaseInsensitive);

}  // namespace quorvel
