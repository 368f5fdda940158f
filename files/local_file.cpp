// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/local_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tickora {
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

// O_NONBLOCK lets the open of a FIFO return at once; the descriptor is made blocking again once
// it is known to be a regular file, where the flag means nothing anyway.
std::FILE* OpenChecked(const char* path, int flags, const char* mode) {
    const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == ENXIO) {
            errno = kNotRegularFile;  // a FIFO opened for writing with no reader
        }
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, mode);
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
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
    return OpenChecked(path, flags | O_NOFOLLOW, fdMode);
}

std::FILE* OpenLinkedFileForReading(const char* path) {
    return OpenChecked(path, O_RDONLY, "rb");
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
    return std::strerror(error);
}

}  // namespace tickora
