// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/outcome_text.h"

#include <cstdio>
#include <filesystem>

#include "exchange/holidays.h"

namespace tickora {
namespace {

constexpr std::size_t kFilesShown = 5;
constexpr std::size_t kCodesShown = 5;
constexpr std::size_t kItemsShown = 3;

bool CountsExtracted(const std::string& job) {
    return job == "fetch" || job == "performance";
}

std::string Code(int code) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", code);
    return text;
}

// "A, B, C (+4 more)" of the paths of one state; reasons follow each kept or failed file.
std::string FileList(const JobOutcome& outcome, FileState state, const PathView& paths) {
    return FileListOf(
        outcome, state, kFilesShown,
        [&paths](const OutputFile& file) {
            return paths.Show(file.path) + (file.reason.empty() ? "" : " (" + file.reason + ")");
        },
        [](std::size_t more) { return " (+" + std::to_string(more) + " more)"; });
}

std::string EndText(const JobOutcome& outcome) {
    static constexpr EndWords kWords{", stopped early at ", "", ", stopped early: ", ", cancelled",
                                     ", ended by an error: "};
    return EndPart(outcome, kWords, [](const std::string& words) { return words; });
}

std::string Where(const std::string& where, const PathView& paths) {
    // A URL is shown as it is; a path as the user can open it from where they stand.
    if (where.empty() || where.find("://") != std::string::npos || where[0] != '/') {
        return where;
    }
    const std::size_t colon = where.find(": ");
    if (colon == std::string::npos) {
        return paths.Show(where);
    }
    return paths.Show(where.substr(0, colon)) + where.substr(colon);
}

std::string ClosureText(const FindingFacts& facts) {
    switch (facts.closure) {
        case Closure::kWeekend:
            return "a weekend";
        case Closure::kHoliday:
            return std::string("a holiday, ") + HolidayWord(facts.holiday);
        case Closure::kYearEnd:
            return "the year-end closure";
        case Closure::kMarketHalt:
            return "a day the market was halted";
        case Closure::kNoSuchDay:
        case Closure::kOpen:
            break;
    }
    return "a trading day";
}

std::string CountText(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// ", 3 findings (1 warning, 2 notices)" or ", no finding".
std::string FindingsPart(const JobOutcome& outcome) {
    if (outcome.findings.empty()) {
        return ", no finding";
    }
    std::size_t warnings = 0;
    for (const CheckFinding& finding : outcome.findings) {
        warnings += finding.severity == Severity::kWarning ? 1 : 0;
    }
    return ", " + CountText(outcome.findings.size(), "finding", "findings") + " (" +
           CountText(warnings, "warning", "warnings") + ", " +
           CountText(outcome.findings.size() - warnings, "notice", "notices") + ")";
}

}  // namespace

std::string FindingExpectedText(const CheckFinding& finding) {
    const FindingFacts f = FactsOf(finding);
    switch (finding.kind) {
        case FindingKind::kCloseDiffers:
            return "the history's close " + f.expected;
        case FindingKind::kMissingDay:
            return "a row for every trading day";
        case FindingKind::kClosedDayBar:
            return f.closure == Closure::kNoSuchDay
                       ? "no row: the date names no day"
                       : "no row: the exchange was closed (" + ClosureText(f) + ")";
        case FindingKind::kBeyondLimit:
        case FindingKind::kWidenedLimit:
            return "a close from " + f.lowest + " to " + f.highest + ", the limit of " + f.limit +
                   " around the previous close " + f.previousClose;
        case FindingKind::kNoQuote:
            return "a line for the trading day";
        case FindingKind::kStaleHistory:
            return "a last day of " + f.date + ", the day checked";
    }
    return {};
}

std::string FindingFoundText(const CheckFinding& finding) {
    const FindingFacts f = FactsOf(finding);
    switch (finding.kind) {
        case FindingKind::kCloseDiffers:
            return f.found + " in the day file";
        case FindingKind::kMissingDay:
            return f.missingDays == 1 ? "none for " + f.date
                                      : "none from " + f.date + " to " + f.otherDay + " (" +
                                            std::to_string(f.missingDays) + " trading days)";
        case FindingKind::kClosedDayBar:
            return "a row with the close " + f.found;
        case FindingKind::kBeyondLimit:
            return f.found + ", " + f.times + " times the limit";
        case FindingKind::kWidenedLimit:
            return f.found + ", " + f.times + " times the limit (a widened limit allows up to 4)";
        case FindingKind::kNoQuote:
            if (f.volume > 0) {
                return "none, though the history shows a trade that day (volume " +
                       std::to_string(f.volume) + ")";
            }
            return f.volume < 0 ? "none, nor a history row for the day"
                                : "none; the history shows no trade that day";
        case FindingKind::kStaleHistory:
            return "the last day " + f.otherDay +
                   (finding.reportedCurrent ? ", though the update reported it current" : "");
    }
    return {};
}

std::string FindingLine(const CheckFinding& finding) {
    const FindingFacts f = FactsOf(finding);
    return std::string(SeverityWord(finding.severity)) + " " + f.code + " " + f.date + " " +
           FindingKindWord(finding.kind) + ": expected " + FindingExpectedText(finding) +
           ", found " + FindingFoundText(finding);
}

std::vector<const CheckFinding*> FindingsInOrder(const JobOutcome& outcome) {
    std::vector<const CheckFinding*> ordered;
    ordered.reserve(outcome.findings.size());
    for (const Severity severity : {Severity::kWarning, Severity::kNotice}) {
        for (const CheckFinding& finding : outcome.findings) {
            if (finding.severity == severity) {
                ordered.push_back(&finding);
            }
        }
    }
    return ordered;
}

std::vector<std::string> FindingLines(const JobOutcome& outcome, std::size_t shown) {
    std::vector<std::string> lines;
    const std::vector<const CheckFinding*> ordered = FindingsInOrder(outcome);
    for (std::size_t i = 0; i < ordered.size() && i < shown; ++i) {
        lines.push_back(FindingLine(*ordered[i]));
    }
    if (ordered.size() > shown) {
        lines.push_back("(+" + CountText(ordered.size() - shown, "more finding", "more findings") +
                        ")");
    }
    return lines;
}

std::string PathView::Show(const std::string& absolutePath) const {
    if (base.empty()) {
        return absolutePath;
    }
    const std::filesystem::path path(absolutePath);
    const std::filesystem::path relative = path.lexically_relative(base);
    if (relative.empty() || *relative.begin() == "..") {
        return absolutePath;
    }
    return relative.string();
}

std::string SummaryLine(const JobOutcome& outcome, const PathView& paths) {
    std::string line = outcome.job + ":";
    if (outcome.end == JobEnd::kNotRun) {
        return line + " not run" + (outcome.endCause.empty() ? "" : ": " + outcome.endCause);
    }
    line += " " + std::to_string(outcome.itemsDone) + "/" + std::to_string(outcome.itemsTotal) +
            " " + outcome.unit;
    if (CountsExtracted(outcome.job)) {
        line += ", " + std::to_string(outcome.extracted) + " extracted, " +
                std::to_string(outcome.notExtracted) + " not extracted";
    }
    if (outcome.stocksListed > 0) {
        line += ", " + std::to_string(outcome.stocksListed) + " stocks listed";
    }
    if (outcome.historiesUpdated + outcome.historiesFetched > 0) {
        line += ", " + std::to_string(outcome.historiesUpdated) + " brought up to date, " +
                std::to_string(outcome.historiesFetched) + " fetched in full";
    }
    if (!outcome.WritesFiles()) {
        line +=
            ", " + CountText(static_cast<std::size_t>(outcome.quotesChecked), "quote", "quotes") +
            ", " +
            CountText(static_cast<std::size_t>(outcome.historiesChecked), "history", "histories") +
            FindingsPart(outcome);
    }
    if (!outcome.failures.empty()) {
        line += ", " + std::to_string(outcome.failures.size()) +
                (outcome.failures.size() == 1 ? " failure" : " failures");
    }
    line += EndText(outcome);
    if (!outcome.quoteDate.empty()) {
        line += (outcome.job == "performance" ? ", figures of "
                 : outcome.WritesFiles()      ? ", quotes of "
                                              : ", the day ") +
                outcome.quoteDate;
    }
    if (!outcome.WritesFiles() && outcome.files.empty()) {
        return line;
    }
    line += FilesPart({"; wrote ", "; kept ", "; could not write ", "; no file written"},
                      [&](FileState state) { return FileList(outcome, state, paths); });
    return line;
}

std::string EndPart(const JobOutcome& outcome, const EndWords& words,
                    const std::function<std::string(const std::string&)>& phrase) {
    switch (outcome.end) {
        case JobEnd::kCompleted:
        case JobEnd::kNotRun:
            return {};
        case JobEnd::kStopped:
            if (const ItemFailure* failure = outcome.StoppedAt()) {
                return words.stoppedAt + phrase(failure->what) + words.stoppedAtAfter;
            }
            return words.stoppedFor + phrase(outcome.endCause);
        case JobEnd::kCancelled:
            return words.cancelled;
        case JobEnd::kException:
            return words.error + outcome.endCause;
    }
    return {};
}

std::string FileListOf(const JobOutcome& outcome, FileState state, std::size_t shown,
                       const std::function<std::string(const OutputFile&)>& item,
                       const std::function<std::string(std::size_t)>& more) {
    std::string list;
    std::size_t count = 0;
    for (const OutputFile& file : outcome.files) {
        if (file.state == state && ++count <= shown) {
            list += (count == 1 ? "" : ", ") + item(file);
        }
    }
    // A record of the run history counts the files it does not list: they are more files all
    // the same.
    const int notListed = outcome.filesNotListed[static_cast<std::size_t>(state)];
    const std::size_t left = (count > shown ? count - shown : 0) +
                             static_cast<std::size_t>(notListed > 0 ? notListed : 0);
    if (left > 0) {
        list += more(left);
    }
    return list;
}

std::string FilesPart(const FileWords& words, const std::function<std::string(FileState)>& listOf) {
    std::string part;
    const std::pair<FileState, const char*> states[] = {{FileState::kWritten, words.written},
                                                        {FileState::kKept, words.kept},
                                                        {FileState::kFailed, words.failed}};
    for (const auto& [state, word] : states) {
        if (const std::string list = listOf(state); !list.empty()) {
            part += word + list;
        }
    }
    return part.empty() ? words.none : part;
}

std::vector<CauseGroup> GroupByCause(const JobOutcome& outcome) {
    std::vector<CauseGroup> groups;
    for (const ItemFailure& failure : outcome.failures) {
        auto it = groups.begin();
        while (it != groups.end() && it->first != failure.cause) {
            ++it;
        }
        if (it == groups.end()) {
            groups.push_back({failure.cause, {}});
            it = groups.end() - 1;
        }
        it->second.push_back(&failure);
    }
    return groups;
}

std::vector<std::string> FailureLines(const JobOutcome& outcome, const PathView& paths) {
    std::vector<std::string> lines;
    for (const auto& [cause, members] : GroupByCause(outcome)) {
        std::string line = cause + ": ";
        if (members.size() == 1) {
            line += members[0]->what;
        } else {
            line += std::to_string(members.size()) + " items: ";
            for (std::size_t i = 0; i < members.size() && i < kItemsShown; ++i) {
                line += (i == 0 ? "" : ", ") + members[i]->what;
            }
            if (members.size() > kItemsShown) {
                line += ", …";
            }
        }
        std::vector<int> codes;
        for (const ItemFailure* member : members) {
            codes.insert(codes.end(), member->codes.begin(), member->codes.end());
        }
        if (!codes.empty()) {
            line += " (";
            for (std::size_t i = 0; i < codes.size() && i < kCodesShown; ++i) {
                line += (i == 0 ? "" : ", ") + Code(codes[i]);
            }
            line += codes.size() > kCodesShown ? ", …)" : ")";
        }
        if (!members[0]->where.empty()) {
            line += ": " + Where(members[0]->where, paths);
        }
        if (!members[0]->action.empty()) {
            line += " (" + members[0]->action + ")";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string ProgressLine(const std::string& job, int done, int total, const std::string& unit,
                         int first, int second) {
    std::string line = job + ": " + std::to_string(done) + "/" + std::to_string(total) + " " + unit;
    if (CountsExtracted(job)) {
        line += ", " + std::to_string(first) + " extracted, " + std::to_string(second) +
                " not extracted";
    }
    return line;
}

}  // namespace tickora
