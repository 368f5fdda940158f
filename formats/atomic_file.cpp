// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
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
    // The side name has the temporary form, so a crash between the two steps leaves a file that
    // the next start clears away.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string side = TemporaryNameBeside(backup);
        // A second name for the old file costs no space and no copy.
        bool ok = ::link(path.c_str(), side.c_str()) == 0;
        if (!ok && errno == EEXIST) {
            continue;
        }
        if (!ok) {
            // A file system without hard links gets a copy instead.
            std::FILE* copy = CreateNewFile(side);
            if (copy == nullptr) {
                return false;
            }
            // A backup is as private as the file it keeps.
            ok = KeepOwnerAndMode(path, fileno(copy)) && CopyInto(path, copy) &&
                 std::fflush(copy) == 0 && fsync(fileno(copy)) == 0;
            ok = std::fclose(copy) == 0 && ok;
        }
        if (ok && std::rename(side.c_str(), backup.c_str()) == 0) {
            // When the backup already was this very file (a run that died between its two
            // renames), rename leaves both names in place.
            (void)::unlink(side.c_str());
            return true;
        }
        std::remove(side.c_str());
        return false;
    }
    return false;
}

}  // namespace

std::string BackupPathOf(const std::string& path) {
    return path + ".bak";
}

bool AtomicFile::Open(const std::string& path) {
    m_path = path;
    const bool ok = m_file.Open(path);
    m_error = m_file.Error();
    return ok;
}

bool AtomicFile::Commit(KeepOld keep, Whole whole) {
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

// Which files the marks call partial while the new file takes its name, and after.
struct BackupPlan {
    bool moveOld = false;  // the old file becomes the backup
    std::vector<ContentId> during;
    std::vector<ContentId> after;
};

BackupPlan PlanBackup(const std::vector<ContentId>& marks, bool freshWhole, const ContentId& fresh,
                      const std::optional<ContentId>& old, const std::optional<ContentId>& kept) {
    const auto isPartial = [&marks](const std::optional<ContentId>& id) {
        return id && std::find(marks.begin(), marks.end(), *id) != marks.end();
    };
    // The backup holds the newest whole file there has been, or while none was whole the file
    // before this one: a partial file never pushes a whole one out.
    const bool oldPartial = isPartial(old);
    const bool keptPartial = isPartial(kept);
    BackupPlan plan;
    plan.moveOld = old && !(oldPartial && kept && !keptPartial);
    if (!freshWhole) {
        plan.after.push_back(fresh);
    }
    if (plan.moveOld ? oldPartial : keptPartial) {
        plan.after.push_back(plan.moveOld ? *old : *kept);
    }
    // Until both names are in place the marks cover the files before and after, so that a crash
    // in between never leaves a partial file unmarked, to be taken for a whole one.
    plan.during = plan.after;
    if (oldPartial) {
        plan.during.push_back(*old);
    }
    if (keptPartial) {
        plan.during.push_back(*kept);
    }
    return plan;
}

}  // namespace

bool AtomicFile::ReplaceKeepingBackup(Whole whole) {
    const auto fail = [this] {
        m_error = errno != 0 ? errno : EIO;
        return false;
    };
    const std::vector<ContentId> marks = ReadPartialMarks(m_path);
    if (marks.empty() && whole == Whole::kYes) {
        // No partial file in sight: the old file simply becomes the backup.
        if (!KeepAsBackup(m_path) || std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
            return fail();
        }
        return true;
    }
    const std::optional<ContentId> fresh = ContentIdOf(m_tempPath);
    if (!fresh) {
        return fail();
    }
    const BackupPlan plan = PlanBackup(marks, whole == Whole::kYes, *fresh, ContentIdOf(m_path),
                                       ContentIdOf(BackupPathOf(m_path)));
    if (!WritePartialMarks(m_path, plan.during)) {
        return fail();
    }
    if (plan.moveOld && !KeepAsBackup(m_path)) {
        return fail();
    }
    if (std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        return fail();
    }
    // The wider marks of the step before are safe to keep when this fails.
    (void)WritePartialMarks(m_path, plan.after);
    return true;
}

}  // namespace tickora
