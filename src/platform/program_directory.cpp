#include "platform/program_directory.h"

#include <unistd.h>

namespace quorvel {

// Callers append "/server.txt". A program in the root directory therefore gets "" (so "/server.txt"),
// the counterpart of a bare drive letter on systems with drives.
std::string ProgramDirectory() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            break;
        }
        // readlink cuts the target silently; a full buffer may mean a cut path.
        if (path.size() >= 1U << 20) {
            return {};
        }
        path.resize(path.size() * 2);
    }
    // A program file deleted while running reads "<path> (deleted)"; its directory part is still right.
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    path.resize(slash);
    return path;
}

}  // namespace quorvel
