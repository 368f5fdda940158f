// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/work_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace tickora {
namespace {

std::string ResolvedFolder(const std::string& folder) {
    char resolved[PATH_MAX];
    return ::realpath(folder.c_str(), resolved) != nullptr ? std::string(resolved) : folder;
}

// The pid the holder wrote, or 0. The holder writes it just after it took the lock, so a reader
// that came in between may find the file still empty for a moment.
long ReadHolderPid(int fd) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        char text[32] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        if (n > 0) {
            char* end = nullptr;
            const long pid = std::strtol(text, &end, 10);
            if (end != text && pid > 0) {
                return pid;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

void WriteOwnPid(int fd) {
    const std::string text = std::to_string(static_cast<long>(::getpid())) + "\n";
    // Only a courtesy for the message of a refused caller: a failure here does not matter.
    if (::ftruncate(fd, 0) == 0) {
        (void)!::pwrite(fd, text.data(), text.size(), 0);
    }
}

}  // namespace

WorkLock::~WorkLock() {
    Release();
}

void WorkLock::Release() {
    if (m_fd >= 0) {
        // Closing the only descriptor of this open file drops the lock.
        ::close(m_fd);
        m_fd = -1;
    }
}

std::string WorkLockResult::Message() const {
    switch (status) {
        case WorkLockStatus::kTaken:
            return {};
        case WorkLockStatus::kBusy:
            return holderPid > 0 ? "another Tickora job (pid " + std::to_string(holderPid) +
                                       ") is using " + folder
                                 : "another Tickora job is using " + folder;
        case WorkLockStatus::kError:
            break;
    }
    if (notAFile) {
        return folder + "/" + kWorkLockName +
               " is not a plain file of its own (a symbolic link, a hard link, a FIFO or a "
               "folder), so Tickora neither follows nor writes it: remove it and start again";
    }
    return "cannot lock " + folder + "/" + kWorkLockName + ": " + std::strerror(error);
}

WorkLockResult TryLockWorkFolder(const std::string& folder) {
    WorkLockResult result;
    result.folder = ResolvedFolder(folder.empty() ? "." : folder);
    const std::string path = result.folder + "/" + kWorkLockName;
    // A new open file for every lock: flock belongs to the open file, so two locks of one process
    // exclude each other just as two processes do. CLOEXEC keeps a started program (the browser
    // for the guide) from holding the lock after this process has ended.
    // The holder truncates the file and writes into it: a link planted at its name must not
    // point that at a file elsewhere, nor a FIFO there hold the open for ever. This is the one
    // open outside files/ (.ci/file-opens names it): flock needs a descriptor the lock keeps for
    // its whole life, and it keeps the door's rules itself (no link, no wait, a regular file
    // with one name).
    constexpr int kNoLinks = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kNoLinks, 0666);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(path.c_str(), O_RDONLY | kNoLinks);  // another user's file still locks
    }
    if (fd < 0) {
        result.error = errno;
        result.notAFile = errno == ELOOP || errno == ENXIO || errno == EISDIR;
        return result;
    }
    struct stat info {};
    // A second name (a hard link) would carry the pid into a file the folder does not own.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        result.error = EINVAL;
        result.notAFile = true;
        ::close(fd);
        return result;
    }
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            result.status = WorkLockStatus::kBusy;
            result.holderPid = ReadHolderPid(fd);
        } else {
            result.error = error;
        }
        ::close(fd);
        return result;
    }
    WriteOwnPid(fd);
    result.status = WorkLockStatus::kTaken;
    result.lock.m_fd = fd;
    return result;
}

WorkLockResult WaitForWorkFolder(const std::string& folder,
                                 const std::function<bool()>& keepWaiting,
                                 std::chrono::milliseconds poll) {
    for (;;) {
        WorkLockResult result = TryLockWorkFolder(folder);
        if (result.status != WorkLockStatus::kBusy || !keepWaiting || !keepWaiting()) {
            return result;
        }
        std::this_thread::sleep_for(poll);
    }
}

}  // namespace tickora
