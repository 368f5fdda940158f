// SPDX-License-Identifier: GPL-3.0-or-later
// The built tickora-cli against the built tickora-site on loopback: what a scheduler sees of a
// whole run (exit status, summary, progress lines, files) and of signals sent to it.
#include <gtest/gtest.h>

#if defined(TICKORA_SITE_BINARY) && defined(TICKORA_CLI_BINARY)

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/processes.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora::cli {
namespace {

using namespace std::chrono_literals;
using test::CliProcess;
using test::CopyShippedMarketTable;
using test::ReadFileBytes;
using test::ScopedWorkDir;
using test::SiteProcess;
using test::Spawn;
using test::WaitExit;
using test::WriteFileBytes;

class CliEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        CopyShippedMarketTable(m_dir.Path());
        std::filesystem::create_directory(m_dir.Path() / "out");
    }
    std::string Workdir() const { return m_dir.Path().string(); }
    std::optional<int> RunToEnd(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--workdir", Workdir()};
        all.insert(all.end(), args.begin(), args.end());
        m_last.emplace(m_dir.Path(), all);
        return m_last->Wait();
    }
    CliProcess& Last() { return *m_last; }
    // The site's own fetch list, so that a test need not build it through 100 listing pages.
    void WriteSiteFetchList(int stocks) {
        const int devNull = open("/dev/null", O_WRONLY);
        const pid_t pid = Spawn({TICKORA_SITE_BINARY, "--stocks", std::to_string(stocks),
                                 "--write-fetchlist", (m_dir.Path() / "fetchlist.csv").string()},
                                devNull, devNull);
        close(devNull);
        ASSERT_EQ(WaitExit(pid, 30s), 0);
    }

    ScopedWorkDir m_dir;
    std::optional<CliProcess> m_last;
};

TEST_F(CliEndToEnd, FetchListThenFetchOfAHealthySiteEndsWithStatusZero) {
    SiteProcess site(180);
    ASSERT_TRUE(site.Running());
    ASSERT_EQ(RunToEnd({"settings", "--output-dir", (m_dir.Path() / "out").string()}), 0);

    ASSERT_EQ(RunToEnd({"--site", site.Url(), "fetchlist"}), 0) << Last().Err();
    EXPECT_EQ(Last().Out().rfind("fetchlist: ", 0), 0u) << Last().Out();
    ASSERT_TRUE(std::filesystem::exists(m_dir.Path() / "fetchlist.csv"));

    ASSERT_EQ(RunToEnd({"--site", site.Url(), "fetch"}), 0) << Last().Out() << Last().Err();
    const std::string out = Last().Out();
    EXPECT_EQ(out.rfind("fetch: 183/183 stocks, 183 extracted, 0 not extracted, quotes of ", 0), 0u)
        << out;
    // Files are named by their whole path, which a log read elsewhere can still be opened by.
    EXPECT_NE(out.find("; wrote " + (m_dir.Path() / "out/DS").string()), std::string::npos)
        << out;
    EXPECT_EQ(out.find("fail"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << "one summary line";
    // Not a terminal: plain progress lines, no bar drawing.
    const std::string err = Last().Err();
    EXPECT_NE(err.find("fetch: 50/183 stocks, 50 extracted, 0 not extracted\n"), std::string::npos)
        << err;
    EXPECT_EQ(err.find('\r'), std::string::npos) << err;
    EXPECT_EQ(test::DailyFilesIn(m_dir.Path() / "out").size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "ERRORLOG.TXT"));
}

TEST_F(CliEndToEnd, SigintCancelsAfterTheCurrentItemAndTheFileIsStillWritten) {
    SiteProcess site(400);
    ASSERT_TRUE(site.Running());
    WriteSiteFetchList(400);

    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        for (const auto& file : test::DailyFilesIn(m_dir.Path())) {
            std::filesystem::remove(file);
        }
        // Pacing holds the job between its pages long enough to be interrupted in the middle.
        CliProcess cli(m_dir.Path(),
                       {"--workdir", Workdir(), "--site", site.Url(), "--pace", "800", "fetch"});
        ASSERT_TRUE(cli.WaitForErr("fetch: 50/")) << cli.Err();
        kill(cli.Pid(), signal);
        EXPECT_EQ(cli.Wait(), 1) << cli.Err();
        const std::string out = cli.Out();
        EXPECT_NE(out.find(", cancelled"), std::string::npos) << out;
        int done = 0;
        int total = 0;
        const std::size_t at = out.find(" stocks");
        ASSERT_NE(at, std::string::npos) << out;
        const std::size_t from = out.rfind(' ', at - 1);
        ASSERT_EQ(std::sscanf(out.c_str() + from, " %d/%d", &done, &total), 2) << out;
        EXPECT_GE(done, 50);
        EXPECT_LT(done, total) << "the job stopped early";
        EXPECT_NE(cli.Err().find("cancelling"), std::string::npos);
        EXPECT_EQ(test::DailyFilesIn(m_dir.Path()).size(), 1u)
            << "a cancelled fetch writes its file";
    }
}

TEST_F(CliEndToEnd, ASecondSignalEndsTheRunAtOnce) {
    SiteProcess site(400);
    ASSERT_TRUE(site.Running());
    WriteSiteFetchList(400);

    CliProcess cli(m_dir.Path(),
                   {"--workdir", Workdir(), "--site", site.Url(), "--pace", "5000", "fetch"});
    ASSERT_TRUE(cli.WaitForErr("fetch: 50/")) << cli.Err();
    // Two different signals, so that the second cannot merge with the first while pending.
    kill(cli.Pid(), SIGINT);
    kill(cli.Pid(), SIGTERM);
    EXPECT_EQ(cli.Wait(10s), 1) << cli.Err();
    EXPECT_EQ(cli.Out(), "") << "no summary: the run was not allowed to finish";
    EXPECT_NE(cli.Err().find("stopping at once"), std::string::npos) << cli.Err();
}

TEST_F(CliEndToEnd, PriceHistoryOfOneStockWritesItsFileAndAnUnknownCodeFails) {
    SiteProcess site(60);
    ASSERT_TRUE(site.Running());
    WriteSiteFetchList(60);
    // The fourth line is the first stock after the three index rows.
    const std::string list = ReadFileBytes(m_dir.Path() / "fetchlist.csv");
    std::size_t line = 0;
    for (int i = 0; i < 3; ++i) {
        line = list.find('\n', line) + 1;
    }
    const std::string code = list.substr(list.find(',', line) + 1, 4);

    ASSERT_EQ(RunToEnd({"--site", site.Url(), "kdt", "--code", code, "--days", "30"}), 0)
        << Last().Out() << Last().Err();
    EXPECT_NE(Last().Out().find("wrote " + (m_dir.Path() / ("KD" + code + ".KDT")).string()),
              std::string::npos)
        << Last().Out();
    EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / ("KD" + code + ".KDT")));

    // A code the list does not hold cannot be asked for, and the summary says why.
    ASSERT_EQ(RunToEnd({"--site", site.Url(), "kdt", "--code", "9999"}), 1) << Last().Out();
    EXPECT_EQ(Last().Out(),
              "kdt: not run: code 9999 is not in fetchlist.csv, so its history cannot be asked "
              "for\n")
        << Last().Out();
}

TEST_F(CliEndToEnd, UsageErrorsAndAMissingMarketTableAreReportedBeforeAnyRequest) {
    ASSERT_EQ(RunToEnd({"kdt", "--code", "1301", "--days", "5"}), 2);
    EXPECT_NE(Last().Err().find("--days must be a whole number from 10 to 3000"),
              std::string::npos);
    std::filesystem::remove(m_dir.Path() / "market.csv");
    ASSERT_EQ(RunToEnd({"--site", "http://127.0.0.1:9", "fetch"}), 3);
    EXPECT_EQ(Last().Err().rfind("market.csv not found.\ntickora-cli: looked in the working "
                                 "folder " +
                                     m_dir.Path().string() + " ",
                                 0),
              0u)
        << Last().Err();
}

}  // namespace
}  // namespace tickora::cli

#endif
