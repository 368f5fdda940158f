// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/app_settings.h"
#include "catalog/connection_settings.h"
#include "formats/fetch_list_file.h"
#include "formats/partial_marks.h"
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
    // Hidden, so that nothing that picks up "DS*" files takes it for one.
    EXPECT_EQ(PartialMarksPathOf("out/DS200802.11"), "out/.DS200802.11.partial");
}

// Runs of one day, each whole (W) or partial (P), in order: whichever way they come, the day's
// newest whole file is the file or its backup, and a partial file never pushes it out.
TEST(AtomicFile, AWholeDayFileIsNeverTheOneGivenUp) {
    struct Case {
        const char* runs;  // one letter a run; "L" a whole file an older version left, unmarked
        const char* expectFile;
        const char* expectBackup;  // "" = none
        bool marksLeft;            // "<name>.partial" still lists a file
    } cases[] = {
        {"W", "W1", "", false},
        {"WW", "W2", "W1", false},
        {"WP", "P2", "W1", true},
        {"WPP", "P3", "W1", true},
        {"WPPP", "P4", "W1", true},
        {"WPW", "W3", "W1", false},
        {"WPPW", "W4", "W1", false},
        {"WPWP", "P4", "W3", true},
        {"P", "P1", "", true},
        {"PP", "P2", "P1", true},
        {"PPP", "P3", "P2", true},
        {"PW", "W2", "P1", true},
        {"PWP", "P3", "W2", true},
        {"PPWPP", "P5", "W3", true},
        {"LP", "P2", "L1", true},
        {"LPP", "P3", "L1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.runs);
        test::ScopedWorkDir dir;
        const std::string runs = c.runs;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const std::string content = runs.substr(i, 1) + std::to_string(i + 1);
            if (runs[i] == 'L') {
                test::WriteFileBytes("DS080211.DAT", content);
                continue;
            }
            AtomicFile file;
            ASSERT_TRUE(file.Open("DS080211.DAT"));
            std::fputs(content.c_str(), file.Get());
            ASSERT_TRUE(file.Commit(KeepOld::kAsBackup, runs[i] == 'P' ? Whole::kNo : Whole::kYes));
        }
        EXPECT_EQ(test::ReadFileBytes("DS080211.DAT"), c.expectFile);
        const bool backup = std::filesystem::exists("DS080211.DAT.bak");
        EXPECT_EQ(backup ? test::ReadFileBytes("DS080211.DAT.bak") : "", c.expectBackup);
        EXPECT_EQ(std::filesystem::exists(PartialMarksPathOf("DS080211.DAT")), c.marksLeft);
        EXPECT_EQ(WholeBackupOf("DS080211.DAT").empty(), !backup || c.expectBackup[0] == 'P');
        EXPECT_EQ(EntriesIn("."), 1 + (backup ? 1 : 0) + (c.marksLeft ? 1 : 0));
    }
}

// A user who made a file private, or gave it to a group, finds it so after the program replaced
// it; the backup keeps the old file's own.
TEST(AtomicFile, ReplacedFilesKeepTheirModeAndGroup) {
    enum class Writer { kPlain, kDayFile, kSettings, kConnection, kFetchList };
    struct Case {
        const char* name;
        Writer writer;
        mode_t mode;
        bool otherGroup;  // the old file belongs to another group (the tests run as root)
    } cases[] = {
        {"private KDT-like file", Writer::kPlain, 0600, false},
        {"group-readable file", Writer::kPlain, 0640, true},
        {"read-only file", Writer::kPlain, 0444, false},
        {"shared day file", Writer::kDayFile, 0664, true},
        {"private day file", Writer::kDayFile, 0600, false},
        {"private Tickora.ini", Writer::kSettings, 0600, false},
        {"group Tickora.ini", Writer::kSettings, 0660, true},
        {"private connection.toml", Writer::kConnection, 0600, true},
        // The backup is a copy of the list, as private as it, whatever an older backup was.
        {"private fetchlist.csv", Writer::kFetchList, 0600, true},
    };
    const gid_t otherGroup = 4242;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        const char* path = c.writer == Writer::kSettings     ? "Tickora.ini"
                           : c.writer == Writer::kConnection ? "connection.toml"
                           : c.writer == Writer::kFetchList  ? kFetchListPath
                                                             : "DS080211.DAT";
        test::WriteFileBytes(path, "old");
        test::WriteFileBytes(kFetchListBackupPath, "an older list, readable by all");
        ASSERT_EQ(::chmod(kFetchListBackupPath, 0644), 0);
        ASSERT_EQ(::chmod(path, c.mode), 0);
        const bool grouped = c.otherGroup && ::chown(path, static_cast<uid_t>(-1), otherGroup) == 0;
        struct stat before {};
        ASSERT_EQ(::stat(path, &before), 0);
        switch (c.writer) {
            case Writer::kPlain:
            case Writer::kDayFile: {
                AtomicFile file;
                ASSERT_TRUE(file.Open(path));
                std::fputs("new", file.Get());
                ASSERT_TRUE(file.Commit(c.writer == Writer::kDayFile ? KeepOld::kAsBackup
                                                                     : KeepOld::kNo));
                break;
            }
            case Writer::kSettings:
                ASSERT_TRUE(CAppSettings{}.Save(path));
                break;
            case Writer::kConnection:
                ASSERT_EQ(SaveConnectionFile(ConnectionLayer{}, path), "");
                break;
            case Writer::kFetchList: {
                CListSortKey key;
                key.m_nCode = 1301;
                std::strcpy(key.m_szSymbol, "1301");
                int stocks = 0;
                ASSERT_EQ(WriteFetchList(
                              {key},
                              [](const CListSortKey&, std::FILE* file) {
                                  std::fputs("1301,1301,T,NEW\r\n", file);
                              },
                              stocks),
                          FetchListWrite::kWritten);
                break;
            }
        }
        std::vector<std::string> kept = {path};
        if (c.writer == Writer::kDayFile) {
            kept.push_back(BackupPathOf(path));
        }
        if (c.writer == Writer::kFetchList) {
            kept.push_back(kFetchListBackupPath);
        }
        for (const std::string& file : kept) {
            struct stat after {};
            ASSERT_EQ(::stat(file.c_str(), &after), 0) << file;
            EXPECT_EQ(after.st_mode & 07777, c.mode) << file;
            EXPECT_EQ(after.st_gid, before.st_gid) << file;
            if (grouped) {
                EXPECT_EQ(after.st_gid, otherGroup) << file;
            }
        }
        EXPECT_NE(test::ReadFileBytes(path), "old");
    }
}

}  // namespace
}  // namespace tickora
