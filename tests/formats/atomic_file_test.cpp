// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
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
        const char* expectAside;   // "<name>.bak.1"; nullptr: none
    } cases[] = {
        {"first of the day", nullptr, nullptr, true, "new", nullptr, nullptr},
        {"second of the day", "old", nullptr, true, "new", "old", nullptr},
        // Files without marks (an older version wrote them, or anyone did) may each be the day's
        // whole one: neither is given up.
        {"older backup replaced", "old", "older", true, "new", "old", "older"},
        {"same day again, backup already the old file", "old", "=", true, "new", "old", nullptr},
        {"backup cannot be made", "old", "/", false, "old", "/", nullptr},
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
        // No side file of either step is left behind: beside the file, its backups and the
        // marks that say which of them are whole.
        EXPECT_EQ(EntriesIn("."), 2 + (std::filesystem::exists("DS080211.DAT.bak") ? 1 : 0) +
                                      static_cast<int>(NumberedBackupsOf("DS080211.DAT").size()))
            << c.name;
        EXPECT_EQ(NumberedBackupsOf("DS080211.DAT").size(), c.expectAside != nullptr ? 1u : 0u)
            << c.name;
        if (c.expectAside != nullptr) {
            EXPECT_EQ(test::ReadFileBytes("DS080211.DAT.bak.1"), c.expectAside) << c.name;
        }
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
    } cases[] = {
        {"W", "W1", ""},      {"WW", "W2", "W1"},    {"WP", "P2", "W1"},   {"WPP", "P3", "W1"},
        {"WPPP", "P4", "W1"}, {"WPW", "W3", "W1"},   {"WPPW", "W4", "W1"}, {"WPWP", "P4", "W3"},
        {"P", "P1", ""},      {"PP", "P2", "P1"},    {"PPP", "P3", "P2"},  {"PW", "W2", "P1"},
        {"PWP", "P3", "W2"},  {"PPWPP", "P5", "W3"}, {"LP", "P2", "L1"},   {"LPP", "P3", "L1"},
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
        // The marks stay beside the files: without them nothing would tell a whole file.
        EXPECT_TRUE(std::filesystem::is_regular_file(PartialMarksPathOf("DS080211.DAT")));
        EXPECT_EQ(WholeBackupOf("DS080211.DAT").empty(), !backup || c.expectBackup[0] != 'W');
        EXPECT_EQ(EntriesIn("."), 2 + (backup ? 1 : 0));
    }
}

constexpr const char* kDay = "DS080211.DAT";

// What a day's names hold.
struct DayFiles {
    std::string file;
    std::string backup;                 // "" = none
    std::vector<std::string> numbered;  // "<name>.bak.1", ".bak.2", ... by number
};

DayFiles DayFilesNow() {
    DayFiles now;
    now.file = test::ReadFileBytes(kDay);
    if (std::filesystem::exists(BackupPathOf(kDay))) {
        now.backup = test::ReadFileBytes(BackupPathOf(kDay));
    }
    for (const std::string& version : NumberedBackupsOf(kDay)) {
        now.numbered.push_back(test::ReadFileBytes(version));
    }
    return now;
}

// Rewrites the marks as an older version kept them: the partial files only, size and hash.
void WriteOldMarks() {
    const std::vector<DayMark> marks = ReadDayMarks(kDay);
    std::string text;
    for (const std::string& path : {std::string(kDay), BackupPathOf(kDay)}) {
        const std::optional<ContentId> id = ContentIdOf(path);
        if (StateOf(marks, id) == DayState::kPartial) {
            char line[64];
            std::snprintf(line, sizeof line, "%llu %016llx\n",
                          static_cast<unsigned long long>(id->size),
                          static_cast<unsigned long long>(id->hash));
            text += line;
        }
    }
    test::WriteFileBytes(PartialMarksPathOf(kDay), text);
}

// Every line of the marks with its state turned round and the last one cut: the worst a
// damaged file can say.
void DamageMarks() {
    std::string text = test::ReadFileBytes(PartialMarksPathOf(kDay));
    for (char& c : text) {
        c = c == 'W' ? 'P' : c == 'P' ? 'W' : c;
    }
    text.resize(text.size() - 3);
    test::WriteFileBytes(PartialMarksPathOf(kDay), text);
}

// Plays a day on kDay, one step a letter: W and P a whole and a partial run, whose file holds
// the letter and the run's number; L a file an older version left under the name, unmarked; E
// the file under the name changed by hand. Between runs the marks are removed (-), damaged (~),
// replaced by a link to /dev/null (@) or by a FIFO (|), rewritten as an older version kept them
// (%), and # copies the backup to the next numbered name, as a commit that died after that step
// leaves it. lost receives what the file and its backup held at each loss of the marks.
// Returns the error of the first commit that failed (the steps end there), 0 when none did.
int PlayDay(const std::string& steps, std::vector<std::string>* lost = nullptr) {
    const std::string marks = PartialMarksPathOf(kDay);
    int run = 0;
    for (const char step : steps) {
        if (std::string("-~@|").find(step) != std::string::npos && lost != nullptr) {
            const DayFiles now = DayFilesNow();
            lost->push_back(now.file);
            if (!now.backup.empty()) {
                lost->push_back(now.backup);
            }
        }
        switch (step) {
            case '-':
                std::filesystem::remove(marks);
                continue;
            case '~':
                DamageMarks();
                continue;
            case '@':
                std::filesystem::remove(marks);
                std::filesystem::create_symlink("/dev/null", marks);
                continue;
            case '|':
                std::filesystem::remove(marks);
                EXPECT_EQ(::mkfifo(marks.c_str(), 0600), 0);
                continue;
            case '%':
                WriteOldMarks();
                continue;
            case '#':
                std::filesystem::copy_file(
                    BackupPathOf(kDay),
                    NumberedBackupPathOf(kDay,
                                         static_cast<int>(NumberedBackupsOf(kDay).size()) + 1));
                continue;
            case 'E':
                test::WriteFileBytes(kDay, test::ReadFileBytes(kDay) + "e");
                continue;
            default:
                break;
        }
        const std::string content = std::string(1, step) + std::to_string(++run);
        if (step == 'L') {
            test::WriteFileBytes(kDay, content);
            continue;
        }
        AtomicFile file;
        EXPECT_TRUE(file.Open(kDay));
        std::fputs(content.c_str(), file.Get());
        if (!file.Commit(KeepOld::kAsBackup, step == 'P' ? Whole::kNo : Whole::kYes)) {
            return file.Error();
        }
    }
    return 0;
}

// When the marks cannot tell which file is whole (they were removed, damaged, or something that
// is no file of their own stands in their place), every version that may be the whole day is
// kept, under a further number. Whatever the marks prove still goes as before.
TEST(AtomicFile, WithoutTrustworthyMarksEveryVersionIsKept) {
    struct Case {
        const char* steps;
        const char* expectFile;
        const char* expectBackup;
        std::vector<std::string> expectNumbered;
        int error = 0;  // of the last run's commit
    } cases[] = {
        // A whole run, a partial one, the marks lost, another partial one.
        {"WP-P", "P3", "P2", {"W1"}},
        {"WP~P", "P3", "P2", {"W1"}},
        {"WP@P", "P3", "P2", {"W1"}},
        {"WP|P", "P3", "P2", {"W1"}},
        {"WP--P", "P3", "P2", {"W1"}},
        // What an older version's marks prove partial still goes.
        {"WP%P", "P3", "W1", {}},
        {"WP%PP", "P4", "W1", {}},
        // Once the marks are written again, they decide for the files they name.
        {"WP-PP", "P4", "P2", {"W1"}},
        {"WP-PW", "W4", "P2", {"W1"}},
        {"WP-PWW", "W5", "W4", {"W1", "P2"}},
        {"WP-P-P", "P4", "P3", {"W1", "P2"}},
        {"WPP-W", "W4", "P3", {"W1"}},
        {"W-W", "W2", "W1", {}},
        {"W-P", "P2", "W1", {}},
        {"WW-W", "W3", "W2", {"W1"}},
        {"WW~W", "W3", "W2", {"W1"}},
        {"P-P", "P2", "P1", {}},
        {"-W", "W1", "", {}},
        {"WP-", "P2", "W1", {}},
        // A file changed by hand is marked by nothing: it may be the whole day.
        {"WPEP", "P3", "P2e", {"W1"}},
        {"WPEW", "W3", "P2e", {"W1"}},
        // A file an older version left: one more version, once.
        {"LW", "W2", "L1", {}},
        {"LWW", "W3", "W2", {"L1"}},
        {"LWWW", "W4", "W3", {"L1"}},
        // A version already kept under a number is not kept twice.
        {"WP-#P", "P3", "P2", {"W1"}},
        // At the bound nothing is given up: the run's file is refused and every name keeps what
        // it held.
        {"WP-P-P-P-P-P-P-P-P-P",
         "P11",
         "P10",
         {"W1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9"}},
        {"WP-P-P-P-P-P-P-P-P-P-P",
         "P11",
         "P10",
         {"W1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9"},
         kTooManyVersions},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps);
        test::ScopedWorkDir dir;
        EXPECT_EQ(PlayDay(c.steps), c.error);
        const DayFiles now = DayFilesNow();
        EXPECT_EQ(now.file, c.expectFile);
        EXPECT_EQ(now.backup, c.expectBackup);
        EXPECT_EQ(now.numbered, c.expectNumbered);
        // The marks are a file of their own again, and nothing was written through a link.
        if (c.error == 0 && c.steps[std::strlen(c.steps) - 1] != '-') {
            EXPECT_TRUE(std::filesystem::is_regular_file(
                std::filesystem::symlink_status(PartialMarksPathOf(kDay))));
        }
        EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
        EXPECT_EQ(EntriesIn("."), 2 + (now.backup.empty() ? 0 : 1) +
                                      static_cast<int>(now.numbered.size()) -
                                      (std::filesystem::exists(PartialMarksPathOf(kDay)) ? 0 : 1));
    }
}

// Every order of up to four whole and partial runs with the marks lost between two of them:
// the day's newest whole file is never given up, nor any file that stood when the marks went.
TEST(AtomicFile, InEveryOrderTheWholeDayAndEveryUnprovenVersionSurvive) {
    for (int runs = 2; runs <= 4; ++runs) {
        for (int kinds = 0; kinds < (1 << runs); ++kinds) {
            for (int lossAfter = 1; lossAfter < runs; ++lossAfter) {
                std::string steps;
                int newestWhole = 0;
                for (int i = 0; i < runs; ++i) {
                    const bool whole = (kinds & (1 << i)) != 0;
                    steps += whole ? 'W' : 'P';
                    newestWhole = whole ? i + 1 : newestWhole;
                    if (i + 1 == lossAfter) {
                        steps += '-';
                    }
                }
                SCOPED_TRACE(steps);
                test::ScopedWorkDir dir;
                std::vector<std::string> lost;
                ASSERT_EQ(PlayDay(steps, &lost), 0);
                const DayFiles now = DayFilesNow();
                std::vector<std::string> kept = now.numbered;
                kept.push_back(now.file);
                kept.push_back(now.backup);
                EXPECT_EQ(now.file, std::string(1, steps.back()) + std::to_string(runs));
                if (newestWhole > 0) {
                    const std::string whole = "W" + std::to_string(newestWhole);
                    EXPECT_NE(std::find(kept.begin(), kept.end(), whole), kept.end()) << whole;
                }
                for (const std::string& version : lost) {
                    EXPECT_NE(std::find(kept.begin(), kept.end(), version), kept.end())
                        << version << " was given up";
                }
                std::vector<std::string> numbered = now.numbered;
                std::sort(numbered.begin(), numbered.end());
                EXPECT_EQ(std::adjacent_find(numbered.begin(), numbered.end()), numbered.end());
            }
        }
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
