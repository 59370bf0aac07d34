#pragma once

#include <string>

namespace quorvel {

// The whole file, cut before its first NUL byte; empty when it cannot be opened or read.
[[nodiscard]] std::string ReadServerListFile(const std::string& path);

// Replaces ServerListText with server.txt from the program's directory (never the current one).
void LoadServerList();

}  // namespace quorvel
