#include "formats/partial_marks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "files/temp_files.h"
#include "files/file_handle.h"
#include "formats/atomic_file.h"

namespace tickora {
namespace {

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
    FileHandle in(std::fopen(path.c_str(), "rb"));
    if (!in) {
        return std::nullopt;
    }
    ContentId id;
    id.hash = kFnvOffset;
    unsigned char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) {
        for (std::size_t i = 0; i < n; ++i) {
            id.hash = (id.hash ^ chunk[i]) * kFnvPrime;
        }
        id.size += n;
    }
    if (std::ferror(in.get()) != 0) {
        return std::nullopt;
    }
    return id;
}

std::vector<ContentId> ReadPartialMarks(const std::string& path) {
    std::vector<ContentId> marks;
    FileHandle in(std::fopen(PartialMarksPathOf(path).c_str(), "r"));
    if (!in) {
        return marks;
    }
    ContentId id;
    // A handful of lines at most: the file and its backup, and what a crash left in between.
    while (marks.size() < 64 &&
           std::fscanf(in.get(), "%" SCNu64 " %" SCNx64, &id.size, &id.hash) == 2) {
        marks.push_back(id);
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
    std::string temporary;
    FileHandle out(CreateTemporaryBeside(marksPath, temporary));
    if (!out) {
        return false;
    }
    bool ok = true;
    for (const ContentId& id : marks) {
        ok = ok && std::fprintf(out.get(), "%" PRIu64 " %016" PRIx64 "\n", id.size, id.hash) > 0;
    }
    ok = ok && std::fflush(out.get()) == 0 && fsync(fileno(out.get())) == 0;
    ok = std::fclose(out.release()) == 0 && ok;
    int error = ok ? 0 : errno;
    if (ok && std::rename(temporary.c_str(), marksPath.c_str()) == 0) {
        return true;
    }
    if (ok) {
        error = errno;
    }
    std::remove(temporary.c_str());
    errno = error;
    return false;
}

}  // namespace tickora
