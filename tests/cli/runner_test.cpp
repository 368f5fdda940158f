// SPDX-License-Identifier: GPL-3.0-or-later
// tickora-cli in-process: the settings command against a real "Tickora.ini", the exit status of
// each way a run can end, the summary, and Ctrl+C reaching the running job as Cancel.
#include "cli/runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <regex>
#include <string>
#include <thread>

#include "catalog/connection_settings.h"
#include "catalog/work_lock.h"
#include "cli/command_line.h"
#include "cli/workdir_setup.h"
#include "jobs/outcome_json.h"
#include "jobs/output_folder.h"
#include "jobs/startup.h"
#include "site/site_server.h"
#include "tests/support/cli_run.h"
#include "tests/support/loopback_server.h"
#include "tests/support/secure_front.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/site_fixture.h"
#include "tests/support/site_options.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"
#include "text/sjis.h"

namespace tickora::cli {
namespace {

using test::CliRun;
using test::FileSizeLimit;
using test::MemoryStream;
using test::RunCli;
using test::ReadFileBytes;
using test::ScopedWorkDir;
using test::WriteFileBytes;

void WriteMarketTable() {
    WriteFileBytes("market.csv", Utf8ToSjis("1,T, 東証1部\r\n2,T2, 東証2部\r\n3,O, 大証1部\r\n"));
}

// `stocks` lines of "fetchlist.csv": 50 make one block.
void WriteFetchList(int stocks) {
    std::string text;
    for (int i = 0; i < stocks; ++i) {
        const int code = 1300 + i;
        text += std::to_string(code) + "," + std::to_string(code) + ",T," + "銘柄" +
                std::to_string(code) + "\r\n";
    }
    WriteFileBytes("fetchlist.csv", Utf8ToSjis(text));
}

// The loopback server, given no pages, answers every page with 404: each download completes, no
// page is parsed, so a job walks all of its items quickly and deterministically.
using NotFoundSite = test::LoopbackServer;

// What `settings` prints of the connection when nothing was set.
constexpr const char* kDefaultConnection =
    "quote-host: http://127.0.0.1:8053 (default: the simulated site on loopback)\n"
    "table-host: http://127.0.0.1:8053 (default: the simulated site on loopback)\n"
    "profile-host: http://127.0.0.1:8053 (default: the simulated site on loopback)\n"
    "retries: 0 (default)\npace: 0 ms (default)\npage-timeout: 300 s (default)\n"
    "connections: 1 (default)\nstreams: 16 (default)\nhttp2: auto (default)\n"
    "ca-file: none, the system's CA store (default)\n"
    "proxy: none, or the proxy environment variables (default)\nno-proxy: none (default)\n";

TEST(CliSettings, ChangesAreSavedAsTheRecordAndPrintedBack) {
    ScopedWorkDir dir;
    const std::string folder = "/data/出力先";
    CliRun run =
        RunCli({"--workdir", dir.Path().string(), "settings", "--format", "2", "--output-dir",
                folder, "--auto-start", "1", "--exit-after-fetch", "1", "--decimals", "1"});
    ASSERT_EQ(run.status, kExitDone) << run.err;

    const std::string record = ReadFileBytes(dir.Path() / "Tickora.ini");
    ASSERT_EQ(record.size(), 148u);
    EXPECT_EQ(record.substr(0, 4), std::string("\x00\x01\x01\x00", 4));
    EXPECT_EQ(record.substr(4, 4), std::string("\x02\x00\x00\x00", 4));
    EXPECT_EQ(record.substr(8, Utf8ToSjis(folder).size() + 1), Utf8ToSjis(folder) + '\0');

    CAppSettings loaded;
    loaded.Load((dir.Path() / "Tickora.ini").c_str());
    EXPECT_EQ(loaded.m_nOutputFormat, 2);
    EXPECT_EQ(std::string(loaded.m_szOutputDir), Utf8ToSjis(folder));
    EXPECT_EQ(loaded.m_bAutoStart, 1);
    EXPECT_EQ(loaded.m_bExitAfterFetch, 1);
    EXPECT_EQ(loaded.m_bAverageDecimals, 1);

    const std::string expected =
        "format: 2 (株取虫DOS)\noutput-dir: /data/出力先\nauto-start: 1\nexit-after-fetch: 1\n"
        "decimals: 1\n" +
        std::string(kDefaultConnection);
    EXPECT_EQ(run.out, expected);
    run = RunCli({"--workdir", dir.Path().string(), "settings"});
    ASSERT_EQ(run.status, kExitDone) << run.err;
    EXPECT_EQ(run.out, expected) << "printing reads the file back";
}

TEST(CliSettings, OneChangeLeavesTheOtherSettingsAsTheyWere) {
    ScopedWorkDir dir;
    ASSERT_EQ(RunCli({"settings", "--format", "1", "--decimals", "1"}).status, kExitDone);
    const CliRun run = RunCli({"settings", "--auto-start", "1"});
    ASSERT_EQ(run.status, kExitDone) << run.err;
    EXPECT_EQ(run.out,
              "format: 1 (株取虫32)\noutput-dir: .\nauto-start: 1\nexit-after-fetch: 0\n"
              "decimals: 1\n" +
                  std::string(kDefaultConnection));
}

TEST(CliSettings, PrintingWritesNothingAndShowsTheDefaultsOfAnotherVersion) {
    ScopedWorkDir dir;
    CliRun run = RunCli({"settings"});
    ASSERT_EQ(run.status, kExitDone);
    EXPECT_FALSE(std::filesystem::exists("Tickora.ini")) << "only a change saves the record";
    EXPECT_EQ(run.out.rfind("format: 3 (株取虫もどき)\noutput-dir: .\n", 0), 0u) << run.out;

    std::string other(148, '\0');
    other[0] = 0x01;  // version 1, not 0x00010100
    other[4] = 0x01;
    WriteFileBytes("Tickora.ini", other);
    run = RunCli({"settings"});
    EXPECT_EQ(run.out.rfind("format: 3 ", 0), 0u) << run.out;
    EXPECT_EQ(ReadFileBytes("Tickora.ini"), other);
}

TEST(CliSettings, StoredFormatsOutsideTheListAreNamedAsWritten) {
    ScopedWorkDir dir;
    CAppSettings settings;
    settings.m_nOutputFormat = -1;
    ASSERT_TRUE(settings.Save());
    EXPECT_NE(FormatSettings(settings).find("format: -1 (no selection, written as 株取虫もどき)"),
              std::string::npos);
    settings.m_nOutputFormat = 0;
    EXPECT_NE(FormatSettings(settings).find("format: 0 (the empty item, written as 株取虫もどき)"),
              std::string::npos);
}

TEST(CliSettings, AFailedSaveIsReportedAndKeepsTheOldRecord) {
    ScopedWorkDir dir;
    ASSERT_EQ(RunCli({"settings", "--format", "1"}).status, kExitDone);
    const std::string before = ReadFileBytes("Tickora.ini");
    CliRun run;
    {
        // A file size limit below the record makes the write fail even for root.
        FileSizeLimit full(100);
        run = RunCli({"settings", "--format", "2"});
    }
    EXPECT_EQ(run.status, kExitEndedEarly);
    EXPECT_NE(run.err.find("Tickora.ini could not be written"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFileBytes("Tickora.ini"), before);
}

TEST(CliExitStatus, UsageErrorsAreTwoAndSayWhy) {
    ScopedWorkDir dir;
    const CliRun run = RunCli({"kdt", "--days", "5", "--all"});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_NE(run.err.find("--days must be a whole number from 10 to 3000"), std::string::npos);
    EXPECT_NE(run.err.find("--help"), std::string::npos);
    EXPECT_EQ(run.out, "");
}

TEST(CliExitStatus, HelpAndVersionGoToStandardOutput) {
    CliRun run = RunCli({"--version"});
    EXPECT_EQ(run.status, kExitDone);
    EXPECT_EQ(run.out, "Tickora v1.1.5\n");
    run = RunCli({"--help"});
    EXPECT_EQ(run.status, kExitDone);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1),
              "usage: tickora-cli [--workdir DIR] [CONNECTION OPTIONS] [--json] [--wait] COMMAND "
              "[OPTIONS]\n");
    // Every command, every option tickora-cli takes and every exit status is explained.
    for (const CommandEntry& command : kCommands) {
        EXPECT_NE(run.out.find("\n  " + std::string(command.name) + " "), std::string::npos)
            << command.name;
    }
    for (const OptionEntry& entry : kOptions) {
        const std::regex named("--" + std::string(entry.name) + "(?![a-z0-9-])");
        EXPECT_EQ(std::regex_search(run.out, named), Documented(entry, Program::kCli))
            << entry.name;
    }
    for (int status = kExitDone; status <= kExitLocked; ++status) {
        EXPECT_NE(run.out.find("\n  " + std::to_string(status) + "  "), std::string::npos)
            << status;
    }
}

TEST(CliExitStatus, MissingMarketTableEndsBeforeAnyJob) {
    ScopedWorkDir dir;
    WriteFetchList(3);
    for (const char* command : {"fetch", "fetchlist", "performance", "profiles"}) {
        const CliRun run = RunCli({command});
        EXPECT_EQ(run.status, kExitNoMarket) << command;
        EXPECT_EQ(run.err, "market.csv not found.\ntickora-cli: looked in the working folder " +
                               std::filesystem::current_path().string() +
                               " (give another with --workdir DIR or TICKORA_HOME, or copy "
                               "market.csv there)\n")
            << command;
        EXPECT_EQ(run.out, "") << command;
    }
}

TEST(CliExitStatus, AWorkdirThatCannotBeEnteredFails) {
    ScopedWorkDir dir;
    const CliRun run = RunCli({"--workdir", (dir.Path() / "absent").string(), "fetch"});
    EXPECT_EQ(run.status, kExitEndedEarly);
    EXPECT_NE(run.err.find("cannot use the working folder"), std::string::npos) << run.err;
}

TEST(CliExitStatus, AnEmptyListEndsEveryJobWithOneAndMakesNothing) {
    const std::vector<std::vector<std::string>> jobs = {
        {"fetch"}, {"kdt", "--all"}, {"profiles"}, {"performance"}};
    for (const std::vector<std::string>& job : jobs) {
        ScopedWorkDir dir;
        WriteMarketTable();
        WriteFileBytes("fetchlist.csv", "");
        const CliRun run = RunCli(job);
        EXPECT_EQ(run.status, kExitEndedEarly) << job[0];
        EXPECT_NE(run.err.find("fetchlist.csv has no stocks"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("tickora-cli fetchlist"), std::string::npos) << run.err;
        for (const char* made : {"VorlaneEx.DIC", "DATA", "history.jsonl"}) {
            EXPECT_FALSE(std::filesystem::exists(made)) << job[0] << " made " << made;
        }
    }
}

TEST(CliExitStatus, AFolderWithoutMarketTableIsLeftAsItWas) {
    ScopedWorkDir dir;
    std::filesystem::create_directory("typo");
    WriteFileBytes("typo/fetchlist.csv", "1301,1301,T,x\r\n");
    for (const char* command : {"fetch", "kdt", "profiles"}) {
        std::vector<std::string> args{"--workdir", "typo", command};
        if (std::string(command) == "kdt") {
            args.push_back("--all");
        }
        EXPECT_EQ(RunCli(args).status, kExitNoMarket) << command;
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator("typo")) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"fetchlist.csv"});
}

TEST(CliExitStatus, AMissingOutputFolderIsRefusedBeforeAnyDownloadAndNamed) {
    ScopedWorkDir dir;
    WriteMarketTable();
    WriteFetchList(3);
    ASSERT_EQ(RunCli({"settings", "--output-dir", "gone/out"}).status, kExitDone);
    const std::string folder = (dir.Path() / "gone/out").string();
    for (const char* command : {"fetch", "performance"}) {
        // Port 9 has no listener: a job that asked a page would fail its download, not say 2.
        const CliRun run = RunCli({"--site", "http://127.0.0.1:9", command});
        EXPECT_EQ(run.status, kExitUsage) << command << run.err;
        EXPECT_NE(run.err.find("the output folder " + folder + " does not exist"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.out, "");
    }
    CAppSettings settings;
    settings.Load();
    EXPECT_EQ(CreateOutputFolder(settings), "");
    EXPECT_EQ(MissingOutputFolder(settings), "");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// With --json a run that never reached its job still prints one outcome, "not run", with the
// status it exits with.
TEST(CliExitStatus, JsonAnswersEveryRunThatDidNotStart) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool market;
        bool list;
        bool locked;
        int status;
        const char* cause;
    };
    const Case cases[] = {
        {"usage error", {"--json", "kdt", "--days", "5", "--all"}, true, true, false, kExitUsage,
         "--days must be"},
        {"bad connection setting", {"--json", "--site", "ftp://x", "fetch"}, true, true, false,
         kExitUsage, ""},
        {"no market table", {"--json", "fetch"}, false, true, false, kExitNoMarket,
         "market.csv not found."},
        {"empty list", {"--json", "performance"}, true, false, false, kExitEndedEarly,
         "fetchlist.csv has no stocks"},
        {"folder in use", {"--json", "fetch"}, true, true, true, kExitLocked, "another job"},
    };
    for (const Case& c : cases) {
        ScopedWorkDir dir;
        if (c.market) {
            WriteMarketTable();
        }
        c.list ? WriteFetchList(3) : WriteFileBytes("fetchlist.csv", "");
        WorkLockResult held;
        if (c.locked) {
            held = TryLockWorkFolder(".");
            ASSERT_TRUE(held.Taken());
        }
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.status, c.status) << c.name << run.err;
        int status = -1;
        const std::optional<JobOutcome> outcome = OutcomeFromJson(run.out, &status);
        ASSERT_TRUE(outcome.has_value()) << c.name << ": " << run.out;
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(outcome->end, JobEnd::kNotRun) << c.name;
        EXPECT_NE(outcome->endCause.find(c.cause), std::string::npos)
            << c.name << ": " << outcome->endCause;
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line";
    }
}

TEST(CliExitStatus, ProfilesRefusedWithoutADictionaryShowTheCoreMessageInUtf8) {
    ScopedWorkDir dir;
    WriteMarketTable();
    WriteFetchList(2);
    const CliRun run = RunCli({"profiles", "--added-only"});
    EXPECT_EQ(run.status, kExitEndedEarly);
    EXPECT_NE(run.err.find("辞書ファイルVorlaneEx.DICがありません。"), std::string::npos)
        << run.err;
}

// Names of the working folder taken by a link, a FIFO, a folder or a device: nothing is written
// through them, nothing waits on them, and the run ends at once with status 2 naming the file.
TEST(CliExitStatus, FilesThatAreNoRegularFilesAreRefusedWithStatusTwoAndNeverWrittenThrough) {
    enum class Plant { kFifo, kFolder, kLinkOut, kLinkToDevZero, kHardLinkOut };
    struct Case {
        const char* file;
        Plant plant;
        const char* command;
    };
    const Case cases[] = {
        {"tickora.lock", Plant::kLinkOut, "fetch"},
        {"tickora.lock", Plant::kHardLinkOut, "fetch"},
        {"tickora.lock", Plant::kFifo, "fetch"},
        {"Tickora.ini", Plant::kFifo, "fetch"},
        {"Tickora.ini", Plant::kFolder, "fetch"},
        {"Tickora.ini", Plant::kLinkToDevZero, "fetch"},
        {"Tickora.ini", Plant::kLinkOut, "fetch"},
        {"Tickora.ini", Plant::kFifo, "settings"},
        {"connection.toml", Plant::kFifo, "fetch"},
        {"connection.toml", Plant::kLinkToDevZero, "fetch"},
        {"market.csv", Plant::kFifo, "fetch"},
        {"fetchlist.csv", Plant::kFolder, "fetch"},
        {"fetchlist.csv", Plant::kLinkToDevZero, "fetch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(static_cast<int>(c.plant)));
        ScopedWorkDir dir;
        std::filesystem::create_directory("elsewhere");
        const std::string outside = (dir.Path() / "elsewhere" / "victim").string();
        WriteFileBytes(outside, "the user's own file\n");
        WriteMarketTable();
        WriteFetchList(2);
        std::filesystem::remove(c.file);
        switch (c.plant) {
            case Plant::kFifo:
                ASSERT_EQ(mkfifo(c.file, 0600), 0);
                break;
            case Plant::kFolder:
                std::filesystem::create_directory(c.file);
                break;
            case Plant::kLinkOut:
                std::filesystem::create_symlink(outside, c.file);
                break;
            case Plant::kLinkToDevZero:
                std::filesystem::create_symlink("/dev/zero", c.file);
                break;
            case Plant::kHardLinkOut:
                std::filesystem::create_hard_link(outside, c.file);
                break;
        }
        // A run that waits on the FIFO would never return: it is given a bound.
        auto run = std::async(std::launch::async, [&] {
            return std::string(c.command) == "settings" ? RunCli({"settings", "--format", "1"})
                                                        : RunCli({c.command});
        });
        if (run.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "the run waits on " << c.file;
            (void)!::open(c.file, O_RDWR | O_NONBLOCK);  // lets a blocked open go on
            run.wait();
            continue;
        }
        const CliRun result = run.get();
        EXPECT_EQ(result.status, kExitUsage) << result.err;
        EXPECT_NE(result.err.find(c.file), std::string::npos) << result.err;
        EXPECT_EQ(ReadFileBytes(outside), "the user's own file\n");
        if (c.plant == Plant::kFifo) {
            EXPECT_TRUE(std::filesystem::is_fifo(c.file)) << "the FIFO is left as it was";
        }
    }
}

TEST(CliExitStatus, WorkdirIsLeftAgainAfterTheRun) {
    ScopedWorkDir dir;
    std::filesystem::create_directory("inner");
    const auto before = std::filesystem::current_path();
    ASSERT_EQ(RunCli({"--workdir", "inner", "settings", "--format", "1"}).status, kExitDone);
    EXPECT_EQ(std::filesystem::current_path(), before);
    EXPECT_TRUE(std::filesystem::exists("inner/Tickora.ini"));
    EXPECT_FALSE(std::filesystem::exists("Tickora.ini"));
}

struct ExitCase {
    const char* name;
    JobOutcome outcome;
    int status;
};

JobOutcome Outcome(const char* job, FileState file = FileState::kWritten) {
    JobOutcome outcome;
    outcome.job = job;
    outcome.itemsDone = outcome.itemsTotal = 2;
    outcome.extracted = 1;
    outcome.AddFile("/w/DS261207.DAT", file, file == FileState::kWritten ? "" : "why");
    return outcome;
}

std::vector<ExitCase> ExitCases() {
    std::vector<ExitCase> cases;
    cases.push_back({"complete fetch", Outcome("fetch"), kExitDone});
    JobOutcome o = Outcome("fetch");
    o.notExtracted = 1;
    o.notExtractedCodes = {1301};
    cases.push_back({"stocks merely not extracted are no failure", o, kExitDone});
    o = Outcome("fetch");
    o.Fail("50 stocks of block 1", "HTTP 500", "http://site/q", "counted as not extracted");
    cases.push_back({"an item failed, the job ran to its end", o, kExitItemsFailed});
    o = Outcome("fetch");
    o.StopAt(o.Fail("block 1", "cut", "http://site/q", "stopped"));
    cases.push_back({"a failure ended it early", o, kExitEndedEarly});
    o = Outcome("fetch");
    o.end = JobEnd::kCancelled;
    cases.push_back({"cancel", o, kExitEndedEarly});
    o = Outcome("fetch");
    o.end = JobEnd::kException;
    cases.push_back({"an exception", o, kExitEndedEarly});
    o = Outcome("kdt");
    o.end = JobEnd::kNotRun;
    cases.push_back({"dialog refused", o, kExitEndedEarly});
    o = Outcome("fetch", FileState::kFailed);
    cases.push_back({"nothing could be written", o, kExitEndedEarly});
    o = Outcome("kdt", FileState::kFailed);
    o.AddFile("/w/KD1301.KDT", FileState::kWritten);
    o.Fail("the history of 1332", "No space left on device", "/w/KD1332.KDT", "kept");
    cases.push_back({"some files written, one failed", o, kExitItemsFailed});
    o = Outcome("fetchlist", FileState::kKept);
    cases.push_back({"a file kept on purpose", o, kExitDone});
    o.Fail("listing page 1", "HTTP 404", "http://site/l", "the list is kept");
    cases.push_back({"a page failed, so the list was kept", o, kExitItemsFailed});
    o = JobOutcome{};
    o.job = "profiles";
    o.Fail("the profile of 1301", "refused", "http://site/p", "its record kept");
    cases.push_back({"every item failed and nothing was written", o, kExitEndedEarly});
    return cases;
}

TEST(CliExitStatus, OutcomesMapToStatuses) {
    for (const ExitCase& c : ExitCases()) {
        EXPECT_EQ(ExitStatusOf(c.outcome), c.status) << c.name;
    }
}

TEST(CliSummary, NamesCountsFailuresAndFilesFromWhereTheUserStands) {
    JobOutcome outcome;
    outcome.job = "fetch";
    outcome.itemsDone = 100;
    outcome.itemsTotal = 150;
    outcome.extracted = 47;
    outcome.notExtracted = 53;
    outcome.end = JobEnd::kCancelled;
    outcome.quoteDate = "2026/12/4";
    outcome.notExtractedCodes = {1301, 2, 9999};
    outcome.AddFile("/home/u/out/出力/DS261204.DAT", FileState::kWritten);
    ItemFailure& failure = outcome.Fail("50 stocks of block 1", "HTTP 500", "http://s/q?s=1301",
                                        "its stocks counted as not extracted");
    failure.codes = {1301, 1332, 1333, 1334, 1352, 1377};
    EXPECT_EQ(FormatSummary(outcome, PathView{"/home/u"}),
              "fetch: 100/150 stocks, 47 extracted, 53 not extracted, 1 failure, cancelled, "
              "quotes of 2026/12/4; wrote out/出力/DS261204.DAT\n"
              "  HTTP 500: 50 stocks of block 1 (1301, 1332, 1333, 1334, 1352, …): "
              "http://s/q?s=1301 (its stocks counted as not extracted)\n"
              "  not extracted, logged to ERRORLOG.TXT: 1301 0002 9999\n");
    // Outside the user's folder a path is shown whole.
    EXPECT_NE(FormatSummary(outcome, PathView{"/srv"}).find("wrote /home/u/out/"),
              std::string::npos);

    JobOutcome kdt;
    kdt.job = "kdt";
    kdt.unit = "pages";
    kdt.itemsDone = kdt.itemsTotal = 4;
    kdt.AddFile("/w/KD1301.KDT", FileState::kKept, "a page failed");
    EXPECT_EQ(FormatSummary(kdt, PathView{"/w"}),
              "kdt: 4/4 pages; kept KD1301.KDT (a page failed)\n");

    JobOutcome refused;
    refused.job = "kdt";
    refused.end = JobEnd::kNotRun;
    refused.endCause = "code 9999 is not in fetchlist.csv";
    EXPECT_EQ(FormatSummary(refused, PathView{}),
              "kdt: not run: code 9999 is not in fetchlist.csv\n");
}

TEST(CliSummary, LongListsAreCutWithACount) {
    JobOutcome outcome;
    outcome.job = "kdt";
    for (int i = 0; i < 25; ++i) {
        outcome.notExtractedCodes.push_back(1000 + i);
    }
    for (int i = 0; i < 8; ++i) {
        outcome.AddFile("/w/KD" + std::to_string(1000 + i) + ".KDT", FileState::kWritten);
        outcome.Fail("page 1 of " + std::to_string(2000 + i), "HTTP 404", "http://s/t", "kept")
            .codes = {2000 + i};
    }
    const std::string text = FormatSummary(outcome, PathView{"/w"});
    EXPECT_NE(text.find(" 1019 (+5 more)"), std::string::npos) << text;
    EXPECT_EQ(text.find("1020"), std::string::npos) << text;
    EXPECT_NE(text.find("KD1004.KDT (+3 more)"), std::string::npos) << text;
    EXPECT_NE(text.find("HTTP 404: 8 items: page 1 of 2000, page 1 of 2001, page 1 of 2002, …"
                        " (2000, 2001, 2002, 2003, 2004, …)"),
              std::string::npos)
        << text;
}

// The daily fetch logs the stocks it could not extract to ERRORLOG.TXT and says so; the
// performance job keeps no such log, and its summary once claimed one all the same.
TEST(CliSummary, OnlyTheJobThatLogsTheStocksNotExtractedSaysSo) {
    struct Case {
        const char* command;
        bool logs;
    };
    const Case cases[] = {{"fetch", true}, {"performance", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        ScopedWorkDir dir;
        site::SiteServer site(tickora::test::LoopbackSite(60));
        ASSERT_TRUE(site.Start());
        tickora::test::WriteSiteMarkets();
        WriteFileBytes("fetchlist.csv", site.FetchListCsv() + "9997,9997,T,none\r\n");
        const CliRun run = RunCli({"--site", site.Url(), c.command});
        EXPECT_EQ(run.status, kExitDone) << run.out << run.err;
        const std::string named =
            c.logs ? "\n  not extracted, logged to ERRORLOG.TXT: " : "\n  not extracted: ";
        EXPECT_NE(run.out.find(named), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(" 9997\n"), std::string::npos) << run.out;
        EXPECT_EQ(std::filesystem::exists("ERRORLOG.TXT"), c.logs);
        if (c.logs) {
            EXPECT_NE(ReadFileBytes("ERRORLOG.TXT").find(" code=9997 name=none\r\n"),
                      std::string::npos);
        }
    }
}

TEST(CliJobs, FetchAgainstASiteWithoutPagesWalksEveryBlockAndFails) {
    ScopedWorkDir dir;
    NotFoundSite site;
    WriteMarketTable();
    WriteFetchList(120);
    const CliRun run = RunCli({"--site", site.Url(), "fetch"});
    // Every block failed, each named; with no quote fetched no day file is written.
    EXPECT_EQ(run.status, kExitEndedEarly) << run.err;
    EXPECT_NE(run.out.find("fetch: 120/120 stocks, 0 extracted, 120 not extracted, 3 failures"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n  HTTP 404: 3 items: 50 stocks of block 0, 50 stocks of block 1, "
                           "20 stocks of block 2 (1300, "),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("fetch: 120/120 stocks, 0 extracted, 120 not extracted\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
}

// Leaves the retry policy's environment as it found it.
class PolicyGuard {
  public:
    ~PolicyGuard() {
        unsetenv("TICKORA_RETRIES");
        unsetenv("TICKORA_PACE_MS");
    }
};

// The site access a job run with args is given: the settings of the current folder, the
// environment and args.
SiteAccess AccessOfRun(const std::vector<std::string>& args) {
    const cli::ParseResult parsed = cli::ParseCommandLine(args);
    EXPECT_TRUE(parsed.ok) << parsed.error;
    MemoryStream err;
    const std::optional<SiteAccess> access = cli::SiteAccessForJob(parsed.options, err.File());
    EXPECT_TRUE(access.has_value()) << err.Text();
    return access.value_or(SiteAccess{});
}

TEST(CliJobs, RetriesAndPaceOfTheCommandLineOverrideTheEnvironment) {
    ScopedWorkDir dir;
    NotFoundSite site;  // 404 is final: no retry waits in this test
    WriteMarketTable();
    WriteFetchList(1);
    PolicyGuard guard;
    setenv("TICKORA_RETRIES", "5", 1);
    setenv("TICKORA_PACE_MS", "7", 1);

    std::vector<std::string> args{"--site", site.Url(), "fetch"};
    ASSERT_EQ(RunCli(args).status, kExitEndedEarly);
    EXPECT_EQ(AccessOfRun(args).retry.retries, 5) << "the environment alone";
    EXPECT_EQ(AccessOfRun(args).retry.paceMs, 7);

    args = {"--site", site.Url(), "--retries", "2", "fetch"};
    ASSERT_EQ(RunCli(args).status, kExitEndedEarly);
    EXPECT_EQ(AccessOfRun(args).retry.retries, 2) << "the command line wins";
    EXPECT_EQ(AccessOfRun(args).retry.paceMs, 7) << "what the command line does not name stays";

    args = {"--site", site.Url(), "fetch", "--pace", "0", "--retries=0"};
    ASSERT_EQ(RunCli(args).status, kExitEndedEarly);
    EXPECT_EQ(AccessOfRun(args).retry.retries, 0);
    EXPECT_EQ(AccessOfRun(args).retry.paceMs, 0);
}

// Holds the worker at the start of its first item until the test lets it go, so that an
// interrupt lands while a job is certainly running.
class HoldingView : public TerminalView {
  public:
    using TerminalView::TerminalView;

    void StepProgress() override {
        TerminalView::StepProgress();
        std::unique_lock lock(m_mutex);
        if (m_held) {
            return;
        }
        m_held = true;
        m_changed.notify_all();
        // Bounded, so that a test that failed before it released the worker still ends.
        if (!m_changed.wait_for(lock, std::chrono::seconds(60), [this] { return m_released; })) {
            ADD_FAILURE() << "the worker was never released from its step";
        }
    }
    bool WaitHeld() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_held; });
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_released = false;
};

TEST(CliCancel, SigintCancelsTheRunningJobAfterItsCurrentItem) {
    ScopedWorkDir dir;
    NotFoundSite site;
    WriteMarketTable();
    WriteFetchList(150);
    const SiteAccess access = test::AccessForTest(site.Url());
    StartupObjects objects;
    LoadStartupObjects(objects, access.hosts);
    ASSERT_TRUE(objects.marketLoaded);
    ASSERT_EQ(objects.stocks.m_nBlocks, 3);

    MemoryStream err;
    HoldingView view(err.File(), false, "fetch");
    CTickoraDoc doc(objects.settings, objects.markets, objects.stocks);
    doc.SetSiteAccess(access);
    doc.SetView(&view);

    InstallSignalHandlers();
    const int baseline = ProcessInterrupts().load();
    std::optional<JobOutcome> report;
    std::thread runner([&] {
        CliOptions options;
        options.command = Command::kFetch;
        report = RunJobOnDocument(options, doc, view, ProcessInterrupts(), baseline);
    });
    ASSERT_TRUE(view.WaitHeld());
    std::raise(SIGINT);
    // The runner polls; give it the time to turn the interrupt into Cancel.
    EXPECT_TRUE(test::WaitFor([&] { return doc.m_bCancel.load(); }));
    EXPECT_FALSE(doc.m_bBusy) << "Cancel clears the busy flag at once";
    EXPECT_TRUE(doc.IsJobRunning()) << "the worker still finishes its item";
    view.Release();
    runner.join();
    RestoreSignalHandlers();

    ASSERT_TRUE(report.has_value());
    EXPECT_TRUE(report->Cancelled());
    EXPECT_EQ(report->itemsDone, 50);
    EXPECT_EQ(report->itemsTotal, 150);
    EXPECT_EQ(ExitStatusOf(*report), kExitEndedEarly);
    // The site had no quote: a cancelled fetch writes the day's file only from quotes it fetched.
    EXPECT_TRUE(report->Written().empty());
    const std::string text = err.Text();
    EXPECT_NE(text.find("cancelling"), std::string::npos) << text;
    EXPECT_NE(text.find("fetch: 50/150 stocks"), std::string::npos) << text;
    EXPECT_EQ(text.find("fetch: 100/150 stocks"), std::string::npos) << text;
}

// Leaves the connection variables unset before and after.
class ConnectionGuard {
  public:
    ConnectionGuard() { Unset(); }
    ~ConnectionGuard() { Unset(); }
    static void Unset() {
        for (const ConnectionKeyInfo& info : ConnectionKeys()) {
            unsetenv(info.envVar);
        }
    }
};

struct PrecedenceCase {
    const char* file;        // connection.toml
    const char* retriesVar;  // TICKORA_RETRIES, nullptr for unset
    std::vector<std::string> options;
    int retries;
    bool siteFromFile;  // else the test's site
};

TEST(CliConnection, TheCommandLineBeatsTheEnvironmentWhichBeatsTheFile) {
    ScopedWorkDir dir;
    NotFoundSite site;
    WriteMarketTable();
    WriteFetchList(1);
    ConnectionGuard guard;
    const std::string fileSite = "site = \"" + site.Url() + "/\"\n";
    const PrecedenceCase cases[] = {
        {"", nullptr, {"--site", site.Url()}, 0, false},
        {"retries = 4\n", nullptr, {"--site", site.Url()}, 4, false},
        {"retries = 4\n", "6", {"--site", site.Url()}, 6, false},
        {"retries = 4\n", "6", {"--site", site.Url(), "--retries", "1"}, 1, false},
        {"retries = 4\nsite = \"http://127.0.0.1:9\"\n", nullptr, {"--site", site.Url()}, 4, false},
        {fileSite.c_str(), nullptr, {}, 0, true},
    };
    for (const PrecedenceCase& c : cases) {
        WriteFileBytes(kConnectionFileName, c.file);
        c.retriesVar ? setenv("TICKORA_RETRIES", c.retriesVar, 1) : unsetenv("TICKORA_RETRIES");
        std::vector<std::string> args = c.options;
        args.push_back("fetch");
        const CliRun run = RunCli(args);
        // Every page answers 404, which is final: no retry waits.
        EXPECT_EQ(run.status, kExitEndedEarly) << c.file << run.err;
        const SiteAccess access = AccessOfRun(args);
        EXPECT_EQ(access.retry.retries, c.retries) << c.file;
        EXPECT_EQ(access.hosts.quote, site.Url())
            << c.file << (c.siteFromFile ? " (from the file)" : "");
    }
}

TEST(CliConnection, ABadValueStopsAJobBeforeAnyRequestAndNamesItsKeyAndFile) {
    ScopedWorkDir dir;
    WriteMarketTable();
    WriteFetchList(1);
    ConnectionGuard guard;
    WriteFileBytes(kConnectionFileName, "retries = 2\npace_ms = \"slow\"\n");
    CliRun run = RunCli({"--site", "http://127.0.0.1:9", "fetch"});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_EQ(run.err,
              "tickora-cli: connection.toml:2: pace_ms must be a whole number from 0 to "
              "60000 (got 'slow')\n");
    EXPECT_EQ(run.out, "");

    std::filesystem::remove(kConnectionFileName);
    setenv("TICKORA_SITE", "quotes.example", 1);
    run = RunCli({"fetch"});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_EQ(run.err,
              "tickora-cli: TICKORA_SITE must be an http:// or https:// URL with a host "
              "(got 'quotes.example')\n");
}

TEST(CliConnection, ASiteWithAPrivateCaNeedsItsCaFileAndATlsFailureSaysWhyAndWhere) {
    ScopedWorkDir dir;
    ConnectionGuard guard;
    const test::TestCertificates certs = test::MakeTestCertificates(dir.Path() / "tls");
    ASSERT_FALSE(certs.caFile.empty()) << "openssl could not make the test certificates";
    site::SiteOptions options = tickora::test::LoopbackSite(60);
    options.tlsCertFile = certs.certFile.string();
    options.tlsKeyFile = certs.keyFile.string();
    site::SiteServer tls(options);
    ASSERT_TRUE(tls.Start());
    test::WriteSiteMarkets();
    WriteFileBytes("fetchlist.csv", tls.FetchListCsv());

    CliRun run = RunCli({"--site", tls.Url(), "fetch"});
    EXPECT_EQ(run.status, kExitEndedEarly) << run.err;
    EXPECT_NE(run.out.find("TLS with 127.0.0.1 failed: SSL certificate problem"), std::string::npos)
        << run.out;
    run = RunCli({"--site", tls.Url(), "--ca-file", certs.caFile.string(), "fetch"});
    EXPECT_EQ(run.status, kExitDone) << run.out << run.err;
}

TEST(CliConnection, SettingsSavesTheKeysPrintsWhereEachComesFromAndRemovesAnEmptyOne) {
    ScopedWorkDir dir;
    ConnectionGuard guard;
    CliRun run = RunCli({"settings", "--site", "http://quotes.example:8053", "--table-host",
                         "http://tables.example", "--retries", "3", "--pace", "250",
                         "--page-timeout", "60", "--connections", "2"});
    ASSERT_EQ(run.status, kExitDone) << run.err;
    const LayerLoad saved = LoadConnectionFile(kConnectionFileName);
    ASSERT_TRUE(saved.errors.empty());
    EXPECT_EQ(saved.layer.site, "http://quotes.example:8053");
    EXPECT_EQ(saved.layer.tableHost, "http://tables.example");
    EXPECT_EQ(saved.layer.connections, 2);
    EXPECT_FALSE(std::filesystem::exists("Tickora.ini")) << "only connection.toml changed";

    setenv("TICKORA_PACE_MS", "0", 1);
    run = RunCli({"settings", "--table-host="});
    ASSERT_EQ(run.status, kExitDone) << run.err;
    EXPECT_NE(run.out.find("quote-host: http://quotes.example:8053 (connection.toml)\n"
                           "table-host: http://quotes.example:8053 (connection.toml)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("retries: 3 (connection.toml)\npace: 0 ms (TICKORA_PACE_MS)\n"
                           "page-timeout: 60 s (connection.toml)\nconnections: 2 "
                           "(connection.toml)\n"),
              std::string::npos)
        << run.out;
    EXPECT_FALSE(LoadConnectionFile(kConnectionFileName).layer.tableHost);
}

TEST(CliConnection, SettingsKeepsAFileItCannotReadUnlessTheChangeReplacesTheBadKey) {
    ScopedWorkDir dir;
    ConnectionGuard guard;
    const std::string bad = "retries = 12\nsite = \"http://kept.example\"\n";
    WriteFileBytes(kConnectionFileName, bad);

    CliRun run = RunCli({"settings"});
    EXPECT_EQ(run.status, kExitUsage) << "printed, but the bad value is reported";
    EXPECT_NE(run.err.find("connection.toml:1: retries must be a whole number from 0 to 10"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("retries: 0 (default)"), std::string::npos) << run.out;

    run = RunCli({"settings", "--pace", "10", "--format", "1"});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_NE(run.err.find("connection.toml was not changed"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(kConnectionFileName), bad);
    EXPECT_FALSE(std::filesystem::exists("Tickora.ini"));

    run = RunCli({"settings", "--retries", "2"});
    EXPECT_EQ(run.status, kExitDone) << run.err;
    const LayerLoad fixed = LoadConnectionFile(kConnectionFileName);
    EXPECT_TRUE(fixed.errors.empty());
    EXPECT_EQ(fixed.layer.retries, 2);
    EXPECT_EQ(fixed.layer.site, "http://kept.example");
}

}  // namespace
}  // namespace tickora::cli
