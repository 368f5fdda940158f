// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh working folder per test; the process works inside it while the object lives. It is
// also TICKORA_HOME meanwhile, so that a command run without --workdir works here and never in
// the per-user folder of whoever runs the tests.
#include <filesystem>
#include <string>
#include <vector>

namespace tickora::test {

class ScopedWorkDir {
  public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const { return m_path; }

  private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
    bool m_hadHome = false;
    std::string m_previousHome;
};

// Whole-file helpers for assertions.
[[nodiscard]] std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// Makes every write past limit bytes of a regular file fail with EFBIG for as long as it lives,
// the way a full disk makes them fail, even for root.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(unsigned long limit);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    unsigned long m_oldCurrent = 0;
    void (*m_oldHandler)(int) = nullptr;
};

// The id of a process that has ended (and been reaped), so that no process holds it for now: what
// a killed run's temporary names carry.
[[nodiscard]] long DeadProcessId();

// A file of the source tree, such as "data/market.csv".
[[nodiscard]] std::filesystem::path SourcePath(const std::string& relative);

// The market table the program ships (data/market.csv) as folder's "market.csv".
void CopyShippedMarketTable(const std::filesystem::path& folder = ".");

}  // namespace tickora::test
