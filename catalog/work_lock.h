// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One job per working folder. Every job and every settings save holds an exclusive lock on
// "tickora.lock" in the working folder for as long as it runs; the kernel drops the lock when the
// process ends in any way, so a killed run never blocks the next one. The holder writes its pid
// into the file so that a refused caller can name it.
#include <chrono>
#include <functional>
#include <string>
#include <utility>

namespace tickora {

inline constexpr const char* kWorkLockName = "tickora.lock";

struct WorkLockResult;

// The held lock; released when the object goes (or Release is called). Move-only.
class WorkLock {
  public:
    WorkLock() = default;
    ~WorkLock();
    WorkLock(WorkLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    WorkLock& operator=(WorkLock&& other) noexcept {
        if (this != &other) {
            Release();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    WorkLock(const WorkLock&) = delete;
    WorkLock& operator=(const WorkLock&) = delete;

    [[nodiscard]] bool Held() const { return m_fd >= 0; }
    void Release();

  private:
    friend WorkLockResult TryLockWorkFolder(const std::string& folder);
    int m_fd = -1;
};

enum class WorkLockStatus {
    kTaken,  // lock holds the folder
    kBusy,   // another lock holds it (another process, or another lock of this one)
    kError,  // the lock file cannot be made or opened: error tells why
};

struct WorkLockResult {
    WorkLockStatus status = WorkLockStatus::kError;
    WorkLock lock;       // held when status is kTaken
    std::string folder;  // the folder as an absolute path where it can be resolved
    long holderPid = 0;  // with kBusy: the pid the holder wrote, 0 when it is not known
    int error = 0;       // with kError: the errno
    // With kError: the lock's name is taken by something that is no plain file of its own (a
    // symbolic link, a second name of another file, a FIFO, a folder). Nothing was written.
    bool notAFile = false;

    [[nodiscard]] bool Taken() const { return status == WorkLockStatus::kTaken; }
    // UTF-8, for standard error and the status bar: "another Tickora job (pid 4242) is using
    // /home/u/kabu" or why the lock could not be taken; empty when taken.
    [[nodiscard]] std::string Message() const;
};

// One attempt, never blocking.
[[nodiscard]] WorkLockResult TryLockWorkFolder(const std::string& folder = ".");

// Tries again every poll until the lock is taken, it cannot be taken at all (kError), or
// keepWaiting returns false (kBusy: a Ctrl+C or a Cancel ended the wait). keepWaiting is asked
// before every sleep, so a wait can end within one poll.
[[nodiscard]] WorkLockResult WaitForWorkFolder(
    const std::string& folder, const std::function<bool()>& keepWaiting,
    std::chrono::milliseconds poll = std::chrono::milliseconds(100));

}  // namespace tickora
