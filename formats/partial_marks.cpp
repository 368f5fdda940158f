// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/partial_marks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "files/file_io.h"
#include "formats/atomic_file.h"

namespace tickora {
namespace {

// FNV-1a: no cryptography is needed to tell two versions of one day apart.
constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

// A handful of lines at most: the file and its backup, and what a crash left in between.
constexpr std::size_t kMostMarks = 64;
constexpr std::size_t kMarksReadLimit = 64 * 1024;
// Far beyond any day's file; only a file that is no day's file can reach it.
constexpr std::size_t kMaxHashedBytes = std::size_t{1} << 30;

constexpr const char* kMarksTitle =
    "# tickora day files: W whole run, P partial; size, hash, check";

std::uint64_t HashBytes(std::uint64_t hash, const unsigned char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        hash = (hash ^ bytes[i]) * kFnvPrime;
    }
    return hash;
}

std::uint64_t HashText(const std::string& text) {
    return HashBytes(kFnvOffset, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string MarkText(const DayMark& mark) {
    char text[64];
    std::snprintf(text, sizeof text, "%c %" PRIu64 " %016" PRIx64, mark.whole ? 'W' : 'P',
                  mark.id.size, mark.id.hash);
    return text;
}

// One line of the marks, or nothing. Each line carries a hash of itself, so that a damaged one
// is never read as a mark of other bytes, or as the other state. A line of two numbers was
// written by an older version, which marked partial files only.
std::optional<DayMark> ParseMark(const std::string& line) {
    DayMark mark;
    char state = 0;
    std::uint64_t check = 0;
    int used = 0;
    if (std::sscanf(line.c_str(), "%c %" SCNu64 " %" SCNx64 " %" SCNx64 "%n", &state, &mark.id.size,
                    &mark.id.hash, &check, &used) == 4 &&
        static_cast<std::size_t>(used) == line.size() && (state == 'W' || state == 'P')) {
        mark.whole = state == 'W';
        if (HashText(MarkText(mark)) == check) {
            return mark;
        }
        return std::nullopt;
    }
    used = 0;
    if (std::sscanf(line.c_str(), "%" SCNu64 " %" SCNx64 "%n", &mark.id.size, &mark.id.hash,
                    &used) == 2 &&
        static_cast<std::size_t>(used) == line.size() && std::isdigit(line[0]) != 0) {
        mark.whole = false;
        return mark;
    }
    return std::nullopt;
}

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
        id.hash =
            HashBytes(id.hash, reinterpret_cast<const unsigned char*>(piece.data()), piece.size());
        id.size += piece.size();
    });
    if (error != 0) {
        return std::nullopt;
    }
    return id;
}

std::vector<DayMark> ReadDayMarks(const std::string& path) {
    std::vector<DayMark> marks;
    // A link (to /dev/null, say) or a FIFO in the marks' place proves nothing, and must never
    // hold up the write of the day's file.
    std::string text;
    if (ReadFileHead(PartialMarksPathOf(path), kMarksReadLimit, text) != 0) {
        return marks;
    }
    for (std::size_t at = 0; at < text.size() && marks.size() < kMostMarks;) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            break;  // a line cut short proves nothing
        }
        if (std::optional<DayMark> mark = ParseMark(text.substr(at, end - at))) {
            marks.push_back(*mark);
        }
        at = end + 1;
    }
    return marks;
}

DayState StateOf(const std::vector<DayMark>& marks, const std::optional<ContentId>& id) {
    if (!id) {
        return DayState::kUnknown;
    }
    DayState state = DayState::kUnknown;
    for (const DayMark& mark : marks) {
        if (mark.id == *id) {
            if (mark.whole) {
                return DayState::kWhole;
            }
            state = DayState::kPartial;
        }
    }
    return state;
}

std::string WholeBackupOf(const std::string& path) {
    const std::string backup = BackupPathOf(path);
    const std::optional<ContentId> id = ContentIdOf(backup);
    if (!id) {
        return {};
    }
    return StateOf(ReadDayMarks(path), id) == DayState::kWhole ? backup : std::string();
}

bool WriteDayMarks(const std::string& path, const std::vector<DayMark>& marks) {
    std::string text = std::string(kMarksTitle) + "\n";
    for (const DayMark& mark : marks) {
        const std::string line = MarkText(mark);
        char check[20];
        std::snprintf(check, sizeof check, " %016" PRIx64 "\n", HashText(line));
        text += line + check;
    }
    const int error = ReplaceFile(PartialMarksPathOf(path), text);
    errno = error;
    return error == 0;
}

}  // namespace tickora
