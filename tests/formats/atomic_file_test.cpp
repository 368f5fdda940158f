// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/atomic_file.h"

#include <gtest/gtest.h>

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
        test::FileSizeLimit limit(1024);
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

// A commit that keeps the old file as its backup: the backup is always one whole earlier file,
// and when none can be kept the old file is not given up.
TEST(AtomicFile, CommitKeepsTheReplacedFileAsItsBackup) {
    struct Case {
        const char* name;
        const char* old;     // nullptr: no file yet
        const char* backup;  // nullptr: none; "/": a folder in its place
        bool committed;
        const char* expectFile;
        const char* expectBackup;  // nullptr: none
    } cases[] = {
        {"first of the day", nullptr, nullptr, true, "new", nullptr},
        {"second of the day", "old", nullptr, true, "new", "old"},
        {"older backup replaced", "old", "older", true, "new", "old"},
        {"same day again, backup already the old file", "old", "=", true, "new", "old"},
        {"backup cannot be made", "old", "/", false, "old", "/"},
    };
    for (const Case& c : cases) {
        test::ScopedWorkDir dir;
        if (c.old != nullptr) {
            test::WriteFileBytes("DS080211.DAT", c.old);
        }
        if (c.backup != nullptr && std::string(c.backup) == "/") {
            std::filesystem::create_directories("DS080211.DAT.bak/inner");
        } else if (c.backup != nullptr && std::string(c.backup) == "=") {
            // A run that died between its two renames leaves both names on one file.
            std::filesystem::create_hard_link("DS080211.DAT", "DS080211.DAT.bak");
        } else if (c.backup != nullptr) {
            test::WriteFileBytes("DS080211.DAT.bak", c.backup);
        }
        AtomicFile file;
        ASSERT_TRUE(file.Open("DS080211.DAT")) << c.name;
        std::fputs("new", file.Get());
        EXPECT_EQ(file.Commit(KeepOld::kAsBackup), c.committed) << c.name;
        EXPECT_EQ(test::ReadFileBytes("DS080211.DAT"), c.expectFile) << c.name;
        if (c.expectBackup == nullptr) {
            EXPECT_FALSE(std::filesystem::exists("DS080211.DAT.bak")) << c.name;
        } else if (std::string(c.expectBackup) == "/") {
            EXPECT_TRUE(std::filesystem::is_directory("DS080211.DAT.bak/inner")) << c.name;
        } else {
            EXPECT_EQ(test::ReadFileBytes("DS080211.DAT.bak"), c.expectBackup) << c.name;
        }
        // No side file of either step is left behind.
        EXPECT_EQ(EntriesIn("."), 1 + (std::filesystem::exists("DS080211.DAT.bak") ? 1 : 0))
            << c.name;
    }
    EXPECT_EQ(BackupPathOf("out/DS200802.11"), "out/DS200802.11.bak");
}

}  // namespace
}  // namespace tickora
