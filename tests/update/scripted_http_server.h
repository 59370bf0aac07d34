#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel::test {

// What the server does with one connection: send these raw bytes, then close, or hold the connection
// open and silent until the client goes away.
struct ScriptedReply {
    std::string bytes;
    bool thenClose = true;
};

// A one-thread HTTP server on a loopback address (127.0.0.1 and an ephemeral port unless told otherwise). Each connection's request head is
// recorded and handed to the responder, which scripts the raw response.
class ScriptedHttpServer {
public:
    using Responder = std::function<ScriptedReply(const std::string& request)>;

    explicit ScriptedHttpServer(Responder responder, std::uint32_t hostAddress = INADDR_LOOPBACK,
                                std::uint16_t port = 0)
        : responder_(std::move(responder)) {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int reuse = 1;
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(hostAddress);
        address.sin_port = htons(port);
        socklen_t length = sizeof address;
        if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listenFd_, 16) != 0 || getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        stopFd_ = eventfd(0, EFD_CLOEXEC);
        thread_ = std::thread([this] { Serve(); });
    }

    ~ScriptedHttpServer() {
        if (thread_.joinable()) {
            const std::uint64_t one = 1;
            (void)!write(stopFd_, &one, sizeof one);
            thread_.join();
        }
        if (stopFd_ >= 0) {
            close(stopFd_);
        }
        if (listenFd_ >= 0) {
            close(listenFd_);
        }
    }

    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    [[nodiscard]] bool Listening() const { return port_ != 0; }
    [[nodiscard]] std::uint16_t Port() const { return port_; }
    [[nodiscard]] std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

    [[nodiscard]] std::vector<std::string> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    // Waits until fd is ready for `events` or the server is told to stop; false on stop.
    [[nodiscard]] bool WaitFor(int fd, short events) const {
        pollfd fds[2] = {{fd, events, 0}, {stopFd_, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0) {
        }
        return (fds[1].revents & POLLIN) == 0;
    }

    void Serve() {
        while (WaitFor(listenFd_, POLLIN)) {
            const int connection = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                continue;
            }
            HandleConnection(connection);
            close(connection);
        }
    }

    void HandleConnection(int connection) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            if (!WaitFor(connection, POLLIN)) {
                return;
            }
            const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(got));
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        const ScriptedReply reply = responder_(request);
        const std::string& bytes = reply.bytes;
        std::size_t sent = 0;
        while (sent < bytes.size() && WaitFor(connection, POLLOUT)) {
            const ssize_t put = send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (put <= 0) {
                return;  // the client stopped reading, e.g. after its size limit
            }
            sent += static_cast<std::size_t>(put);
        }
        if (!reply.thenClose) {
            // Hold the connection until the client gives up and closes it.
            while (WaitFor(connection, POLLIN) && recv(connection, buffer, sizeof buffer, 0) > 0) {
            }
            return;
        }
        shutdown(connection, SHUT_WR);
    }

    Responder responder_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
};

// The path of a recorded request line "GET <path> HTTP/1.0".
[[nodiscard]] inline std::string RequestTarget(const std::string& request) {
    const auto first = request.find(' ');
    const auto second = request.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        return {};
    }
    return request.substr(first + 1, second - first - 1);
}

}  // namespace quorvel::test
