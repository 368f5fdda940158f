// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "files/regular_fd.h"
#include "files/replacement_file.h"

namespace tickora {
namespace {

using files_detail::CloseKeepingErrno;
using files_detail::OpenRegularFd;

constexpr std::size_t kPiece = 65536;

class Descriptor {
  public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0) {
            CloseKeepingErrno(m_fd);
        }
    }
    [[nodiscard]] int Get() const { return m_fd; }
    [[nodiscard]] explicit operator bool() const { return m_fd >= 0; }

  private:
    int m_fd;
};

int OpenForReading(const std::string& path, Links links) {
    return OpenRegularFd(path.c_str(), O_RDONLY, links == Links::kFollowed);
}

// read(2), or pread(2) from at when positioned, until size bytes or the end of the file; the
// bytes read, or -1 with errno.
long ReadUntilFull(int fd, char* into, std::size_t size, bool positioned, off_t at) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = positioned
                              ? ::pread(fd, into + got, size - got, at + static_cast<off_t>(got))
                              : ::read(fd, into + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

long ReadFully(int fd, char* into, std::size_t size) {
    return ReadUntilFull(fd, into, size, false, 0);
}

long PreadFully(int fd, char* into, std::size_t size, off_t at) {
    return ReadUntilFull(fd, into, size, true, at);
}

std::size_t SizeOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

// The bytes a whole-record append writes: the record, after a separator that ends a record cut
// short by an earlier write.
std::string WithTornEndRepaired(int fd, std::string_view record, char separator) {
    std::string bytes;
    const std::size_t size = SizeOf(fd);
    char last = separator;
    if (size > 0 && ::pread(fd, &last, 1, static_cast<off_t>(size - 1)) == 1 && last != separator) {
        bytes += separator;
    }
    bytes.append(record);
    return bytes;
}

std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = 1024 * 1024;
    if (bytes >= kMiB && bytes % kMiB == 0) {
        return std::to_string(bytes / kMiB) + " MiB";
    }
    if (bytes >= 1024 && bytes % 1024 == 0) {
        return std::to_string(bytes / 1024) + " KiB";
    }
    return std::to_string(bytes) + " bytes";
}

}  // namespace

int ReadWholeFile(const std::string& path, std::size_t limit, std::string& bytes, Links links) {
    bytes.clear();
    const Descriptor fd(OpenForReading(path, links));
    if (!fd) {
        return errno;
    }
    // The size is only a hint: a file may grow while it is read, and a file of /proc says 0.
    if (SizeOf(fd.Get()) > limit) {
        return kFileTooLarge;
    }
    std::size_t got = 0;
    while (true) {
        const std::size_t want = std::min(kPiece, limit + 1 - got);
        bytes.resize(got + want);
        const long n = ReadFully(fd.Get(), bytes.data() + got, want);
        if (n < 0) {
            bytes.clear();
            return errno;
        }
        got += static_cast<std::size_t>(n);
        if (got > limit) {
            bytes.clear();
            return kFileTooLarge;
        }
        if (static_cast<std::size_t>(n) < want) {
            break;
        }
    }
    bytes.resize(got);
    return 0;
}

int ReadFileHead(const std::string& path, std::span<char> buffer, std::size_t& read, bool* longer,
                 Links links) {
    read = 0;
    const Descriptor fd(OpenForReading(path, links));
    if (!fd) {
        return errno;
    }
    const long n = ReadFully(fd.Get(), buffer.data(), buffer.size());
    if (n < 0) {
        return errno;
    }
    read = static_cast<std::size_t>(n);
    if (longer != nullptr) {
        char next = 0;
        const long more = read < buffer.size() ? 0 : ReadFully(fd.Get(), &next, 1);
        if (more < 0) {
            return errno;
        }
        *longer = more > 0;
    }
    return 0;
}

int ReadFileHead(const std::string& path, std::size_t limit, std::string& bytes, bool* longer,
                 Links links) {
    bytes.assign(limit, '\0');
    std::size_t read = 0;
    const int error = ReadFileHead(path, std::span<char>(bytes), read, longer, links);
    bytes.resize(error == 0 ? read : 0);
    return error;
}

int ReadFileTail(const std::string& path, std::size_t limit, std::string& bytes, bool& cut) {
    bytes.clear();
    cut = false;
    const Descriptor fd(OpenForReading(path, Links::kRefused));
    if (!fd) {
        return errno;
    }
    const std::size_t size = SizeOf(fd.Get());
    cut = size > limit;
    const std::size_t from = cut ? size - limit : 0;
    bytes.resize(std::min(size, limit));
    const long n = PreadFully(fd.Get(), bytes.data(), bytes.size(), static_cast<off_t>(from));
    if (n < 0) {
        bytes.clear();
        return errno;
    }
    bytes.resize(static_cast<std::size_t>(n));
    return 0;
}

int ReadFileInPieces(const std::string& path, std::size_t limit,
                     const std::function<void(std::string_view)>& take, Links links) {
    const Descriptor fd(OpenForReading(path, links));
    if (!fd) {
        return errno;
    }
    if (SizeOf(fd.Get()) > limit) {
        return kFileTooLarge;
    }
    std::string piece(kPiece, '\0');
    std::size_t total = 0;
    while (true) {
        const long n = ReadFully(fd.Get(), piece.data(), piece.size());
        if (n < 0) {
            return errno;
        }
        total += static_cast<std::size_t>(n);
        if (total > limit) {
            return kFileTooLarge;
        }
        if (n > 0) {
            take(std::string_view(piece.data(), static_cast<std::size_t>(n)));
        }
        if (static_cast<std::size_t>(n) < piece.size()) {
            return 0;
        }
    }
}

int AppendRecord(const std::string& path, std::string_view record, char separator) {
    // Read as well as written: the last byte tells whether a record was cut short.
    const Descriptor fd(OpenRegularFd(path.c_str(), O_RDWR | O_CREAT | O_APPEND, false));
    if (!fd) {
        return errno;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        return errno;
    }
    if (info.st_nlink > 1) {
        return kSecondName;
    }
    const std::string bytes = WithTornEndRepaired(fd.Get(), record, separator);
    ssize_t written = -1;
    do {
        written = ::write(fd.Get(), bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(bytes.size())) {
        return 0;
    }
    // A short write sets no errno; the next one would tell why (a full disk, most likely). The
    // part written stays, a record cut short that readers skip and the next append ends: it
    // tells them that a record was lost here, where nothing at all would not.
    return written < 0 ? errno : ENOSPC;
}

int ReplaceFile(const std::string& path, std::string_view bytes, const std::string& modeOf) {
    ReplacementFile file;
    if (!file.Open(path, modeOf)) {
        return file.Error();
    }
    if (!bytes.empty()) {
        // A write that fails shows in Finish, which names its cause and removes the temporary.
        (void)std::fwrite(bytes.data(), 1, bytes.size(), file.Get());
    }
    return file.Commit() ? 0 : file.Error();
}

std::string LocalFileErrorText(int error, std::size_t limit) {
    if (error == kFileTooLarge) {
        return "larger than " + SizeText(limit) +
               ", more than such a file holds, so it is not read";
    }
    return LocalFileErrorText(error);
}

}  // namespace tickora
