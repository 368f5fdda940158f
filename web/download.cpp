// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/download.h"

#include <vector>

#include "web/site_access.h"
#include "web/transfer_engine.h"

#include "files/local_file.h"

namespace tickora {
const char* PageFailureName(PageFailure failure) {
    switch (failure) {
        case PageFailure::kNone:
            return "no failure";
        case PageFailure::kHttpStatus:
            return "HTTP status";
        case PageFailure::kTransport:
            return "transfer failed";
        case PageFailure::kTimeout:
            return "time-out";
        case PageFailure::kTooLarge:
            return "page too large";
        case PageFailure::kLocalFile:
            return "page not stored";
        case PageFailure::kCancelled:
            return "cancelled";
    }
    return "?";
}

int DownloadToFile(const SiteAccess& access, const char* url, const char* localPath,
                   DownloadDetail* detail) {
    if (url == nullptr || localPath == nullptr) {
        if (detail != nullptr) {
            *detail = {PageFailure::kTransport, 0, "the download could not be set up"};
        }
        return 1;
    }
    // One engine per thread: its connection cache spares a new handshake for every page of a
    // job, while each call still makes one complete GET of its own.
    thread_local TransferEngine engine(1, 1);
    engine.Add(0, url, localPath, access);
    std::vector<TransferEngine::Finished> finished;
    while (finished.empty()) {
        engine.Run(std::chrono::seconds(1), finished);
    }
    if (detail != nullptr) {
        *detail = std::move(finished.front().detail);
    }
    return finished.front().result;
}

}  // namespace tickora
