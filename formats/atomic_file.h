#pragma once
// A file that users keep is written beside itself and renamed over the old one, so that a crash
// or a full disk never leaves it half-written.
#include <cstdio>
#include <string>

namespace tickora {

class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();  // discards the temporary file unless committed

    // Opens a temporary file in the folder of path for binary writing; false when it cannot.
    [[nodiscard]] bool Open(const std::string& path);
    [[nodiscard]] std::FILE* Get() const { return m_file; }
    // Flushes, closes and renames the temporary file over path; false (and nothing replaced)
    // when any write failed.
    [[nodiscard]] bool Commit();
    // The system's error (errno) of the step that failed in Open or Commit; 0 when none did.
    [[nodiscard]] int Error() const { return m_error; }

  private:
    std::string m_path;
    std::string m_tempPath;
    std::FILE* m_file = nullptr;
    int m_error = 0;
};

}  // namespace tickora
