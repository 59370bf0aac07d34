#pragma once

#include <string>

namespace quorvel {

// One synchronous GET; the body bytes as received (possibly cut off), empty when the request fails.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    [[nodiscard]] virtual std::string Get(const std::string& url) = 0;
};

enum class BoxAnswer { Ok, Yes, No, None };

// Program-modal boxes without an owner window. Texts are GBK.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual BoxAnswer ShowError(const std::string& text, const std::string& title) = 0;
    virtual BoxAnswer AskYesNo(const std::string& text, const std::string& title) = 0;
};

// The desktop's "open" action; not awaited, result not reported. Address is GBK.
class AddressOpener {
public:
    virtual ~AddressOpener() = default;
    virtual void Open(const std::string& address) = 0;
};

}  // namespace quorvel
