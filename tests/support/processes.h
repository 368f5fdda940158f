// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Processes for the tests that run the built programs: tickora-site on a free port and
// tickora-cli with its output in files, as a scheduler would start them.
#include <fcntl.h>
#include <gtest/gtest.h>
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
#include "tests/support/wait_for.h"

extern char** environ;

namespace tickora::test {

using namespace std::chrono_literals;

// Starts args[0] with its standard output and error on outFd and errFd, in folder when one is
// given, with env as its environment (this process's without it). The process id, or -1.
inline pid_t Spawn(const std::vector<std::string>& args, int outFd, int errFd,
                   const std::filesystem::path& folder = {},
                   const std::vector<std::string>* env = nullptr) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (env != nullptr) {
        for (const std::string& entry : *env) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        envp.push_back(nullptr);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(),
                    env != nullptr ? envp.data() : environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Whether the process has ended; it stays to be reaped by WaitExit.
inline bool HasEnded(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

// The exit status (128 + the signal's number for a process a signal ended), or nullopt when the
// process outlived the limit (it is killed then).
inline std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    if (pid <= 0) {
        return std::nullopt;  // never started: kill and waitpid would take it for a group
    }
    const bool ended = WaitFor([pid] { return HasEnded(pid); }, limit);
    if (!ended) {
        kill(pid, SIGKILL);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        return std::nullopt;
    }
    if (!ended) {
        return std::nullopt;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#if defined(TICKORA_SITE_BINARY) && defined(TICKORA_CLI_BINARY)

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
        if (m_pid > 0 && !Stop()) {
            ADD_FAILURE() << "tickora-site did not stop";
        }
    }
    // Ends the site as a service manager does, with SIGTERM: its exit status, or nullopt when it
    // did not end within 10 s.
    std::optional<int> Stop() {
        kill(m_pid, SIGTERM);
        const std::optional<int> status = WaitExit(m_pid, 10s);
        m_pid = -1;
        return status;
    }
    SiteProcess(const SiteProcess&) = delete;
    SiteProcess& operator=(const SiteProcess&) = delete;

    [[nodiscard]] bool Running() const { return m_pid > 0 && m_port > 0; }
    [[nodiscard]] int Port() const { return m_port; }
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
    [[nodiscard]] bool WaitForErr(const std::string& text,
                                  std::chrono::milliseconds limit = 60s) const {
        return WaitFor([&] { return Err().find(text) != std::string::npos; }, limit);
    }

  private:
    std::filesystem::path m_outPath;
    std::filesystem::path m_errPath;
    pid_t m_pid = -1;
};

#endif

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
