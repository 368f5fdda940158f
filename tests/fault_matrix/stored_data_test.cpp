// SPDX-License-Identifier: GPL-3.0-or-later
// What a user stored survives a run that failed, was cancelled or met a page that lies: each row
// is a job, a fault and the file that must come out of it whole (kept as it was, or kept as the
// backup of the file that replaced it), with the outcome that says so.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "pages/history_page.h"
#include "pages/list_pages.h"
#include "tests/fault_matrix/fault_fixture.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFileBytes;
using test::WriteFileBytes;

enum class Job { kFetch, kFetchList, kKdt, kProfiles };

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
};

class StoredData : public test::FaultSiteTest, public ::testing::WithParamInterface<StoredCase> {
  protected:
    // Runs the job once to its end on a healthy site, so that the stored file is a whole one.
    void StoreWholeFile(Job job) {
        view.codeOptions = {static_cast<unsigned>(LongHistoryStock().code), 200, false};
        ASSERT_TRUE(RunBounded([&] { return Start(job); }));
        ASSERT_EQ(ExitStatusOf(doc.LastOutcome()), kExitDone) << FailuresText(doc.LastOutcome());
    }
    bool Start(Job job) {
        switch (job) {
            case Job::kFetch:
                return doc.OnFetch();
            case Job::kFetchList:
                return doc.OnMakeFetchList();
            case Job::kKdt:
                return doc.OnMakeKdt();
            case Job::kProfiles:
                return doc.OnGetProfiles();
        }
        return false;
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
        }
        return {};
    }
};

TEST_P(StoredData, TheStoredFileComesOutWholeAndTheOutcomeSaysWhy) {
    const StoredCase& c = GetParam();
    DownloadLimits limits = GetDownloadLimits();
    limits.maxPageBytes = 1024 * 1024;
    SetDownloadLimits(limits);
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
        target =
            TargetOf(CKdtRequest(LongHistoryStock().symbol.c_str(), LongHistoryStock().code, 200)
                         .GetPageUrl(3));
    }
    server.SetFault(target, fault);
    view.listOptions.useKeptHtml = c.useKeptHtml;
    if (c.useKeptHtml) {
        fs::remove(CListPages(server.Url()).GetPagePath(1));
    }

    for (int run = 0; run < c.runs; ++run) {
        std::atomic<bool> stop{false};
        std::thread canceller([&] {
            while (c.cancel && !stop) {
                if (test::CountRequests(server, target) > run) {
                    std::this_thread::sleep_for(300ms);
                    doc.CancelJob();
                    return;
                }
                std::this_thread::sleep_for(5ms);
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
    if (c.job == Job::kFetch) {
        // The day's file was replaced by what the run had; the whole one is its backup.
        EXPECT_TRUE(ReadFileBytes(path + ".bak") == stored) << "the whole day is kept";
        ASSERT_EQ(outcome.Written().size(), 1u);
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

}  // namespace
}  // namespace tickora
