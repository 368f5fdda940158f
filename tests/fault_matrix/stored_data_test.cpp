// SPDX-License-Identifier: GPL-3.0-or-later
// What a user stored survives a run that failed, was cancelled or met a page that lies: each row
// is a job, a fault and the file that must come out of it whole (kept as it was, or kept as the
// backup of the file that replaced it), with the outcome that says so.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/partial_marks.h"
#include "pages/history_page.h"
#include "pages/list_pages.h"
#include "tests/support/fault_fixture.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFileBytes;
using test::WriteFileBytes;

using test::Job;

// The failures of an outcome, for a failing assertion's message.
std::string FailuresText(const JobOutcome& outcome) {
    std::string text;
    for (const ItemFailure& failure : outcome.failures) {
        text += failure.what + ": " + failure.cause + "\n";
    }
    return text;
}

struct StoredCase {
    const char* name;
    Job job;
    site::FaultKind fault;
    int status;                // for a status fault
    bool useKeptHtml = false;  // fetchlist from kept pages, one of them missing
    bool cancel = false;       // Cancel once the faulty page is asked for
    int runs = 1;              // the same job again, with the same fault
    int exitStatus = kExitDone;
    const char* causeHas = "";  // in the failure's cause; "" = no failure expected
};

const StoredCase kStoredCases[] = {
    {"fetchListCancelledTwice", Job::kFetchList, site::FaultKind::kTrickle, 200, false, true, 2,
     kExitEndedEarly, ""},
    {"fetchListCutOnPage1", Job::kFetchList, site::FaultKind::kCut, 200, false, false, 1,
     kExitEndedEarly, ""},
    {"fetchList500OnPage1", Job::kFetchList, site::FaultKind::kStatus, 500, false, false, 1,
     kExitItemsFailed, "HTTP 500"},
    {"fetchListKeptPageMissing", Job::kFetchList, site::FaultKind::kNone, 200, true, false, 1,
     kExitItemsFailed, "No such file"},
    {"history500OnPage3", Job::kKdt, site::FaultKind::kStatus, 500, false, false, 1,
     kExitEndedEarly, "HTTP 500"},
    {"historyCutOnPage3", Job::kKdt, site::FaultKind::kCut, 200, false, false, 1, kExitEndedEarly,
     ""},
    {"profileMaintenancePage", Job::kProfiles, site::FaultKind::kGarbage, 200, false, false, 1,
     kExitItemsFailed, "not a profile page"},
    {"fetchTrickleCancelled", Job::kFetch, site::FaultKind::kTrickle, 200, false, true, 1,
     kExitEndedEarly, ""},
    {"fetchOversizedPage", Job::kFetch, site::FaultKind::kHuge, 200, false, false, 1,
     kExitEndedEarly, "MiB"},
    // A scheduled run and a retry by hand that both fail: the whole run of the day stays.
    {"fetchFailsTwiceAfterAWholeRun", Job::kFetch, site::FaultKind::kStatus, 500, false, false, 2,
     kExitItemsFailed, "HTTP 500"},
    {"fetchCutThriceAfterAWholeRun", Job::kFetch, site::FaultKind::kCut, 200, false, false, 3,
     kExitEndedEarly, ""},
    {"performanceFailsTwiceAfterAWholeRun", Job::kPerformance, site::FaultKind::kStatus, 500,
     false, false, 2, kExitItemsFailed, "HTTP 500"},
};

class StoredDataTest : public test::FaultSiteTest {
  protected:
    // Runs the job once to its end on a healthy site, so that the stored file is a whole one.
    void StoreWholeFile(Job job) {
        view.codeOptions = {static_cast<unsigned>(LongHistoryStock().code), 200, false};
        ASSERT_TRUE(RunBounded([&] { return Start(job); }));
        ASSERT_EQ(ExitStatusOf(doc.LastOutcome()), kExitDone) << FailuresText(doc.LastOutcome());
    }
    // The file each job must not lose, and the page its fault hits.
    std::string StoredPath(Job job) const {
        switch (job) {
            case Job::kFetch:
                return "out/DS261204.DAT";
            case Job::kFetchList:
                return kFetchListPath;
            case Job::kKdt:
                return KdtFileName(LongHistoryStock().code, false);
            case Job::kProfiles:
                return kDictionaryPath;
            case Job::kPerformance:
                return "out/FN261204.DAT";
        }
        return {};
    }
    std::string FaultyTarget(Job job) {
        switch (job) {
            case Job::kFetch:
                return TargetOf(list.GetQuoteUrl(1));
            case Job::kFetchList:
                return "/l?s=%2a&m=51";
            case Job::kKdt:
                return "/t?s=" + LongHistoryStock().symbol + "&";  // every page; y picks one
            case Job::kProfiles:
                return "/biz/fundamental/" + std::to_string(list.GetBlock(0)->m_aStocks[5].m_nCode);
            case Job::kPerformance:
                return TargetOf(list.GetFiguresUrl(1));
        }
        return {};
    }
};

class StoredData : public StoredDataTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredData, TheStoredFileComesOutWholeAndTheOutcomeSaysWhy) {
    const StoredCase& c = GetParam();
    doc.SetSiteAccess(access.MaxPageBytes(1024 * 1024));
    StoreWholeFile(c.job);
    const std::string path = StoredPath(c.job);
    const std::string stored = ReadFileBytes(path);
    const std::string backup = fs::exists("fetchlist.bak") ? ReadFileBytes("fetchlist.bak") : "";
    ASSERT_FALSE(stored.empty());

    site::Fault fault;
    fault.kind = c.fault;
    fault.status = c.status;
    fault.bytes = c.fault == site::FaultKind::kHuge ? 3 * 1024 * 1024 : 200000;
    fault.stall = 200ms;  // a byte every 200 ms: far below any stall limit's reach
    std::string target = FaultyTarget(c.job);
    if (c.job == Job::kKdt) {
        target = TargetOf(CKdtRequest(LongHistoryStock().symbol.c_str(), LongHistoryStock().code,
                                      200, server.Url())
                              .GetPageUrl(3));
    }
    server.SetFault(target, fault);
    view.listOptions.useKeptHtml = c.useKeptHtml;
    if (c.useKeptHtml) {
        fs::remove(CListPages(server.Url()).GetPagePath(1));
    }

    for (int run = 0; run < c.runs; ++run) {
        std::atomic<bool> stop{false};
        // The whole run before the loop asked for the page too: only a request of this run says
        // that the job has begun, and with it the flag a Cancel sets.
        const int askedBefore = test::CountRequests(server, target);
        std::thread canceller([&] {
            const bool asked =
                c.cancel &&
                test::WaitFor(
                    [&] { return stop || test::CountRequests(server, target) > askedBefore; },
                    test::kJobBound);
            if (asked && !stop) {
                doc.CancelJob();
            }
        });
        const auto started = std::chrono::steady_clock::now();
        const bool ran = RunBounded([&] { return Start(c.job); });
        stop = true;
        canceller.join();
        ASSERT_TRUE(ran);
        if (c.cancel) {
            EXPECT_LT(std::chrono::steady_clock::now() - started, 10s)
                << "Cancel reached into the transfer";
        }
    }

    const JobOutcome outcome = doc.LastOutcome();
    EXPECT_EQ(ExitStatusOf(outcome), c.exitStatus) << FailuresText(outcome);
    EXPECT_EQ(outcome.Cancelled(), c.cancel);
    if (c.causeHas[0] != '\0') {
        ASSERT_FALSE(outcome.failures.empty());
        EXPECT_NE(outcome.failures[0].cause.find(c.causeHas), std::string::npos)
            << outcome.failures[0].cause;
    }
    if (c.job == Job::kFetch || c.job == Job::kPerformance) {
        // The day's file was replaced by what the run had; the whole one is its backup, however
        // many partial runs followed it, and the outcome says where it is.
        EXPECT_TRUE(ReadFileBytes(path + ".bak") == stored) << "the whole day is kept";
        EXPECT_FALSE(ReadFileBytes(path) == stored);
        ASSERT_EQ(outcome.Written().size(), 1u);
        ASSERT_EQ(outcome.warnings.size(), 1u);
        EXPECT_NE(outcome.warnings[0].find(AbsolutePath(path + ".bak")), std::string::npos)
            << outcome.warnings[0];
    } else if (c.job == Job::kProfiles) {
        // Every record is the site's; the faulty page's stock kept the one it had.
        EXPECT_TRUE(ReadFileBytes(path) == stored);
    } else {
        EXPECT_TRUE(ReadFileBytes(path) == stored) << path << " was replaced";
        ASSERT_EQ(outcome.Kept().size(), 1u);
        EXPECT_EQ(outcome.Kept()[0], AbsolutePath(path));
    }
    if (c.job == Job::kFetchList) {
        EXPECT_EQ(fs::exists("fetchlist.bak") ? ReadFileBytes("fetchlist.bak") : "", backup);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StoredData, ::testing::ValuesIn(kStoredCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The hidden marks that tell the day's whole file from partial ones are lost between two
// partial runs that follow a whole one: removed, damaged, a link to /dev/null or a FIFO in their
// place. Nothing then proves the files partial, so the whole run's file stays, under a further
// number, and the outcome names it; the FN file the same.
struct MarksLostCase {
    const char* name;
    Job job;  // kFetch or kPerformance
    const char* loss;
};

const MarksLostCase kMarksLostCases[] = {
    {"fetchMarksRemoved", Job::kFetch, "removed"},
    {"fetchMarksDamaged", Job::kFetch, "damaged"},
    {"fetchMarksALinkToDevNull", Job::kFetch, "link"},
    {"fetchMarksAFifo", Job::kFetch, "fifo"},
    {"performanceMarksRemoved", Job::kPerformance, "removed"},
    {"performanceMarksAFifo", Job::kPerformance, "fifo"},
};

class MarksLost : public StoredDataTest, public ::testing::WithParamInterface<MarksLostCase> {
  protected:
    // One run with block's page answering 500; the day's file it leaves.
    std::string PartialRun(Job job, int block) {
        server.ClearFaults();
        site::Fault fault;
        fault.kind = site::FaultKind::kStatus;
        fault.status = 500;
        server.SetFault(
            TargetOf(job == Job::kFetch ? list.GetQuoteUrl(block) : list.GetFiguresUrl(block)),
            fault);
        EXPECT_TRUE(RunBounded([&] { return Start(job); }));
        EXPECT_EQ(ExitStatusOf(doc.LastOutcome()), kExitItemsFailed)
            << FailuresText(doc.LastOutcome());
        return ReadFileBytes(StoredPath(job));
    }
};

TEST_P(MarksLost, TheWholeDayStaysUnderAFurtherNumber) {
    const MarksLostCase& c = GetParam();
    StoreWholeFile(c.job);
    const std::string path = StoredPath(c.job);
    const std::string whole = ReadFileBytes(path);
    const std::string first = PartialRun(c.job, 1);
    const std::string marks = PartialMarksPathOf(path);
    ASSERT_TRUE(fs::is_regular_file(marks));
    const std::string loss = c.loss;
    if (loss == "damaged") {
        WriteFileBytes(marks, std::string(300, 'x'));
    } else {
        fs::remove(marks);
    }
    if (loss == "link") {
        fs::create_symlink("/dev/null", marks);
    } else if (loss == "fifo") {
        ASSERT_EQ(::mkfifo(marks.c_str(), 0600), 0);
    }
    const std::string second = PartialRun(c.job, 2);

    ASSERT_NE(first, second);
    EXPECT_TRUE(ReadFileBytes(path) == second);
    EXPECT_TRUE(ReadFileBytes(path + ".bak") == first);
    EXPECT_TRUE(ReadFileBytes(path + ".bak.1") == whole) << "the whole day is kept";
    EXPECT_EQ(NumberedBackupsOf(path).size(), 1u);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(marks)));
    const JobOutcome outcome = doc.LastOutcome();
    const auto named = std::find_if(
        outcome.warnings.begin(), outcome.warnings.end(), [&](const std::string& warning) {
            return warning.find(AbsolutePath(path + ".bak.1")) != std::string::npos;
        });
    EXPECT_NE(named, outcome.warnings.end()) << "the outcome names the kept version";
    // Nothing proves which of them is the whole day: the outcome does not claim one.
    for (const std::string& warning : outcome.warnings) {
        EXPECT_EQ(warning.find("the day's whole file is "), std::string::npos) << warning;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, MarksLost, ::testing::ValuesIn(kMarksLostCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The desktop program keeps its stock list between jobs. A second run in one process, on the
// next day and against a site that fails partway or not at all, writes exactly what a process of
// its own writes against the same site: no price or figure of the first run, counters and header
// that agree with the rows, and the first day's files untouched.
struct SecondRunCase {
    const char* name;
    Job job;  // kFetch or kPerformance
    site::FaultKind fault;
    int status;
    bool siteDown;  // nothing answers on the next day
    int exitStatus;
};

const SecondRunCase kSecondRunCases[] = {
    {"fetch500OnBlock1", Job::kFetch, site::FaultKind::kStatus, 500, false, kExitItemsFailed},
    {"fetchCutOnBlock1", Job::kFetch, site::FaultKind::kCut, 200, false, kExitEndedEarly},
    {"fetchSiteDown", Job::kFetch, site::FaultKind::kNone, 200, true, kExitEndedEarly},
    {"performance500OnBlock1", Job::kPerformance, site::FaultKind::kStatus, 500, false,
     kExitItemsFailed},
    {"performanceCutOnBlock1", Job::kPerformance, site::FaultKind::kCut, 200, false,
     kExitEndedEarly},
    {"performanceSiteDown", Job::kPerformance, site::FaultKind::kNone, 200, true,
     kExitEndedEarly},
};

std::map<std::string, std::string> FilesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = ReadFileBytes(entry.path());
        }
    }
    return files;
}

// The count in a day file's header ("N,0" or "N" on its second line) and its stock lines.
std::pair<int, int> HeaderAndRows(const std::string& bytes) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        lines.push_back(bytes.substr(at, end - at));
        at = end == std::string::npos ? bytes.size() : end + 2;
    }
    if (lines.size() < 2) {
        return {-1, -1};
    }
    return {std::stoi(lines[1]), static_cast<int>(lines.size()) - 2};
}

class SecondRun : public StoredDataTest, public ::testing::WithParamInterface<SecondRunCase> {};

TEST_P(SecondRun, WritesWhatAProcessOfItsOwnWrites) {
    const SecondRunCase& c = GetParam();
    ASSERT_TRUE(RunBounded([&] { return Start(c.job); }));
    ASSERT_EQ(ExitStatusOf(doc.LastOutcome()), kExitDone) << FailuresText(doc.LastOutcome());
    const std::map<std::string, std::string> firstDay = FilesIn("out");

    // The next trading day (the 4th is a Friday): other prices and figures at the same address.
    const int nextDayOfMonth = test::kSiteDay + 3;
    const std::string url = server.Url();
    site::SiteOptions options = test::FaultSiteOptions(test::kFaultSiteSeed + 1);
    options.port = server.Port();
    options.day = nextDayOfMonth;
    server.Stop();
    site::SiteServer nextDay(options);
    if (!c.siteDown) {
        ASSERT_TRUE(nextDay.Start());
        site::Fault fault;
        fault.kind = c.fault;
        fault.status = c.status;
        fault.bytes = 200000;
        nextDay.SetFault(TargetOf(c.job == Job::kFetch ? list.GetQuoteUrl(1)
                                                       : list.GetFiguresUrl(1)),
                         fault);
    }
    SetTodayForTesting(LocalDate{test::kSiteYear, test::kSiteMonth, nextDayOfMonth});
    ASSERT_TRUE(RunBounded([&] { return Start(c.job); }));
    const JobOutcome second = doc.LastOutcome();

    CStockList ownList;
    ASSERT_EQ(ownList.Load(markets, url.c_str()), 0);
    CAppSettings ownSettings = settings;
    std::snprintf(ownSettings.m_szOutputDir, sizeof ownSettings.m_szOutputDir, "own");
    fs::create_directory("own");
    test::FaultView ownView;
    CTickoraDoc own(ownSettings, markets, ownList);
    own.SetView(&ownView);
    ASSERT_TRUE(c.job == Job::kFetch ? own.OnFetch() : own.OnGetPerformance());
    own.WaitForJob();
    const JobOutcome alone = own.LastOutcome();

    EXPECT_EQ(ExitStatusOf(second), c.exitStatus) << FailuresText(second);
    EXPECT_EQ(ExitStatusOf(alone), c.exitStatus) << FailuresText(alone);
    EXPECT_EQ(second.extracted, alone.extracted);
    EXPECT_EQ(second.notExtracted, alone.notExtracted);
    EXPECT_EQ(view.Last("counts "), ownView.Last("counts ")) << "the form's counters";
    const std::map<std::string, std::string> after = FilesIn("out");
    const std::map<std::string, std::string> ownFiles = FilesIn("own");
    for (const auto& [name, bytes] : ownFiles) {
        ASSERT_EQ(after.count(name), 1u) << name;
        EXPECT_TRUE(after.at(name) == bytes) << name << " differs from a fresh run's";
        if (name.ends_with(".DAT")) {
            const auto [header, rows] = HeaderAndRows(bytes);
            EXPECT_EQ(header, rows) << name;
            EXPECT_EQ(header, alone.extracted) << name;
        }
    }
    for (const auto& [name, bytes] : after) {
        if (ownFiles.count(name) == 0) {
            ASSERT_EQ(firstDay.count(name), 1u) << name << " was written from the first run";
            EXPECT_TRUE(firstDay.at(name) == bytes) << name << " was rewritten";
        }
    }
    EXPECT_EQ(after.size(), firstDay.size() + ownFiles.size());
    EXPECT_EQ(ownFiles.empty(), c.siteDown);
}

INSTANTIATE_TEST_SUITE_P(Rows, SecondRun, ::testing::ValuesIn(kSecondRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tickora
