// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/local_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "files/file_io.h"
#include "files/regular_fd.h"

namespace tickora {
namespace files_detail {

int OpenRegularFd(const char* path, int flags, bool followLinks) {
    // A name that already shows it is no regular file is refused before the open: opening a
    // device can do things of its own (a tape rewinds, a terminal becomes ours).
    if (const int error = IrregularFileError(path, followLinks); error != 0) {
        errno = error;
        return -1;
    }
    const int noLinks = followLinks ? 0 : O_NOFOLLOW;
    // O_NONBLOCK lets the open of a FIFO put there since return at once; the descriptor is made
    // blocking again once it is known to be a regular file, where the flag means nothing anyway.
    const int fd = ::open(path, flags | noLinks | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == ENXIO) {
            errno = kNotRegularFile;  // a FIFO opened for writing with no reader
        }
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
        ::close(fd);
        errno = error;
        return -1;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

void CloseKeepingErrno(int fd) {
    const int error = errno;
    ::close(fd);
    errno = error;
}

}  // namespace files_detail

namespace {

std::atomic<unsigned> g_tempSerial{0};

int FlagsOf(const char* mode) {
    const std::string m = mode != nullptr ? mode : "";
    if (m == "wb") {
        return O_WRONLY | O_CREAT | O_TRUNC;
    }
    if (m == "ab") {
        return O_WRONLY | O_CREAT | O_APPEND;
    }
    if (m == "rb+" || m == "r+b") {
        return O_RDWR;
    }
    return O_RDONLY;
}

std::FILE* OpenChecked(const char* path, int flags, const char* mode) {
    const int fd = files_detail::OpenRegularFd(path, flags, false);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, mode);
    if (file == nullptr) {
        files_detail::CloseKeepingErrno(fd);
    }
    return file;
}

}  // namespace

std::string TemporaryNameBeside(const std::string& target) {
    return target + ".tmp" + std::to_string(static_cast<long>(::getpid())) + "-" +
           std::to_string(g_tempSerial.fetch_add(1));
}

std::FILE* OpenLocalFile(const char* path, const char* mode) {
    const int flags = FlagsOf(mode);
    const char* fdMode = (flags & O_APPEND) != 0   ? "ab"
                         : (flags & O_RDWR) != 0   ? "rb+"
                         : (flags & O_WRONLY) != 0 ? "wb"
                                                   : "rb";
    return OpenChecked(path, flags, fdMode);
}

int IrregularFileError(const char* path, bool followLinks) {
    struct stat info {};
    if ((followLinks ? ::stat(path, &info) : ::lstat(path, &info)) != 0) {
        return 0;  // missing, or unreadable: the caller's own open tells
    }
    if (S_ISREG(info.st_mode)) {
        return 0;
    }
    return S_ISLNK(info.st_mode) ? ELOOP : S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
}

std::string LocalFileErrorText(int error) {
    if (error == ELOOP) {
        return "a symbolic link, which is not followed";
    }
    if (error == kNotRegularFile) {
        return "not a regular file";
    }
    if (error == kSecondName) {
        return "a second name of a file elsewhere, which is not written through";
    }
    if (error == kFileTooLarge) {
        return "larger than such a file may be, so it is not read";
    }
    return std::strerror(error);
}

}  // namespace tickora
