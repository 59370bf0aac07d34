#pragma once

#include <string>

namespace quorvel {

// Directory of the resolved executable (/proc/self/exe), without a trailing slash; empty on failure.
[[nodiscard]] std::string ProgramDirectory();

}  // namespace quorvel
