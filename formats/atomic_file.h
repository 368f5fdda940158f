// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file that users keep is written beside itself and renamed over the old one, so that a crash
// or a full disk never leaves it half-written.
#include <cstdio>
#include <string>

#include "files/replacement_file.h"
#include "files/temp_files.h"

namespace tickora {

// What becomes of the file that a commit replaces.
enum class KeepOld {
    kNo,        // gone
    kAsBackup,  // kept whole as "<name>.bak", replacing an older backup
};

// Whether a file holds everything its run set out to read (a run that stopped at a failed page,
// or was cancelled, did not). With KeepOld::kAsBackup it decides which earlier file the backup
// keeps: never is a whole file given up for a partial one.
enum class Whole { kYes, kNo };

// "<path>.bak": the one generation of a day's file that a commit with KeepOld::kAsBackup keeps.
[[nodiscard]] std::string BackupPathOf(const std::string& path);

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
    // of the file it replaces. With KeepOld::kAsBackup an existing file is first kept as its
    // backup, unless it is a partial one and the backup a whole one: then the backup stays and
    // the partial file goes. When the backup cannot be made nothing is replaced either. At every
    // moment path holds the whole old file or the whole new one, and the backup an earlier file.
    [[nodiscard]] bool Commit(KeepOld keep = KeepOld::kNo, Whole whole = Whole::kYes);
    // The system's error (errno) of the step that failed in Open or Commit; 0 when none did.
    [[nodiscard]] int Error() const { return m_error; }

  private:
    // The rename of a commit that keeps a backup; the temporary file is closed.
    [[nodiscard]] bool ReplaceKeepingBackup(Whole whole);

    std::string m_path;
    std::string m_tempPath;  // the finished temporary file, for ReplaceKeepingBackup
    ReplacementFile m_file;
    int m_error = 0;
};

}  // namespace tickora
