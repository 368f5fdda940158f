#include "formats/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

int EntriesIn(const std::filesystem::path& folder) {
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++entries;
    }
    return entries;
}

// Makes every write past limit bytes of a regular file fail with EFBIG for as long as it lives,
// the way a full disk makes them fail.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t limit) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

  private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST(AtomicFile, CommitReplacesTheOldFile) {
    test::ScopedWorkDir dir;
    test::WriteFileBytes("quotes.dat", "old");
    AtomicFile file;
    ASSERT_TRUE(file.Open("quotes.dat"));
    std::fputs("new\r\n", file.Get());
    EXPECT_EQ(test::ReadFileBytes("quotes.dat"), "old");  // untouched until the commit
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(test::ReadFileBytes("quotes.dat"), "new\r\n");
    EXPECT_EQ(EntriesIn("."), 1);
}

TEST(AtomicFile, FailedWriteLeavesTheOldFileAndNoTemporary) {
    test::ScopedWorkDir dir;
    std::filesystem::create_directory("out");
    test::WriteFileBytes("out/quotes.dat", "old");
    AtomicFile file;
    ASSERT_TRUE(file.Open("out/quotes.dat"));
    {
        FileSizeLimit limit(1024);
        const std::string block(4096, 'x');
        for (int i = 0; i < 4; ++i) {
            std::fwrite(block.data(), 1, block.size(), file.Get());
        }
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ(test::ReadFileBytes("out/quotes.dat"), "old");
    EXPECT_EQ(EntriesIn("out"), 1);
}

TEST(AtomicFile, AbandonedFileLeavesTheOldFileAndNoTemporary) {
    test::ScopedWorkDir dir;
    test::WriteFileBytes("quotes.dat", "old");
    {
        AtomicFile file;
        ASSERT_TRUE(file.Open("quotes.dat"));
        std::fputs("half", file.Get());
    }
    EXPECT_EQ(test::ReadFileBytes("quotes.dat"), "old");
    EXPECT_EQ(EntriesIn("."), 1);
}

TEST(AtomicFile, MissingFolderOrUnrenamableTargetFails) {
    test::ScopedWorkDir dir;
    AtomicFile missing;
    EXPECT_FALSE(missing.Open("no-such-folder/quotes.dat"));
    EXPECT_FALSE(missing.Commit());

    // A folder in the file's place cannot be replaced by a file.
    std::filesystem::create_directories("taken/inner");
    AtomicFile blocked;
    ASSERT_TRUE(blocked.Open("taken"));
    std::fputs("data", blocked.Get());
    EXPECT_FALSE(blocked.Commit());
    EXPECT_TRUE(std::filesystem::is_directory("taken/inner"));
    EXPECT_EQ(EntriesIn("."), 1);
}

TEST(AtomicFile, CreatesTheFileWhenThereWasNone) {
    test::ScopedWorkDir dir;
    AtomicFile file;
    ASSERT_TRUE(file.Open("fresh.dat"));
    std::fputs("a\r\n", file.Get());
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(test::ReadFileBytes("fresh.dat"), "a\r\n");
}

}  // namespace
}  // namespace tickora
