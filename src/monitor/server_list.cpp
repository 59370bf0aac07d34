#include "monitor/server_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "app/core/server_list_text.h"
#include "platform/program_directory.h"

namespace quorvel {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

// Reads up to the length reported at open; fewer bytes arriving is not an error, a read error is.
bool ReadUpTo(int fd, std::string& content) {
    std::size_t filled = 0;
    while (filled < content.size()) {
        const ssize_t got = read(fd, content.data() + filled, content.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    content.resize(filled);
    return true;
}

}  // namespace

std::string ReadServerListFile(const std::string& path) {
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        return {};
    }
    std::string content;
    try {
        content.resize(static_cast<std::size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        return {};  // a file larger than memory is an unreadable file
    } catch (const std::length_error&) {
        return {};
    }
    if (!ReadUpTo(file.get(), content)) {
        return {};
    }
    if (const auto nul = content.find('\0'); nul != std::string::npos) {
        content.resize(nul);
        content.shrink_to_fit();  // a NUL early in a large file must not pin the whole buffer
    }
    return content;
}

void LoadServerList() {
    ServerListText().Replace(ReadServerListFile(ProgramDirectory() + "/server.txt"));
}

}  // namespace quorvel
