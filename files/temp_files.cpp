// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <memory>

namespace tickora {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// Digits only, at least one, and a value that fits; 0 otherwise.
long DecimalValue(std::string_view digits) {
    if (digits.empty() || digits.size() > 18) {
        return 0;
    }
    long value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

bool ProcessIsGone(long pid) {
    // EPERM means a process of another user holds that id: alive as far as we can tell.
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

// Regular files only: a link of that name is not ours to follow, and a folder is never a
// leftover.
int RemoveRegularFilesIn(const std::string& folder, bool (*matches)(std::string_view)) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(dir.get())) {
        if (!matches(entry->d_name)) {
            continue;
        }
        const std::string path = folder + "/" + entry->d_name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::unlink(path.c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}

std::FILE* CreateNewFile(const std::string& path) {
    // O_EXCL refuses a name that exists, a link included, so the file of another writer is
    // never taken over.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        ::unlink(path.c_str());
        errno = error;
    }
    return file;
}

std::FILE* CreateTemporaryBeside(const std::string& target, std::string& tempPath) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempPath = TemporaryNameBeside(target);
        if (std::FILE* file = CreateNewFile(tempPath)) {
            return file;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    tempPath.clear();
    return nullptr;
}

bool KeepOwnerAndMode(const std::string& target, int fd) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return true;
    }
    // The owner first: a change of owner may clear the set-id bits that the mode then restores.
    // Without the right to keep the owner, the group alone may still be the user's to keep.
    if (::fchown(fd, info.st_uid, info.st_gid) != 0) {
        (void)::fchown(fd, static_cast<uid_t>(-1), info.st_gid);
    }
    return ::fchmod(fd, info.st_mode & 07777) == 0;
}

long TemporaryNameOwner(std::string_view name) {
    const std::size_t tmp = name.rfind(".tmp");
    if (tmp == std::string_view::npos || tmp == 0) {
        return 0;
    }
    const std::string_view tail = name.substr(tmp + 4);
    const std::size_t dash = tail.find('-');
    if (dash == std::string_view::npos) {
        return 0;
    }
    const std::string_view serial = tail.substr(dash + 1);
    if (serial.empty() || serial.find_first_not_of("0123456789") != std::string_view::npos) {
        return 0;
    }
    return DecimalValue(tail.substr(0, dash));
}

int RemoveStaleTemporaries(const std::string& folder) {
    return RemoveRegularFilesIn(folder.empty() ? "." : folder, [](std::string_view name) {
        const long owner = TemporaryNameOwner(name);
        return owner != 0 && ProcessIsGone(owner);
    });
}

}  // namespace tickora
