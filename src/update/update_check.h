#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "update/update_seams.h"

namespace quorvel {

// What the update check talks to; the program passes the real ones, tests pass fakes.
struct UpdateServices {
    std::string serviceBaseUrl;  // scheme and host[:port], no trailing slash
    HttpClient& http;
    MessageBoxes& boxes;
    AddressOpener& opener;
    std::function<void(std::int32_t)> endProgram;  // never returns in the program
};

// Asks the update service for the published version and offers it when it differs from
// CurrentVersion. Either returns, or ends the program through services.endProgram.
void CheckForUpdate(const std::string& SoftwareCode, const std::string& CurrentVersion, bool ForceUpdate,
                    const std::string& HomePage, UpdateServices& services);

}  // namespace quorvel
