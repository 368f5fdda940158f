// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Processes for the tests that run the built programs: tickora-site on a free port and
// tickora-cli with its output in files, as a scheduler would start them.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"
#include "text/sjis.h"

#if defined(TICKORA_SITE_BINARY) && defined(TICKORA_CLI_BINARY)

extern char** environ;

namespace tickora::test {

using namespace std::chrono_literals;

inline pid_t Spawn(const std::vector<std::string>& args, int outFd, int errFd) {
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
inline std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
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
    explicit SiteProcess(int stocks, std::vector<std::string> extra = {}) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        const int devNull = open("/dev/null", O_WRONLY);
        std::vector<std::string> args{TICKORA_SITE_BINARY, "--port", "0", "--stocks",
                                      std::to_string(stocks)};
        args.insert(args.end(), extra.begin(), extra.end());
        m_pid = Spawn(args, fds[1], devNull);
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
    [[nodiscard]] std::string Out() const { return test::ReadFileBytes(m_outPath); }
    [[nodiscard]] std::string Err() const { return test::ReadFileBytes(m_errPath); }
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
inline void WriteMarketTable(const std::filesystem::path& dir) {
    const std::filesystem::path shipped = test::SourcePath("data/market.csv");
    if (std::filesystem::exists(shipped)) {
        std::filesystem::copy_file(shipped, dir / "market.csv");
        return;
    }
    test::WriteFileBytes(dir / "market.csv",
                         Utf8ToSjis("1,T, 東証1部\r\n2,T2, 東証2部\r\n3,M, 東証マザーズ\r\n"
                                    "4,J, ジャスダック\r\n5,O, 大証1部\r\n6,O2, 大証2部\r\n"
                                    "7,H, ヘラクレス\r\n8,N, 名証1部\r\n9,N2, 名証2部\r\n"
                                    "10,C, セントレックス\r\n11,S, 札証\r\n12,F, 福証\r\n"));
}

// The daily quote files ("DS...") in a folder.
inline std::vector<std::filesystem::path> DailyFilesIn(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("DS", 0) == 0 && name.find(".bak") == std::string::npos) {
            files.push_back(entry.path());
        }
    }
    return files;
}

}  // namespace tickora::test

#endif
