// CheckForUpdate on arbitrary reply bytes, with fakes for the network, the boxes and the browser,
// against a model of the decision table: what is shown, what is opened and whether the program ends.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "reference_models.h"
#include "update/update_check.h"

namespace quorvel::fuzz {
namespace {

const std::string kBaseUrl = "http://127.84.71.1:38517";
const std::string kCode = "10024";
const std::string kHomePage = "http://127.84.71.1:38517/#kelm";
// The boxes' words as GBK bytes.
const std::string kErrorText = "\xB7\xA2\xC9\xFA\xB4\xED\xCE\xF3 ";    // 发生错误 and a blank
const std::string kErrorTitle = "\xCF\xFB\xCF\xA2";                    // 消息
const std::string kOfferPrefix = "\xB7\xA2\xCF\xD6\xD0\xC2\xB0\xE6:";  // 发现新版:
const std::string kOfferTitle = "\xD4\xDA\xCF\xDF\xB8\xFC\xD0\xC2:";   // 在线更新:

using Events = std::vector<std::string>;

class ScriptedHttp : public HttpClient {
public:
    std::string reply;
    std::vector<std::string> urls;
    std::string Get(const std::string& url) override {
        urls.push_back(url);
        return reply;
    }
};

class ScriptedBoxes : public MessageBoxes {
public:
    ScriptedBoxes(Events& events, BoxAnswer answer) : events_(events), answer_(answer) {}
    BoxAnswer ShowError(const std::string& text, const std::string& title) override {
        events_.push_back("error box: " + text + " / " + title);
        return answer_;
    }
    BoxAnswer AskYesNo(const std::string& text, const std::string& title) override {
        events_.push_back("offer box: " + text + " / " + title);
        return answer_;
    }

private:
    Events& events_;
    BoxAnswer answer_;
};

class RecordingOpener : public AddressOpener {
public:
    explicit RecordingOpener(Events& events) : events_(events) {}
    void Open(const std::string& address) override { events_.push_back("open: " + address); }

private:
    Events& events_;
};

bool StartsWithLetterCaseFree(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (model::LowerAscii(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(lowerPrefix[i])) {
            return false;
        }
    }
    return true;
}

// The decision table, step by step. The download address reaches the browser only when it is a web
// address; the program ends all the same.
Events ModelDecision(std::string_view replyBytes, const std::string& current, bool force, BoxAnswer answer) {
    const std::string version = model::Between(replyBytes, "<!--ver-->", "<!--verend-->", 0, false);
    const std::string address = model::Between(replyBytes, "<!--add-->", "<!--addend-->", 0, false);
    const std::string notes = model::Between(replyBytes, "<!--con-->", "<!--conend-->", 0, false);
    Events events;
    if (version.empty()) {
        return events;
    }
    if (version == "Error") {
        events.push_back("error box: " + kErrorText + " / " + kErrorTitle);
        events.push_back("open: " + kHomePage);
        events.push_back("end: 0");
        return events;
    }
    if (version == current) {
        return events;
    }
    events.push_back("offer box: " + kOfferPrefix + version + "\r\n" + notes + " / " + kOfferTitle);
    if (answer == BoxAnswer::No) {
        if (force) {
            events.push_back("end: 0");
        }
        return events;
    }
    if (StartsWithLetterCaseFree(address, "http://") || StartsWithLetterCaseFree(address, "https://")) {
        events.push_back("open: " + address);
    }
    events.push_back("end: 0");
    return events;
}

std::string Describe(const Events& events) {
    std::string out;
    for (const std::string& event : events) {
        out += Escaped(event) + " ";
    }
    return out.empty() ? "(nothing)" : out;
}

}  // namespace
}  // namespace quorvel::fuzz

// Byte 1: force flag (bit 0), the answer to the offer (bits 1-2) and the running version (bits 3-4);
// the rest is the reply body.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvel;
    using namespace quorvel::fuzz;
    Input input(data, size);
    const std::uint8_t flags = input.Byte();
    const bool force = (flags & 1) != 0;
    const BoxAnswer answers[] = {BoxAnswer::Yes, BoxAnswer::No, BoxAnswer::Ok, BoxAnswer::None};
    const BoxAnswer answer = answers[flags >> 1 & 3];
    const std::string versions[] = {"1.0.0.0", "2.0", "Error", ""};
    const std::string& current = versions[flags >> 3 & 3];
    const std::string_view reply = input.Rest();

    Events events;
    ScriptedHttp http;
    http.reply = std::string(reply);
    ScriptedBoxes boxes(events, answer);
    RecordingOpener opener(events);
    UpdateServices services{kBaseUrl, http, boxes, opener,
                            [&events](std::int32_t code) { events.push_back("end: " + std::to_string(code)); }};
    CheckForUpdate(kCode, current, force, kHomePage, services);

    const Events expected = ModelDecision(reply, current, force, answer);
    if (events != expected) {
        Differs("CheckForUpdate did not do what the decision table calls for",
                {{"reply", Escaped(reply)},
                 {"running version", Escaped(current)},
                 {"force", force ? "true" : "false"},
                 {"answer", std::to_string(static_cast<int>(answer))},
                 {"product", Describe(events)},
                 {"model", Describe(expected)}});
    }
    const std::vector<std::string> oneRequest{kBaseUrl + "/client/api.asp?code=" + kCode};
    if (http.urls != oneRequest) {
        Differs("the check did not ask the service exactly once at its address",
                {{"reply", Escaped(reply)}, {"requests", std::to_string(http.urls.size())}});
    }
    return 0;
}
