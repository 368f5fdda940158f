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

#include "tests/support/temp_dir.h"
#include "web/sjis.h"

extern char** environ;

namespace tickora::cli {
namespace {

using namespace std::chrono_literals;
using test::ReadFileBytes;
using test::ScopedWorkDir;
using test::WriteFileBytes;

pid_t Spawn(const std::vector<std::string>& args, int outFd, int errFd) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status, or nullopt when the process outlived the limit (it is killed then).
std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// tickora-site on a free port for the life of the object.
class SiteProcess {
  public:
    explicit SiteProcess(int stocks) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        const int devNull = open("/dev/null", O_WRONLY);
        m_pid = Spawn({TICKORA_SITE_BINARY, "--port", "0", "--stocks", std::to_string(stocks)},
                      fds[1], devNull);
        close(fds[1]);
        close(devNull);
        // The port is the first line of its standard output.
        std::string line;
        pollfd pfd{fds[0], POLLIN, 0};
        while (m_pid > 0 && line.find('\n') == std::string::npos && poll(&pfd, 1, 10000) > 0) {
            char buffer[64];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            line.append(buffer, static_cast<std::size_t>(n));
        }
        close(fds[0]);
        m_port = std::atoi(line.c_str());
    }
    ~SiteProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            if (!WaitExit(m_pid, 10s)) {
                ADD_FAILURE() << "tickora-site did not stop";
            }
        }
    }
    SiteProcess(const SiteProcess&) = delete;
    SiteProcess& operator=(const SiteProcess&) = delete;

    [[nodiscard]] bool Running() const { return m_pid > 0 && m_port > 0; }
    [[nodiscard]] std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

  private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// One tickora-cli process with its output in files of the test's folder.
class CliProcess {
  public:
    CliProcess(const std::filesystem::path& dir, std::vector<std::string> args)
        : m_outPath(dir / "cli.out"), m_errPath(dir / "cli.err") {
        args.insert(args.begin(), TICKORA_CLI_BINARY);
        const int out = open(m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        m_pid = Spawn(args, out, err);
        close(out);
        close(err);
    }
    [[nodiscard]] pid_t Pid() const { return m_pid; }
    std::optional<int> Wait(std::chrono::milliseconds limit = 120s) {
        return WaitExit(m_pid, limit);
    }
    [[nodiscard]] std::string Out() const { return ReadFileBytes(m_outPath); }
    [[nodiscard]] std::string Err() const { return ReadFileBytes(m_errPath); }
    // Waits until standard error holds text; false when it never did.
    bool WaitForErr(const std::string& text, std::chrono::milliseconds limit = 60s) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Err().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

  private:
    std::filesystem::path m_outPath;
    std::filesystem::path m_errPath;
    pid_t m_pid = -1;
};

// The markets of the site's universe, as the shipped table lists them.
void WriteMarketTable(const std::filesystem::path& dir) {
    const std::filesystem::path shipped = test::SourcePath("data/market.csv");
    if (std::filesystem::exists(shipped)) {
        std::filesystem::copy_file(shipped, dir / "market.csv");
        return;
    }
    WriteFileBytes(dir / "market.csv",
                   Utf8ToSjis("1,T, 東証1部\r\n2,T2, 東証2部\r\n3,M, 東証マザーズ\r\n"
                              "4,J, ジャスダック\r\n5,O, 大証1部\r\n6,O2, 大証2部\r\n"
                              "7,H, ヘラクレス\r\n8,N, 名証1部\r\n9,N2, 名証2部\r\n"
                              "10,C, セントレックス\r\n11,S, 札証\r\n12,F, 福証\r\n"));
}

class CliEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteMarketTable(m_dir.Path());
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

std::vector<std::filesystem::path> DailyFiles(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind("DS", 0) == 0) {
            files.push_back(entry.path());
        }
    }
    return files;
}

TEST_F(CliEndToEnd, FetchListThenFetchOfAHealthySiteEndsWithStatusZero) {
    SiteProcess site(180);
    ASSERT_TRUE(site.Running());
    ASSERT_EQ(RunToEnd({"settings", "--output-dir", (m_dir.Path() / "out").string()}), 0);

    ASSERT_EQ(RunToEnd({"--site", site.Url(), "fetchlist"}), 0) << Last().Err();
    EXPECT_EQ(Last().Out().rfind("fetchlist: ", 0), 0u) << Last().Out();
    ASSERT_TRUE(std::filesystem::exists(m_dir.Path() / "fetchlist.csv"));

    ASSERT_EQ(RunToEnd({"--site", site.Url(), "fetch"}), 0) << Last().Out() << Last().Err();
    const std::string out = Last().Out();
    EXPECT_NE(out.find(" not extracted, wrote "), std::string::npos) << out;
    EXPECT_NE(out.find(", 0 not extracted"), std::string::npos) << out;
    EXPECT_EQ(out.find("failed codes"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << "one summary line";
    // Not a terminal: plain progress lines, no bar drawing.
    const std::string err = Last().Err();
    EXPECT_NE(err.find("fetch 1/"), std::string::npos) << err;
    EXPECT_EQ(err.find('\r'), std::string::npos) << err;
    EXPECT_EQ(DailyFiles(m_dir.Path() / "out").size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "ERRORLOG.TXT"));
}

TEST_F(CliEndToEnd, SigintCancelsAfterTheCurrentItemAndTheFileIsStillWritten) {
    SiteProcess site(400);
    ASSERT_TRUE(site.Running());
    WriteSiteFetchList(400);

    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        for (const auto& file : DailyFiles(m_dir.Path())) {
            std::filesystem::remove(file);
        }
        // Pacing holds the job between its pages long enough to be interrupted in the middle.
        CliProcess cli(m_dir.Path(),
                       {"--workdir", Workdir(), "--site", site.Url(), "--pace", "800", "fetch"});
        ASSERT_TRUE(cli.WaitForErr("fetch 1/")) << cli.Err();
        kill(cli.Pid(), signal);
        EXPECT_EQ(cli.Wait(), 1) << cli.Err();
        const std::string out = cli.Out();
        EXPECT_NE(out.find(", cancelled"), std::string::npos) << out;
        int done = 0;
        int total = 0;
        const std::size_t at = out.find(" items");
        ASSERT_NE(at, std::string::npos) << out;
        const std::size_t from = out.rfind(' ', at - 1);
        ASSERT_EQ(std::sscanf(out.c_str() + from, " %d/%d", &done, &total), 2) << out;
        EXPECT_GE(done, 1);
        EXPECT_LT(done, total) << "the job stopped early";
        EXPECT_NE(cli.Err().find("cancelling"), std::string::npos);
        EXPECT_EQ(DailyFiles(m_dir.Path()).size(), 1u) << "a cancelled fetch writes its file";
    }
}

TEST_F(CliEndToEnd, ASecondSignalEndsTheRunAtOnce) {
    SiteProcess site(400);
    ASSERT_TRUE(site.Running());
    WriteSiteFetchList(400);

    CliProcess cli(m_dir.Path(),
                   {"--workdir", Workdir(), "--site", site.Url(), "--pace", "5000", "fetch"});
    ASSERT_TRUE(cli.WaitForErr("fetch 1/")) << cli.Err();
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
    EXPECT_NE(Last().Out().find("wrote KD" + code + ".KDT"), std::string::npos) << Last().Out();
    EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / ("KD" + code + ".KDT")));

    ASSERT_EQ(RunToEnd({"--site", site.Url(), "kdt", "--code", "9999"}), 1) << Last().Out();
    EXPECT_NE(Last().Out().find("no file written"), std::string::npos) << Last().Out();
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
