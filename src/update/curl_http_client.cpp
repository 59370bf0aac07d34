#include "update/curl_http_client.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace quorvel {

namespace {

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr const char* kWebProtocols = "http,https";
constexpr long kMaxRedirects = 10;

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using HeaderList = std::unique_ptr<curl_slist, SlistCleanup>;

bool GlobalInitDone() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

struct Body {
    std::string bytes;
    std::size_t limit;
};

// Returning less than was offered makes libcurl abort the transfer; the bytes kept so far stay the reply.
std::size_t KeepBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto* body = static_cast<Body*>(context);
    const std::size_t offered = size * count;
    const std::size_t room = body->limit - body->bytes.size();
    const std::size_t taken = offered < room ? offered : room;
    body->bytes.append(data, taken);
    return taken;
}

}  // namespace

CurlHttpClient::CurlHttpClient(long connectTimeoutMs, long totalTimeoutMs)
    : connectTimeoutMs_(connectTimeoutMs), totalTimeoutMs_(totalTimeoutMs) {}

std::string CurlHttpClient::Get(const std::string& url) {
    if (!GlobalInitDone()) {
        return {};
    }
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        return {};
    }
    CURL* const handle = easy.get();

    // Replaces libcurl's own Accept line, so the request carries exactly one.
    HeaderList headers(curl_slist_append(nullptr, "Accept: */*"));
    if (!headers) {
        return {};
    }

    Body body{{}, kMaxBodyBytes};
    bool configured = true;
    const auto set = [&](CURLoption option, auto value) {
        configured = configured && curl_easy_setopt(handle, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    set(CURLOPT_USERAGENT, kUserAgent);
    set(CURLOPT_HTTPHEADER, headers.get());
    // Only web addresses, also behind a redirect: a reply must never make us read a local file.
    set(CURLOPT_PROTOCOLS_STR, kWebProtocols);
    set(CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols);
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs_);
    set(CURLOPT_TIMEOUT_MS, totalTimeoutMs_);
    // Name lookup must not use SIGALRM: the GUI thread is not the only thread of the process.
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_WRITEFUNCTION, &KeepBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&body));
    if (!configured) {
        return {};
    }

    // The result does not matter: a status of 404, a time-out or a connection dropped halfway all
    // leave the bytes that did arrive, and those are the reply.
    curl_easy_perform(handle);
    return std::move(body.bytes);
}

}  // namespace quorvel
