// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/atomic_file.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "files/file_io.h"
#include "formats/partial_marks.h"

namespace tickora {
namespace {

// No day's file comes near this; the bound only keeps a copy from running on without end.
constexpr std::size_t kMaxCopiedBytes = std::size_t{1} << 30;

// Copies from into the already open to; for file systems without hard links.
bool CopyInto(const std::string& from, std::FILE* to) {
    bool ok = true;
    const int error = ReadFileInPieces(from, kMaxCopiedBytes, [&](std::string_view piece) {
        ok = ok && std::fwrite(piece.data(), 1, piece.size(), to) == piece.size();
    });
    return error == 0 && ok;
}

// A second name for the file at from, in the temporary form beside to, so that a crash before it
// takes its place leaves a file that the next start clears away. Empty when it cannot be made.
std::string SideCopyOf(const std::string& from, const std::string& to) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string side = TemporaryNameBeside(to);
        // A second name for the old file costs no space and no copy.
        bool ok = ::link(from.c_str(), side.c_str()) == 0;
        if (!ok && errno == EEXIST) {
            continue;
        }
        if (!ok) {
            // A file system without hard links gets a copy instead.
            std::FILE* copy = CreateNewFile(side);
            if (copy == nullptr) {
                return {};
            }
            // A backup is as private as the file it keeps.
            ok = KeepOwnerAndMode(from, fileno(copy)) && CopyInto(from, copy) &&
                 std::fflush(copy) == 0 && fsync(fileno(copy)) == 0;
            ok = std::fclose(copy) == 0 && ok;
        }
        if (ok) {
            return side;
        }
        std::remove(side.c_str());
        return {};
    }
    return {};
}

// Makes "<path>.bak" a whole copy of the file now at path, replacing an older backup in one
// rename. The file at path is never touched. True when there was nothing to keep.
bool KeepAsBackup(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(info.st_mode)) {
        return true;  // not a file: the rename over it fails on its own
    }
    const std::string backup = BackupPathOf(path);
    const std::string side = SideCopyOf(path, backup);
    if (side.empty()) {
        return false;
    }
    if (std::rename(side.c_str(), backup.c_str()) == 0) {
        // When the backup already was this very file (a run that died between its two
        // renames), rename leaves both names in place.
        (void)::unlink(side.c_str());
        return true;
    }
    std::remove(side.c_str());
    return false;
}

// The number n of "<prefix><n>", or 0 when the rest of name is not a number from 1 up.
int NumberAfter(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 6 ||
        name.compare(0, prefix.size(), prefix) != 0 || name[prefix.size()] == '0') {
        return 0;
    }
    int n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return 0;
        }
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

}  // namespace

std::string BackupPathOf(const std::string& path) {
    return path + ".bak";
}

std::string NumberedBackupPathOf(const std::string& path, int n) {
    return BackupPathOf(path) + "." + std::to_string(n);
}

std::vector<std::string> NumberedBackupsOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string prefix = BackupPathOf(path.substr(slash + 1)) + ".";
    std::vector<std::pair<int, std::string>> found;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    while (dir) {
        const dirent* entry = readdir(dir.get());
        if (entry == nullptr) {
            break;
        }
        if (const int n = NumberAfter(entry->d_name, prefix); n > 0) {
            found.emplace_back(n, NumberedBackupPathOf(path, n));
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& [n, name] : found) {
        paths.push_back(std::move(name));
    }
    return paths;
}

bool AtomicFile::Open(const std::string& path) {
    m_path = path;
    const bool ok = m_file.Open(path);
    m_error = m_file.Error();
    return ok;
}

bool AtomicFile::Commit(KeepOld keep, Whole whole) {
    m_unchanged = false;
    if (keep == KeepOld::kNo) {
        const bool ok = m_file.Commit();
        m_error = m_file.Error();
        return ok;
    }
    if (!m_file.Finish()) {
        m_error = m_file.Error();
        return false;
    }
    // The rename is the backup's own from here; the temporary file is this object's to remove.
    m_tempPath = m_file.Release();
    if (ReplaceKeepingBackup(whole)) {
        return true;
    }
    std::remove(m_tempPath.c_str());
    return false;
}

namespace {

// The files of a day before a commit, by content.
struct Family {
    std::optional<ContentId> file;    // under the name
    std::optional<ContentId> backup;  // "<name>.bak"
};

// The moves of a commit, and what the marks say while they are made and after.
struct BackupPlan {
    bool moveOld = false;      // the old file becomes the backup
    bool backupAside = false;  // the backup is kept first as a numbered one
    std::vector<DayMark> during;
    std::vector<DayMark> after;
};

void AddMark(std::vector<DayMark>& marks, const std::vector<DayMark>& known,
             const std::optional<ContentId>& id) {
    const DayState state = StateOf(known, id);
    if (state != DayState::kUnknown) {
        const DayMark mark{*id, state == DayState::kWhole};
        if (std::find(marks.begin(), marks.end(), mark) == marks.end()) {
            marks.push_back(mark);
        }
    }
}

BackupPlan PlanBackup(const std::vector<DayMark>& marks, const DayMark& fresh,
                      const Family& before) {
    const DayState old = StateOf(marks, before.file);
    const DayState kept = StateOf(marks, before.backup);
    BackupPlan plan;
    // The backup holds the newest file that may be the day's whole one: an old file proven
    // partial makes way for a backup that may be whole, and only then is it given up.
    plan.moveOld =
        before.file && !(old == DayState::kPartial && before.backup && kept != DayState::kPartial);
    // The backup the old file takes the place of goes only when it is proven partial, or proven
    // whole behind an old file proven whole. Whatever else it is, nothing tells that it is not
    // the day's whole file: it stays, under a number.
    plan.backupAside = plan.moveOld && before.backup && before.backup != before.file &&
                       kept != DayState::kPartial &&
                       !(old == DayState::kWhole && kept == DayState::kWhole);
    plan.after.push_back(fresh);
    AddMark(plan.after, marks, plan.moveOld ? before.file : before.backup);
    // Until every name is in place the marks cover the files before and after, so that a crash
    // in between never leaves a file whose state was known unmarked.
    plan.during = plan.after;
    AddMark(plan.during, marks, before.file);
    AddMark(plan.during, marks, before.backup);
    return plan;
}

// Makes a whole copy of from under the new name to. False (errno set) when it cannot, or when
// the name was taken meanwhile.
bool KeepAsNumbered(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    const std::string side = SideCopyOf(from, to);
    // The working folder's lock keeps every other writer of the day's names away.
    if (side.empty() || ::link(side.c_str(), to.c_str()) != 0) {
        const int error = errno;
        if (!side.empty()) {
            std::remove(side.c_str());
        }
        errno = error;
        return false;
    }
    (void)::unlink(side.c_str());
    return true;
}

// Keeps the backup of path as the next numbered one, unless one holds its bytes already. False
// (errno set) when it cannot, kTooManyVersions when the numbered ones have reached their bound.
bool KeepBackupAside(const std::string& path, const ContentId& backup) {
    const std::vector<std::string> numbered = NumberedBackupsOf(path);
    for (const std::string& version : numbered) {
        if (ContentIdOf(version) == backup) {
            return true;
        }
    }
    if (numbered.size() >= static_cast<std::size_t>(kMostNumberedBackups)) {
        errno = kTooManyVersions;
        return false;
    }
    const std::string last = numbered.empty() ? std::string() : numbered.back();
    const int next = last.empty() ? 1 : std::stoi(last.substr(last.rfind('.') + 1)) + 1;
    return KeepAsNumbered(BackupPathOf(path), NumberedBackupPathOf(path, next));
}

}  // namespace

bool AtomicFile::ReplaceKeepingBackup(Whole whole) {
    const auto fail = [this] {
        m_error = errno != 0 ? errno : EIO;
        return false;
    };
    const std::optional<ContentId> fresh = ContentIdOf(m_tempPath);
    if (!fresh) {
        return fail();
    }
    const std::vector<DayMark> marks = ReadDayMarks(m_path);
    const Family before{ContentIdOf(m_path), ContentIdOf(BackupPathOf(m_path))};
    const DayMark mark{*fresh, whole == Whole::kYes};
    if (before.file == fresh) {
        // Writing the same bytes again would only push the backup out.
        std::remove(m_tempPath.c_str());
        m_unchanged = true;
        std::vector<DayMark> known = {mark};
        AddMark(known, marks, before.file);
        AddMark(known, marks, before.backup);
        (void)WriteDayMarks(m_path, known);
        return true;
    }
    const BackupPlan plan = PlanBackup(marks, mark, before);
    if (plan.backupAside && !KeepBackupAside(m_path, *before.backup)) {
        return fail();
    }
    if (!WriteDayMarks(m_path, plan.during)) {
        return fail();
    }
    if (plan.moveOld && !KeepAsBackup(m_path)) {
        return fail();
    }
    if (std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        return fail();
    }
    // The wider marks of the step before are safe to keep when this fails.
    (void)WriteDayMarks(m_path, plan.after);
    return true;
}

}  // namespace tickora
