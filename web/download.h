#pragma once
// One URL, one HTTP GET, one local file.
#include <chrono>

#include "web/retry.h"

namespace tickora {

// Fetches url with GET and, only when the answer is status 200, stores the body byte for byte in
// localPath (created or truncated). Returns 0 when the exchange completed whatever the status,
// 1 on a transport error, a time-out, or a local file that cannot be created. Under a retry policy
// (web/retry.h) a failed attempt may be repeated; the result is then that of the last attempt.
[[nodiscard]] int DownloadToFile(const char* url, const char* localPath);

// Limits that keep one silent server from hanging a job (and its Cancel) for ever. Tests lower
// them so that no test waits a minute.
struct DownloadLimits {
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    // The transfer fails when fewer than one byte a second arrives for this long.
    std::chrono::milliseconds stallTimeout{std::chrono::seconds(60)};
};
void SetDownloadLimits(const DownloadLimits& limits);
[[nodiscard]] DownloadLimits GetDownloadLimits();

}  // namespace tickora
