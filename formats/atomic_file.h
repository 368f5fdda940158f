// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file that users keep is written beside itself and renamed over the old one, so that a crash
// or a full disk never leaves it half-written.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "files/replacement_file.h"
#include "files/temp_files.h"

namespace tickora {

// What becomes of the file that a commit replaces.
enum class KeepOld {
    kNo,        // gone
    kAsBackup,  // kept whole as "<name>.bak" by the day file's rule (see AtomicFile::Commit)
};

// Whether a file holds everything its run set out to read (a run that stopped at a failed page,
// or was cancelled, did not). With KeepOld::kAsBackup it decides which earlier file the backup
// keeps: never is a whole file given up for a partial one.
enum class Whole { kYes, kNo };

// "<path>.bak": the generation of a day's file that a commit with KeepOld::kAsBackup keeps.
[[nodiscard]] std::string BackupPathOf(const std::string& path);
// "<path>.bak.<n>": a further version, kept because nothing proved it partial or superseded.
[[nodiscard]] std::string NumberedBackupPathOf(const std::string& path, int n);
// The names "<path>.bak.<n>" in use beside path, by their numbers.
[[nodiscard]] std::vector<std::string> NumberedBackupsOf(const std::string& path);

// Numbered backups a day's file may have. Each loss of the marks (or a file changed by hand)
// leaves at most the file and its backup of unknown state, so this allows several such losses in
// one day. At the bound a commit that would need one more refuses with kTooManyVersions and
// replaces nothing: the bound never costs a version, it only stops the writes until the user has
// looked at them.
inline constexpr int kMostNumberedBackups = 9;
// errno of that refusal.
inline constexpr int kTooManyVersions = EMLINK;

class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() = default;  // discards the temporary file unless committed

    // Opens a temporary file "<path>.tmp<PID>-<N>" for binary writing; false when it cannot.
    [[nodiscard]] bool Open(const std::string& path);
    [[nodiscard]] std::FILE* Get() const { return m_file.Get(); }
    // Flushes, closes and renames the temporary file over path; false (and nothing replaced)
    // when any write failed. The new file gets the mode, and where allowed the owner and group,
    // of the file it replaces. With KeepOld::kAsBackup the backup keeps the newest file that may
    // be the day's whole one, and a file is given up only when the marks prove it partial, or
    // whole and older than a file they prove whole (partial_marks.h):
    // - the old file becomes the backup, unless the marks prove it partial while the backup is
    //   not proven partial: then the backup stays and the partial file goes;
    // - a backup it pushes out that is not proven partial, nor proven whole behind an old file
    //   proven whole, is kept first as the next "<name>.bak.<n>";
    // - new bytes equal to the old file's leave every file where it is.
    // When a backup cannot be made nothing is replaced either. At every moment path holds the
    // whole old file or the whole new one, and each backup an earlier file.
    [[nodiscard]] bool Commit(KeepOld keep = KeepOld::kNo, Whole whole = Whole::kYes);
    // The system's error (errno) of the step that failed in Open or Commit; 0 when none did.
    [[nodiscard]] int Error() const { return m_error; }
    // The last commit found these very bytes under the name and left every file as it was.
    [[nodiscard]] bool Unchanged() const { return m_unchanged; }

  private:
    // The rename of a commit that keeps a backup; the temporary file is closed.
    [[nodiscard]] bool ReplaceKeepingBackup(Whole whole);

    std::string m_path;
    std::string m_tempPath;  // the finished temporary file, for ReplaceKeepingBackup
    ReplacementFile m_file;
    int m_error = 0;
    bool m_unchanged = false;
};

}  // namespace tickora
