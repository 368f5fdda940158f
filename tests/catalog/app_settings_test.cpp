// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/app_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

// The record as the layout describes it, built field by field.
std::string Record(std::uint32_t version, std::int32_t format, const std::string& dir,
                   std::int32_t autoStart, std::int32_t exitAfter, std::int32_t decimals) {
    std::string bytes(148, '\0');
    auto put = [&bytes](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    put(0, version);
    put(4, static_cast<std::uint32_t>(format));
    bytes.replace(8, dir.size(), dir);
    put(136, static_cast<std::uint32_t>(autoStart));
    put(140, static_cast<std::uint32_t>(exitAfter));
    put(144, static_cast<std::uint32_t>(decimals));
    return bytes;
}

void ExpectDefaults(const CAppSettings& s) {
    EXPECT_EQ(s.m_nVersion, 0x00010100u);
    EXPECT_EQ(s.m_nOutputFormat, 3);
    EXPECT_STREQ(s.m_szOutputDir, ".");
    EXPECT_EQ(s.m_bAutoStart, 0);
    EXPECT_EQ(s.m_bExitAfterFetch, 0);
    EXPECT_EQ(s.m_bAverageDecimals, 0);
}

class AppSettingsTest : public ::testing::Test {
  protected:
    test::ScopedWorkDir dir_;
};

TEST_F(AppSettingsTest, DefaultsWithoutAFile) {
    CAppSettings s;
    ExpectDefaults(s);
    s.Load();
    ExpectDefaults(s);
}

TEST_F(AppSettingsTest, SaveWritesTheLittleEndianRecordAndLoadReadsItBack) {
    CAppSettings s;
    s.m_nOutputFormat = -1;
    std::strcpy(s.m_szOutputDir, "/home/user/\x8A\x94");
    s.m_bAutoStart = 1;
    s.m_bExitAfterFetch = 0;
    s.m_bAverageDecimals = 1;
    ASSERT_TRUE(s.Save());
    const std::string bytes = test::ReadFileBytes("Tickora.ini");
    EXPECT_EQ(bytes, Record(0x00010100, -1, "/home/user/\x8A\x94", 1, 0, 1));
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x00\x01\x01\x00", 4));

    CAppSettings loaded;
    loaded.Load();
    EXPECT_EQ(loaded.m_nOutputFormat, -1);
    EXPECT_STREQ(loaded.m_szOutputDir, "/home/user/\x8A\x94");
    EXPECT_EQ(loaded.m_bAutoStart, 1);
    EXPECT_EQ(loaded.m_bExitAfterFetch, 0);
    EXPECT_EQ(loaded.m_bAverageDecimals, 1);
    EXPECT_EQ(std::filesystem::file_size("Tickora.ini"), 148u);
}

TEST_F(AppSettingsTest, ShortFileSuppliesOnlyItsFirstFields) {
    test::WriteFileBytes("Tickora.ini", Record(0x00010100, 1, "", 0, 0, 0).substr(0, 8));
    CAppSettings s;
    s.Load();
    EXPECT_EQ(s.m_nOutputFormat, 1);
    EXPECT_STREQ(s.m_szOutputDir, ".");
    EXPECT_EQ(s.m_bAutoStart, 0);

    // Up to the middle of the folder: the part read replaces the default folder's start.
    test::WriteFileBytes("Tickora.ini", Record(0x00010100, 2, "/data", 1, 1, 1).substr(0, 140));
    CAppSettings t;
    t.Load();
    EXPECT_EQ(t.m_nOutputFormat, 2);
    EXPECT_STREQ(t.m_szOutputDir, "/data");
    EXPECT_EQ(t.m_bAutoStart, 1);
    EXPECT_EQ(t.m_bExitAfterFetch, 0);
    EXPECT_EQ(t.m_bAverageDecimals, 0);
}

TEST_F(AppSettingsTest, LongerFileUsesItsFirst148Bytes) {
    test::WriteFileBytes("Tickora.ini",
                         Record(0x00010100, 2, "/out", 0, 1, 0) + std::string(52, '\x7F'));
    CAppSettings s;
    s.Load();
    EXPECT_EQ(s.m_nOutputFormat, 2);
    EXPECT_STREQ(s.m_szOutputDir, "/out");
    EXPECT_EQ(s.m_bExitAfterFetch, 1);
    EXPECT_EQ(s.m_bAverageDecimals, 0);
}

TEST_F(AppSettingsTest, OtherVersionOrNoWholeFieldGivesAllDefaults) {
    for (const std::string& bytes :
         {Record(0x00010000, 1, "/x", 1, 1, 1), Record(0x00000101, 1, "/x", 1, 1, 1),
          std::string("\x00\x01", 2), std::string()}) {
        test::WriteFileBytes("Tickora.ini", bytes);
        CAppSettings s;
        s.m_nOutputFormat = 2;  // a value in memory that the file's defaults replace
        s.Load();
        ExpectDefaults(s);
    }
}

TEST_F(AppSettingsTest, FolderWithoutTerminatorKeeps127Bytes) {
    std::string bytes = Record(0x00010100, 3, std::string(128, 'p'), 0, 0, 0);
    test::WriteFileBytes("Tickora.ini", bytes);
    CAppSettings s;
    s.Load();
    EXPECT_EQ(std::string(s.m_szOutputDir), std::string(127, 'p'));

    // Filler after the terminator carries no meaning and is written back as zeros.
    bytes = Record(0x00010100, 3, std::string("/a\0junk", 7), 0, 0, 0);
    test::WriteFileBytes("Tickora.ini", bytes);
    CAppSettings t;
    t.Load();
    EXPECT_STREQ(t.m_szOutputDir, "/a");
    ASSERT_TRUE(t.Save());
    EXPECT_EQ(test::ReadFileBytes("Tickora.ini"), Record(0x00010100, 3, "/a", 0, 0, 0));
}

TEST_F(AppSettingsTest, FailedSaveKeepsTheOldFile) {
    CAppSettings s;
    EXPECT_FALSE(s.Save("missing/Tickora.ini"));
    test::WriteFileBytes("Tickora.ini", "old");
    {
        test::FileSizeLimit full(100);  // the record's 148 bytes do not fit
        EXPECT_FALSE(s.Save());
    }
    EXPECT_EQ(test::ReadFileBytes("Tickora.ini"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                            std::filesystem::directory_iterator()),
              1);
}

// Saves at the same moment, as two settings runs make them, each write a side file of their own:
// a shared one made one of them fail although its record was the one on disk.
TEST_F(AppSettingsTest, SavesAtOnceNeverShareASideFile) {
    std::filesystem::create_directory("Tickora.ini.tmp");  // the old shared name is no obstacle
    std::atomic<int> failures{0};
    auto saveMany = [&failures](int format) {
        CAppSettings s;
        s.m_nOutputFormat = format;
        for (int i = 0; i < 200; ++i) {
            failures += s.Save() ? 0 : 1;
        }
    };
    std::thread a(saveMany, 1);
    std::thread b(saveMany, 2);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
    CAppSettings loaded;
    loaded.Load();
    EXPECT_TRUE(loaded.m_nOutputFormat == 1 || loaded.m_nOutputFormat == 2);
    EXPECT_EQ(test::ReadFileBytes("Tickora.ini").size(), 148u);
}

TEST_F(AppSettingsTest, CopyFromCopiesEveryField) {
    CAppSettings a;
    a.m_nVersion = 7;
    a.m_nOutputFormat = 1;
    std::strcpy(a.m_szOutputDir, "/copy");
    a.m_bAutoStart = 1;
    a.m_bExitAfterFetch = 1;
    a.m_bAverageDecimals = 1;
    CAppSettings b;
    b.CopyFrom(a);
    unsigned char ra[kSettingsRecordSize];
    unsigned char rb[kSettingsRecordSize];
    a.ToRecord(ra);
    b.ToRecord(rb);
    EXPECT_EQ(std::memcmp(ra, rb, sizeof ra), 0);
}

}  // namespace
}  // namespace tickora
