// SPDX-License-Identifier: GPL-3.0-or-later
// Folders the jobs cannot write: an output folder that is missing or cannot exist, and a work
// folder (or one work file) that cannot be created. Every job must still end, read no page it
// did not get, and leave the files it does not own as they were.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/runner.h"
#include "formats/quote_file.h"
#include "jobs/output_folder.h"
#include "jobs/run_history.h"
#include "pages/list_pages.h"
#include "pages/profile_page.h"
#include "pages/quote_page.h"
#include "tests/support/fault_fixture.h"
#include "tests/support/special_files.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

// Output folders that no file can be created in. Tests run as root, which permission bits do not
// stop, so a folder is made impossible by a regular file where a folder should be.
struct OutputCase {
    const char* name;
    const char* folder;
    int error;  // what the system says when the file is created there
};

void PrintTo(const OutputCase& c, std::ostream* os) {
    *os << c.name;
}

class OutputFolderFault : public test::FaultSiteTest,
                          public ::testing::WithParamInterface<std::tuple<bool, OutputCase>> {
  protected:
    void SetUp() override {
        test::FaultSiteTest::SetUp();
        WriteFileBytes("afile", "not a folder\r\n");
    }
};

// A folder that is not there would cost the whole run at its end: the jobs that write there
// refuse before they ask for any page, name the folder, and create nothing.
TEST_P(OutputFolderFault, JobIsRefusedBeforeAnyPageAndCreatesNoFolder) {
    const auto& [performance, c] = GetParam();
    std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "%s", c.folder);
    server.ClearRequests();
    EXPECT_FALSE(performance ? doc.OnGetPerformance() : doc.OnFetch());
    EXPECT_EQ(doc.LastRefusal(), OutputFolderRefusal(AbsolutePath(c.folder)));
    EXPECT_FALSE(doc.IsJobRunning());
    EXPECT_FALSE(doc.m_bBusy);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(fs::exists("missing"));
    EXPECT_EQ(ReadFileBytes("afile"), "not a folder\r\n");
    ExpectProtectedFilesKept({});
    // Created, as the desktop program offers to, the folder takes the job.
    if (std::string(c.name).rfind("missing", 0) == 0) {
        EXPECT_EQ(CreateOutputFolder(settings), "");
        ASSERT_TRUE(RunBounded([this, performance = performance] {
            return performance ? doc.OnGetPerformance() : doc.OnFetch();
        }));
        EXPECT_EQ(doc.LastOutcome().Written().size(), 1u);
    } else {
        EXPECT_NE(CreateOutputFolder(settings).find(AbsolutePath(c.folder)), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, OutputFolderFault,
    ::testing::Combine(::testing::Bool(),
                       ::testing::Values(OutputCase{"missing", "missing", ENOENT},
                                         OutputCase{"missingTwoDeep", "missing/sub", ENOENT},
                                         OutputCase{"aFile", "afile", ENOTDIR},
                                         OutputCase{"underAFile", "afile/sub", ENOTDIR})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) ? "performance_" : "fetch_") +
               std::get<1>(info.param).name;
    });

class FolderFault : public test::FaultSiteTest {};

// A fetch that got no page at all must not replace a good daily file of the same day with an
// empty one: the user's only copy of the day would be gone.
TEST_F(FolderFault, FetchThatReadNothingKeepsTheDaysGoodFile) {
    const std::string today = QuoteFileName("out", 3, 2026, 12, 4);
    WriteFileBytes(today, "261204\r\n1,0\r\n1301,1,GOOD,10,11,9,10,100\r\n");
    site::Fault cut;
    cut.kind = site::FaultKind::kCut;
    server.SetFault("/q?", cut);
    ASSERT_TRUE(RunBounded([this] { return doc.OnFetch(); }));
    EXPECT_TRUE(doc.LastOutcome().Stopped());
    EXPECT_EQ(ReadFileBytes(today), "261204\r\n1,0\r\n1301,1,GOOD,10,11,9,10,100\r\n");
}

using test::Job;
using test::JobName;

class JobFault : public test::FaultSiteTest {
  protected:
    bool Start(Job job) {
        if (job == Job::kKdt) {
            view.codeOptions = {static_cast<unsigned>(LongHistoryStock().code), 100, false};
        }
        return FaultSiteTest::Start(job);
    }
};

class WorkFolderFault : public JobFault, public ::testing::WithParamInterface<Job> {};

// "Webtemp" is a regular file: no page can be saved, so no page may be read.
TEST_P(WorkFolderFault, WorkFolderThatCannotHoldFilesEndsTheJobCleanly) {
    const Job job = GetParam();
    fs::remove_all("Webtemp");
    WriteFileBytes("Webtemp", "a file where the work folder belongs\r\n");
    const std::string dictionary = ReadFileBytes(kDictionaryPath);

    ASSERT_TRUE(RunBounded([this, job] { return Start(job); }));
    ExpectIdle();
    const JobOutcome r = doc.LastOutcome();
    EXPECT_EQ(ReadFileBytes("Webtemp"), "a file where the work folder belongs\r\n");
    switch (job) {
        case Job::kFetch:
        case Job::kPerformance: {
            // The first download already fails: nothing read, so no day file is written.
            EXPECT_TRUE(r.Stopped());
            EXPECT_EQ(r.itemsDone, 0);
            EXPECT_EQ(r.extracted, 0);
            EXPECT_TRUE(r.Written().empty());
            ASSERT_EQ(r.files.size(), 1u);
            EXPECT_TRUE(r.files[0].state == FileState::kFailed);
            EXPECT_FALSE(fs::exists(r.files[0].path));
            ASSERT_EQ(r.failures.size(), 1u);
            EXPECT_NE(r.failures[0].cause.find("Webtemp/"), std::string::npos)
                << r.failures[0].cause;
            ExpectProtectedFilesKept({});
            break;
        }
        case Job::kFetchList:
            // Nothing gathered: the user's list and its backup stay.
            EXPECT_TRUE(r.Stopped());
            EXPECT_TRUE(r.Written().empty());
            ExpectProtectedFilesKept({});
            break;
        case Job::kKdt:
            EXPECT_TRUE(r.Stopped());
            EXPECT_TRUE(r.Written().empty());
            EXPECT_FALSE(fs::exists(KdtFileName(view.codeOptions.code, false)));
            ExpectProtectedFilesKept({});
            break;
        case Job::kProfiles:
            // No page can be stored: after three in a row the job stops, and no record changes.
            EXPECT_TRUE(r.Stopped());
            EXPECT_EQ(r.itemsDone, 3);
            ASSERT_EQ(r.failures.size(), 3u);
            EXPECT_TRUE(r.failures[2].endedJob);
            EXPECT_NE(r.failures[0].cause.find("Webtemp/"), std::string::npos)
                << r.failures[0].cause;
            EXPECT_TRUE(ReadFileBytes(kDictionaryPath) == dictionary);
            ExpectProtectedFilesKept({});
            break;
    }
}

// One work file cannot be created (a folder holding a file sits at its name): that page fails
// like a broken transfer, and the folder with its file is left alone.
class OneWorkFileFault : public WorkFolderFault {};

TEST_P(OneWorkFileFault, OneWorkFileThatCannotBeCreatedFailsOnlyThatPage) {
    const Job job = GetParam();
    std::string path;
    switch (job) {
        case Job::kFetch:
        case Job::kPerformance:
            path = list.GetPagePath(1);
            break;
        case Job::kFetchList:
            path = CListPages(server.Url()).GetPagePath(1);
            break;
        case Job::kKdt:
            path = "Webtemp/kdttemp-001.html";
            break;
        case Job::kProfiles:
            GTEST_SKIP() << "see ProfilePageThatCannotBeReadWipesNoRecord";
    }
    fs::create_directories(path);
    WriteFileBytes(path + "/keep", "keep");

    ASSERT_TRUE(RunBounded([this, job] { return Start(job); }));
    ExpectIdle();
    const JobOutcome r = doc.LastOutcome();
    EXPECT_EQ(ReadFileBytes(path + "/keep"), "keep");
    switch (job) {
        case Job::kFetch:
        case Job::kPerformance:
            EXPECT_TRUE(r.Stopped());
            EXPECT_EQ(r.itemsDone, list.GetBlock(0)->m_nStocks);
            ASSERT_EQ(r.Written().size(), 1u);
            ExpectProtectedFilesKept({});
            break;
        case Job::kFetchList:
            // The listing was not read whole: the list stays.
            EXPECT_TRUE(r.Stopped());
            EXPECT_EQ(r.itemsDone, 1);
            EXPECT_TRUE(r.Written().empty());
            ExpectProtectedFilesKept({});
            break;
        case Job::kKdt: {
            EXPECT_TRUE(r.Stopped());
            EXPECT_EQ(r.itemsDone, 1);
            const std::string file = ReadFileBytes(KdtFileName(view.codeOptions.code, false));
            EXPECT_EQ(file.size(), 50u * kKdtRecordSize);
            ExpectProtectedFilesKept({});
            break;
        }
        case Job::kProfiles:
            break;
    }
}

// The profile job's variant of the case above: a page path that opens but cannot be read (here a
// folder) is no page, so no stock's record is rewritten with empty texts.
TEST_F(FolderFault, ProfilePageThatCannotBeReadWipesNoRecord) {
    fs::create_directories(kSharedProfilePath);
    WriteFileBytes(std::string(kSharedProfilePath) + "/keep", "keep");
    const std::string dictionary = ReadFileBytes(kDictionaryPath);
    ASSERT_TRUE(RunBounded([this] { return doc.OnGetProfiles(); }));
    ExpectIdle();
    // Three in a row and the job stops: every page would fail the same way.
    EXPECT_TRUE(doc.LastOutcome().Stopped());
    EXPECT_EQ(doc.LastOutcome().itemsDone, 3);
    EXPECT_TRUE(ReadFileBytes(kDictionaryPath) == dictionary);
}

// A symbolic link planted at the name of a file the program writes, pointing at a file elsewhere:
// that file is never written. A file made whole and renamed into place replaces the link; one
// written in place refuses it, and the job names it as it names a file it cannot create.
struct PlantedLinkCase {
    const char* name;
    Job job;
    const char* path;    // where the link is planted; empty: the block 1 work file
    bool replaced;       // the job puts a file of its own in the link's place
    const char* failed;  // what the outcome's first failure names, or nullptr for none
};

void PrintTo(const PlantedLinkCase& c, std::ostream* os) {
    *os << c.name;
}

class PlantedLinkFault : public JobFault, public ::testing::WithParamInterface<PlantedLinkCase> {};

TEST_P(PlantedLinkFault, NoFileIsWrittenThroughALink) {
    const PlantedLinkCase& c = GetParam();
    const std::string path = *c.path != '\0' ? c.path : list.GetPagePath(1);
    const std::string outside = fs::absolute("elsewhere/victim").string();
    fs::create_directories("elsewhere");
    WriteFileBytes(outside, "the user's own file");
    fs::remove(path);
    fs::create_symlink(outside, path);

    const std::string name = c.name;
    if (name == "errorLog") {
        LogFailedStock(1, 1301, "x");  // the log is written only for a stock that failed
    } else if (name == "download") {
        // The jobs remove a work file before its download; a link planted between the two is
        // still refused.
        DownloadDetail detail;
        EXPECT_EQ(test::DownloadAlone(access, list.GetQuoteUrl(0), path.c_str(), &detail), 1);
        EXPECT_NE(detail.cause.find("a symbolic link, which is not followed"), std::string::npos)
            << detail.cause;
    } else {
        ASSERT_TRUE(RunBounded([this, &c] { return Start(c.job); }));
        ExpectIdle();
    }
    EXPECT_EQ(ReadFileBytes(outside), "the user's own file");
    EXPECT_EQ(fs::is_symlink(path), !c.replaced);
    const JobOutcome r = doc.LastOutcome();
    if (c.failed != nullptr) {
        ASSERT_FALSE(r.failures.empty());
        EXPECT_NE(r.failures[0].cause.find(c.failed), std::string::npos) << r.failures[0].cause;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, PlantedLinkFault,
    ::testing::Values(
        PlantedLinkCase{"workPage", Job::kFetch, "", true, nullptr},
        PlantedLinkCase{"download", Job::kFetch, "", false, nullptr},
        PlantedLinkCase{"errorLog", Job::kFetch, "ERRORLOG.TXT", false, nullptr},
        PlantedLinkCase{"dictionary", Job::kProfiles, kDictionaryPath, false,
                        "VorlaneEx.DIC: a symbolic link"},
        PlantedLinkCase{"dailyFile", Job::kFetch, "out/DS261204.DAT", true, nullptr},
        PlantedLinkCase{"figuresFile", Job::kPerformance, "out/FN261204.DAT", true, nullptr},
        PlantedLinkCase{"fetchList", Job::kFetchList, "fetchlist.csv", true, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Jobs, WorkFolderFault,
                         ::testing::Values(Job::kFetch, Job::kFetchList, Job::kKdt, Job::kProfiles,
                                           Job::kPerformance),
                         [](const auto& info) { return std::string(JobName(info.param)); });

INSTANTIATE_TEST_SUITE_P(Jobs, OneWorkFileFault,
                         ::testing::Values(Job::kFetch, Job::kFetchList, Job::kKdt,
                                           Job::kPerformance),
                         [](const auto& info) { return std::string(JobName(info.param)); });

// Names of the run history and of the day file's marks taken by a FIFO or a link: the fetch
// neither waits on them (Cancel included, which is what the terminal's Ctrl+C does) nor writes
// through them, writes its day file, and says what it could not keep.
struct SpecialFileCase {
    const char* name;
    const char* path;
    test::Plant plant;
    bool cancelWhileBlock1Trickles;
    const char* warning;  // a part of one of the outcome's warnings; "" for none
};

void PrintTo(const SpecialFileCase& c, std::ostream* os) {
    *os << c.name;
}

class SpecialFileFault : public JobFault, public ::testing::WithParamInterface<SpecialFileCase> {};

TEST_P(SpecialFileFault, TheJobNeitherWaitsOnItNorWritesThroughIt) {
    using namespace std::chrono_literals;
    const SpecialFileCase& c = GetParam();
    fs::create_directories("elsewhere");
    const fs::path outside = fs::absolute("elsewhere/victim");
    WriteFileBytes(outside, "the user's own file\n");
    ASSERT_TRUE(test::PlantAt(c.path, c.plant, outside));
    const std::string trickling = TargetOf(list.GetQuoteUrl(1));
    if (c.cancelWhileBlock1Trickles) {
        site::Fault fault;
        fault.kind = site::FaultKind::kTrickle;
        fault.bytes = 200000;
        fault.stall = 200ms;
        server.SetFault(trickling, fault);
    }

    ASSERT_TRUE(doc.OnFetch());
    const bool ended = test::EndsWithin(
        60s,
        [&] {
            const auto trickles = [&] { return test::CountRequests(server, trickling) > 0; };
            if (c.cancelWhileBlock1Trickles &&
                test::WaitFor([&] { return !doc.IsJobRunning() || trickles(); }, 60s) &&
                doc.IsJobRunning()) {
                doc.CancelJob();
            }
            doc.WaitForJob();
        },
        {c.path});
    EXPECT_TRUE(ended) << "the job waited on " << c.path;
    ExpectIdle();
    const JobOutcome outcome = doc.LastOutcome();
    EXPECT_EQ(outcome.Cancelled(), c.cancelWhileBlock1Trickles);
    EXPECT_TRUE(fs::exists("out/DS261204.DAT")) << "the day file is written";
    EXPECT_EQ(ReadFileBytes(outside), "the user's own file\n");
    if (c.plant == test::Plant::kFifo && std::string(c.path) == kRunHistoryName) {
        EXPECT_TRUE(fs::is_fifo(c.path)) << "the FIFO is left as it was";
    }
    if (c.warning[0] != '\0') {
        std::string warnings;
        for (const std::string& warning : outcome.warnings) {
            warnings += warning + "\n";
        }
        EXPECT_NE(warnings.find(c.warning), std::string::npos) << warnings;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SpecialFileFault,
    ::testing::Values(
        SpecialFileCase{"historyFifo", "history.jsonl", test::Plant::kFifo, false,
                        "history.jsonl: not a regular file (this run is not in the history)"},
        SpecialFileCase{"historyLinkOut", "history.jsonl", test::Plant::kLinkOut, false,
                        "history.jsonl: a symbolic link, which is not followed"},
        SpecialFileCase{"historyHardLinkOut", "history.jsonl", test::Plant::kHardLinkOut, false,
                        "history.jsonl: a second name of a file elsewhere"},
        SpecialFileCase{"marksFifo", "out/.DS261204.DAT.partial", test::Plant::kFifo, false, ""},
        SpecialFileCase{"marksFifoCancelled", "out/.DS261204.DAT.partial", test::Plant::kFifo, true,
                        ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tickora
