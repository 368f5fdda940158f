#include "formats/partial_marks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "files/file_io.h"
#include "formats/atomic_file.h"

namespace tickora {
namespace {

// 64 lines of a size and a hash.
constexpr std::size_t kMaxMarksBytes = 64 * 40;
// Far beyond any day's file; only a file that is no day's file can reach it.
constexpr std::size_t kMaxHashedBytes = std::size_t{1} << 30;

// FNV-1a: no cryptography is needed to tell two versions of one day apart.
constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

}  // namespace

std::string PartialMarksPathOf(const std::string& path) {
    // Hidden, and not starting with the day file's own letters, so that whatever picks up
    // "DS*" or "FN*" files never takes it for one.
    const std::size_t slash = path.rfind('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, name) + "." + path.substr(name) + ".partial";
}

std::optional<ContentId> ContentIdOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    ContentId id;
    id.hash = kFnvOffset;
    const int error = ReadFileInPieces(path, kMaxHashedBytes, [&id](std::string_view piece) {
        for (const char c : piece) {
            id.hash = (id.hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
        }
        id.size += piece.size();
    });
    if (error != 0) {
        return std::nullopt;
    }
    return id;
}

std::vector<ContentId> ReadPartialMarks(const std::string& path) {
    std::vector<ContentId> marks;
    // A handful of lines at most: the file and its backup, and what a crash left in between.
    // Never more is read than 64 of them take, nor through a link, nor from a FIFO.
    std::string text;
    if (ReadFileHead(PartialMarksPathOf(path), kMaxMarksBytes, text) != 0) {
        return marks;
    }
    ContentId id;
    const char* at = text.c_str();
    int used = 0;
    while (marks.size() < 64 &&
           std::sscanf(at, "%" SCNu64 " %" SCNx64 "%n", &id.size, &id.hash, &used) == 2) {
        marks.push_back(id);
        at += used;
    }
    return marks;
}

std::string WholeBackupOf(const std::string& path) {
    const std::string backup = BackupPathOf(path);
    const std::optional<ContentId> id = ContentIdOf(backup);
    if (!id) {
        return {};
    }
    const std::vector<ContentId> marks = ReadPartialMarks(path);
    return std::find(marks.begin(), marks.end(), *id) == marks.end() ? backup : std::string();
}

bool WritePartialMarks(const std::string& path, const std::vector<ContentId>& marks) {
    const std::string marksPath = PartialMarksPathOf(path);
    if (marks.empty()) {
        return std::remove(marksPath.c_str()) == 0 || errno == ENOENT;
    }
    std::string text;
    for (const ContentId& id : marks) {
        char line[64];
        std::snprintf(line, sizeof line, "%" PRIu64 " %016" PRIx64 "\n", id.size, id.hash);
        text += line;
    }
    const int error = ReplaceFile(marksPath, text);
    errno = error;
    return error == 0;
}

}  // namespace tickora
