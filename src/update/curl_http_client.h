#pragma once

#include <cstddef>
#include <string>

#include "update/update_seams.h"

namespace quorvel {

// The update check's HTTP fetch, done with libcurl. HTTP/1.0, redirects followed over http and https
// only, the status code ignored; whatever part of the body arrived before a failure is the reply.
class CurlHttpClient final : public HttpClient {
public:
    // The reply is only a few markers in a page; a larger body is cut here rather than held in memory.
    static constexpr std::size_t kMaxBodyBytes = std::size_t{1} << 20;

    // The check runs on the GUI thread before the window is shown, so a silent service must not hold
    // the start of the program for long. Tests pass short limits.
    explicit CurlHttpClient(long connectTimeoutMs = 5000, long totalTimeoutMs = 15000);

    [[nodiscard]] std::string Get(const std::string& url) override;

private:
    long connectTimeoutMs_;
    long totalTimeoutMs_;
};

}  // namespace quorvel
