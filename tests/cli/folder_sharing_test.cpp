// SPDX-License-Identifier: GPL-3.0-or-later
// Several tickora-cli processes in one working folder, as the desktop program, cron and a user's
// terminal meet there: the second job is refused or waits, and a process killed at any moment
// leaves every file either as it was or complete.
#include <gtest/gtest.h>

#if defined(TICKORA_SITE_BINARY) && defined(TICKORA_CLI_BINARY)

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/partial_marks.h"
#include "jobs/job_outcome.h"
#include "jobs/run_history.h"
#include "tests/support/processes.h"

namespace tickora::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::CliProcess;
using test::ReadFileBytes;
using test::ScopedWorkDir;
using test::SiteProcess;
using test::WriteFileBytes;

void WriteSiteFetchList(int stocks, const fs::path& path) {
    const int devNull = open("/dev/null", O_WRONLY);
    const pid_t pid = test::Spawn({TICKORA_SITE_BINARY, "--stocks", std::to_string(stocks),
                                   "--write-fetchlist", path.string()},
                                  devNull, devNull);
    close(devNull);
    ASSERT_EQ(test::WaitExit(pid, 30s), 0);
}

// A working folder with the site's list of `stocks` stocks.
void LayFolder(const fs::path& dir, int stocks) {
    test::CopyShippedMarketTable(dir);
    WriteSiteFetchList(stocks, dir / "fetchlist.csv");
}

std::optional<int> RunCli(const fs::path& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--workdir", dir.string()});
    CliProcess cli(dir, args);
    return cli.Wait();
}

TEST(FolderSharing, ASecondJobIsRefusedAndWithWaitRunsAfterTheFirst) {
    ScopedWorkDir dir;
    constexpr int kStocks = 150;
    LayFolder(dir.Path(), kStocks);
    SiteProcess site(kStocks);
    ASSERT_TRUE(site.Running());

    // Pacing keeps the first job busy for a few seconds.
    CliProcess first(dir.Path(), {"--workdir", dir.Path().string(), "--site", site.Url(), "--pace",
                                  "15", "kdt", "--all", "--days", "30"});
    ASSERT_TRUE(first.WaitForErr("kdt: 1/")) << first.Err();

    const fs::path other = dir.Path() / "second";
    fs::create_directory(other);
    CliProcess refused(other, {"--workdir", dir.Path().string(), "--site", site.Url(), "fetch"});
    EXPECT_EQ(refused.Wait(30s), kExitLocked) << refused.Err();
    EXPECT_NE(refused.Err().find("(pid " + std::to_string(first.Pid()) + ")"), std::string::npos)
        << refused.Err();
    EXPECT_NE(refused.Err().find(fs::canonical(dir.Path()).string()), std::string::npos)
        << refused.Err();
    EXPECT_TRUE(test::DailyFilesIn(dir.Path()).empty()) << "the refused job wrote nothing";

    CliProcess waiting(other,
                       {"--workdir", dir.Path().string(), "--site", site.Url(), "--wait", "fetch"});
    EXPECT_EQ(first.Wait(), kExitDone) << first.Err();
    EXPECT_EQ(waiting.Wait(), kExitDone) << waiting.Err();
    EXPECT_NE(waiting.Err().find("waiting for it to end"), std::string::npos) << waiting.Err();
    EXPECT_NE(waiting.Out().find(std::to_string(kStocks + 3) + "/" + std::to_string(kStocks + 3) +
                                 " stocks, " + std::to_string(kStocks + 3) + " extracted"),
              std::string::npos)
        << waiting.Out();
    EXPECT_NE(first.Out().find(std::to_string(kStocks + 3) + "/" + std::to_string(kStocks + 3)),
              std::string::npos)
        << first.Out();
    EXPECT_EQ(test::DailyFilesIn(dir.Path()).size(), 1u);
}

// Each file a job writes, byte for byte, below a folder.
std::map<std::string, std::string> Outputs(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = fs::relative(entry.path(), dir).string();
        if (!entry.is_regular_file() || name.rfind("Webtemp", 0) == 0 || name.find("cli.") == 0 ||
            name == "tickora.lock" || name == "ERRORLOG.TXT") {
            continue;
        }
        files[name] = ReadFileBytes(entry.path());
    }
    return files;
}

bool IsTemporary(const std::string& name) {
    return name.find(".tmp") != std::string::npos;
}

// The dictionary is updated record by record: each record must be the old one or the new one.
bool RecordsAreOldOrNew(const std::string& now, const std::string& before,
                        const std::string& after) {
    constexpr std::size_t kRecord = 1024;
    if (now.size() != before.size() || now.size() != after.size()) {
        return false;
    }
    for (std::size_t at = 0; at < now.size(); at += kRecord) {
        const std::string record = now.substr(at, kRecord);
        if (record != before.substr(at, kRecord) && record != after.substr(at, kRecord)) {
            return false;
        }
    }
    return true;
}

// After a kill, each file of the work folder is as it was before the job or as a whole run left
// it; the run history and the dictionary may also hold whole lines and records of either.
using Files = std::map<std::string, std::string>;
void ExpectEveryFileOldOrWhole(const fs::path& work, const Files& old, const Files& whole) {
    for (const auto& [name, bytes] : Outputs(work)) {
        if (IsTemporary(name)) {
            continue;  // a killed writer's leftover; the next start removes it
        }
        if (name == kRunHistoryName) {
            // Appended to, never replaced: the earlier runs' lines stay whole, and a run
            // adds its own whole line or none.
            const std::string& kept = old.at(name);
            EXPECT_EQ(bytes.compare(0, kept.size(), kept), 0) << name;
            EXPECT_EQ(ReadRunHistory((work / name).string()).size(),
                      static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')))
                << name;
            continue;
        }
        if (name.size() > 9 && name[0] == '.' && name.ends_with(".partial")) {
            // The marks change with every commit of a day file: whichever step the kill cut,
            // they still tell the state of the file under the name.
            const std::string day = (work / name.substr(1, name.size() - 9)).string();
            EXPECT_NE(StateOf(ReadDayMarks(day), ContentIdOf(day)), DayState::kUnknown) << name;
            continue;
        }
        const auto was = old.find(name);
        const auto is = whole.find(name);
        const bool oldOrNew = (was != old.end() && bytes == was->second) ||
                              (is != whole.end() && bytes == is->second);
        if (name == "VorlaneEx.DIC" && was != old.end() && is != whole.end()) {
            EXPECT_TRUE(oldOrNew || RecordsAreOldOrNew(bytes, was->second, is->second)) << name;
        } else if (name.size() > 4 && name.substr(name.size() - 4) == ".bak") {
            // A backup holds a whole file the user had: the one it stands for, or the list
            // that fetchlist.bak keeps.
            std::string original = name.substr(0, name.size() - 4);
            if (original == "fetchlist") {
                original = "fetchlist.csv";
            }
            const bool keptWhole = (old.count(original) != 0 && bytes == old.at(original)) ||
                                   (old.count(name) != 0 && bytes == old.at(name));
            EXPECT_TRUE(keptWhole) << name;
        } else {
            EXPECT_TRUE(oldOrNew) << name << " is neither the old file nor a whole new one";
        }
    }
}

// Lays a folder of `stocks` stocks and runs each job in it to its end against site; returns the
// time each run took.
std::vector<std::chrono::milliseconds> RunJobsWhole(
    const fs::path& dir, int stocks, const std::string& site,
    const std::vector<std::vector<std::string>>& jobs) {
    fs::create_directories(dir);
    LayFolder(dir, stocks);
    std::vector<std::chrono::milliseconds> took;
    for (const auto& job : jobs) {
        std::vector<std::string> args{"--site", site};
        args.insert(args.end(), job.begin(), job.end());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunCli(dir, args), kExitDone) << ReadFileBytes(dir / "cli.err");
        took.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start));
    }
    return took;
}

TEST(FolderSharing, AKillAtAnyMomentLeavesEveryFileOldOrWhole) {
    constexpr int kStocks = 100;
    // Three kills of each job, spread over the time the job took whole: early, midway and late.
    // Whether one falls inside a transfer no longer matters, as the page planted below proves the
    // removal of a killed run's pages every time.
    constexpr int kKillsPerJob = 3;
    // The old files come from one site, the new ones from another whose prices, figures,
    // histories and profiles all differ.
    SiteProcess oldSite(kStocks, {"--seed", "1"});
    SiteProcess newSite(kStocks, {"--seed", "2"});
    ASSERT_TRUE(oldSite.Running() && newSite.Running());
    // Eight connections for the jobs of many pages: their pages arrive beside the work files.
    // The last kill is of the history job, whose pages the next start must find and remove.
    const std::vector<std::vector<std::string>> jobs = {
        {"--connections", "8", "fetch"},
        {"performance"},
        {"profiles"},
        {"fetchlist"},
        {"--connections", "8", "kdt", "--all", "--days", "60"},
    };
    ScopedWorkDir root;
    const fs::path before = root.Path() / "before";
    const fs::path after = root.Path() / "after";
    const fs::path work = root.Path() / "work";
    RunJobsWhole(before, kStocks, oldSite.Url(), jobs);
    const std::vector<std::chrono::milliseconds> took =
        RunJobsWhole(after, kStocks, newSite.Url(), jobs);
    ASSERT_FALSE(HasFailure()) << "the jobs did not all run whole";
    const auto old = Outputs(before);
    const auto whole = Outputs(after);

    int pagesInFlight = 0;  // left in the work folder by the killed runs
    pid_t lastKilled = 0;
    for (int kill = 0; kill < kKillsPerJob * static_cast<int>(jobs.size()); ++kill) {
        const std::size_t j = static_cast<std::size_t>(kill) % jobs.size();
        const auto& job = jobs[j];
        // The middles of the job's equal thirds; the paced run below only takes longer.
        const int third = kill / static_cast<int>(jobs.size());
        const auto moment = took[j] * (2 * third + 1) / (2 * kKillsPerJob);
        SCOPED_TRACE("kill " + std::to_string(kill) + ": " + job.back() + " after " +
                     std::to_string(moment.count()) + " ms");
        fs::remove_all(work);
        fs::copy(before, work, fs::copy_options::recursive);
        std::vector<std::string> args{"--workdir",   work.string(), "--site",
                                      newSite.Url(), "--pace",      "2"};
        args.insert(args.end(), job.begin(), job.end());
        CliProcess cli(work, args);
        (void)cli.Wait(moment);  // SIGKILL at the moment, unless the run ended before it
        lastKilled = cli.Pid();

        for (const auto& entry : fs::directory_iterator(work / "Webtemp")) {
            const std::string name = entry.path().filename().string();
            EXPECT_FALSE(name.ends_with(".part")) << name << " carries no process id";
            pagesInFlight += IsTemporary(name) ? 1 : 0;
        }
        ExpectEveryFileOldOrWhole(work, old, whole);
    }

    // Whether a kill fell inside a transfer depends on the machine's speed; a page a killed run
    // was receiving is planted under that run's own name, so that its removal is always checked.
    RecordProperty("pagesInFlight", pagesInFlight);
    WriteFileBytes(work / "Webtemp" /
                       ("webtemp-002.html.tmp" + std::to_string(lastKilled) + "-7"),
                   "half a page");
    // The next start removes what the killed runs left behind, in the work folder too, and the
    // pages an older version left there under names without a process id.
    WriteFileBytes(work / "Webtemp" / "webtemp-001.html.3.part", "half a page");
    ASSERT_EQ(RunCli(work, {"--site", newSite.Url(), "fetch"}), kExitDone);
    for (const auto& entry : fs::recursive_directory_iterator(work)) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(IsTemporary(name) || name.ends_with(".part"))
            << entry.path() << " was left behind";
    }
}

}  // namespace
}  // namespace tickora::cli

#endif
