#include "update/update_check.h"

#include <string_view>

#include "common/gbk.h"
#include "common/program_texts.h"
#include "update/text_between.h"

namespace quorvel {

namespace {

constexpr std::string_view kServicePath = "/client/api.asp?code=";
constexpr std::string_view kServiceError = "Error";

[[nodiscard]] bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

// The reply travels over plain, unauthenticated HTTP, so whoever sits on the path chooses the download
// address. Handing the desktop's "open" action a file:, smb: or custom-scheme address would let them
// start local programs; a web page is all the offer ever needs.
[[nodiscard]] bool IsWebAddress(std::string_view address) {
    return StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://");
}

void EndTheProgram(UpdateServices& services) {
    if (services.endProgram) {
        services.endProgram(0);
    }
}

}  // namespace

void CheckForUpdate(const std::string& SoftwareCode, const std::string& CurrentVersion, bool ForceUpdate,
                    const std::string& HomePage, UpdateServices& services) {
    std::string address = services.serviceBaseUrl;
    address += kServicePath;
    address += SoftwareCode;

    const std::string body = services.http.Get(address);
    const std::string_view ReplyText = TextFromBytes(body);

    const std::string NewVersion = TextBetween(ReplyText, "<!--ver-->", "<!--verend-->", 0, false);
    const std::string DownloadAddress = TextBetween(ReplyText, "<!--add-->", "<!--addend-->", 0, false);
    const std::string ReleaseNotes = TextBetween(ReplyText, "<!--con-->", "<!--conend-->", 0, false);

    if (NewVersion.empty()) {
        return;
    }

    const ProgramTexts& texts = Texts();
    if (NewVersion == kServiceError) {
        services.boxes.ShowError(texts.errorMessage, texts.errorTitle);
        services.opener.Open(HomePage);
        EndTheProgram(services);
        return;
    }

    if (NewVersion == CurrentVersion) {
        return;
    }

    const std::string offer = texts.offerPrefix + NewVersion + "\r\n" + ReleaseNotes;
    if (services.boxes.AskYesNo(offer, texts.offerTitle) == BoxAnswer::No) {
        if (ForceUpdate) {
            EndTheProgram(services);
        }
        return;
    }

    // Yes, or no answer at all because the box could not be shown. An address we refuse to open ends
    // the program just like an address the desktop failed to open.
    if (IsWebAddress(DownloadAddress)) {
        services.opener.Open(DownloadAddress);
    }
    EndTheProgram(services);
}

}  // namespace quorvel
