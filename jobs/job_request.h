// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A job as a value: which job, with which options, narrowed to which stocks, and which front-end
// asked. Both programs build one and hand it to the document (CTickoraDoc::Start), which hands
// it on to the worker; nothing of a job waits in a member for its worker to pick it up.
#include <optional>
#include <vector>

namespace tickora {

// kCheck reads the stored files only: the day's check, downloading nothing.
enum class Job { kFetch, kFetchList, kKdt, kProfiles, kPerformance, kCheck };

// "fetch", "fetchlist", "kdt", "profiles", "performance", "check": the job's name in its outcome, the run
// history and tickora-cli's commands.
[[nodiscard]] const char* JobName(Job job);

// The options of every job in one value: each job reads its own and leaves the others.
struct JobOptions {
    // kdt
    unsigned code = 1301;  // 0..9999
    unsigned days = 200;   // 10..3000
    bool allStocks = false;
    bool update = false;  // "差分更新": bring a stored history up to date from its first page
    // fetchlist and profiles
    bool keepHtml = false;  // "HTMLファイルを残す"
    bool addedOnly = false;  // "追加された銘柄のみ更新" / "追加された銘柄の更新"
    bool useKeptHtml = false;  // "残したHTMLファイルを使う"

    // Kept pages are read from the kept-page paths, so using them implies keeping them.
    [[nodiscard]] bool KeepsHtml() const { return keepHtml || useKeptHtml; }
    bool operator==(const JobOptions&) const = default;
};

enum class FrontEnd {
    kDesktop,   // may ask the user for what the request leaves open
    kTerminal,  // nobody to ask: what the request leaves open takes its default
};

struct JobRequest {
    JobRequest() = default;
    JobRequest(Job asked, std::optional<JobOptions> given = std::nullopt)
        : job(asked), options(given) {}

    Job job = Job::kFetch;
    // Empty: the job's options dialog asks for them (the desktop's commands); a job without
    // options ignores them.
    std::optional<JobOptions> options;
    // A retry: only these stocks, in the list's order. Its record in the run history is marked
    // as a retry.
    std::optional<std::vector<int>> only;
    FrontEnd from = FrontEnd::kDesktop;
};

}  // namespace tickora
