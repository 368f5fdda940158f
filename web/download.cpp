// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/download.h"

#include <vector>

#include "files/local_file.h"
#include "text/named_values.h"
#include "web/site_access.h"
#include "web/transfer_engine.h"

namespace tickora {
namespace {

constexpr NamedValue<PageFailure> kPageFailures[] = {
    {PageFailure::kNone, "no failure"},           {PageFailure::kHttpStatus, "HTTP status"},
    {PageFailure::kTransport, "transfer failed"}, {PageFailure::kTimeout, "time-out"},
    {PageFailure::kTooLarge, "page too large"},   {PageFailure::kLocalFile, "page not stored"},
    {PageFailure::kCancelled, "cancelled"}};

}  // namespace

const char* PageFailureName(PageFailure failure) {
    return NameIn(kPageFailures, failure, "?");
}

int DownloadToFile(const SiteAccess& access, const TransferControl& control, const char* url,
                   const char* localPath, DownloadDetail* detail) {
    if (url == nullptr || localPath == nullptr) {
        if (detail != nullptr) {
            *detail = {PageFailure::kTransport, 0, "the download could not be set up"};
        }
        return 1;
    }
    // An engine per call: the one page a job fetches this way is a page asked out of its turn,
    // rare enough that its own connection costs less than a connection cache kept on the side.
    TransferEngine engine(1, 1, control);
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
