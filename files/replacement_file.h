// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file that is written whole beside the one it replaces and renamed over it, for writers that
// stream into a FILE*: at every moment the name holds the whole old file or the whole new one.
#include <cstdio>
#include <string>

namespace tickora {

class ReplacementFile {
  public:
    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    ~ReplacementFile();  // removes the temporary file unless it was put in place or released

    // Creates the temporary file "<path>.tmp<PID>-<N>" beside path, exclusively (a name that
    // exists, a link included, is never taken over), for binary writing. Its mode will be that of
    // the regular file at modeOf, path itself when empty. False, with Error(), when it cannot.
    [[nodiscard]] bool Open(const std::string& path, const std::string& modeOf = {});
    [[nodiscard]] std::FILE* Get() const { return m_file; }
    [[nodiscard]] const std::string& Path() const { return m_path; }

    // Ends the writing: flushes, gives the file its mode (and owner and group as far as allowed)
    // and makes it durable (fsync) before any name may point at it. False, with Error() and the
    // temporary file removed, when any write failed; the cause of the first failure is kept.
    [[nodiscard]] bool Finish();
    // Renames the finished file over path. False, with Error() and the temporary file removed,
    // when the rename fails; path then still holds the old file.
    [[nodiscard]] bool Install();
    // Finish, then Install.
    [[nodiscard]] bool Commit() { return Finish() && Install(); }
    // The finished temporary file's name, now the caller's to put in place or remove: for a
    // caller whose rename keeps a backup of its own.
    [[nodiscard]] std::string Release();

    // The system's error (errno) of the step that failed; 0 when none did.
    [[nodiscard]] int Error() const { return m_error; }

  private:
    void Discard();

    std::string m_path;
    std::string m_modeOf;
    std::string m_tempPath;
    std::FILE* m_file = nullptr;
    bool m_finished = false;
    int m_error = 0;
};

}  // namespace tickora
