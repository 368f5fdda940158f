// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/kdt_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/kdt_days.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

using test::Day;
using test::Packed;

TEST(KdtRecord, FieldsAreLittleEndianWithPricesSplitInHalves) {
    // 2008-02-11, open 65,636 (= 65,536 + 100), high 70,000, low 1,234, close 65,535,
    // volume 123,456,789.
    const std::string expected(
        "\xD8\x07"          // 2008
        "\x02\x0B"          // month, day
        "\x00\x00"          // always zero
        "\x64\x00"          // open low half: 100
        "\x70\x11"          // high low half: 70,000 - 65,536 = 4,464
        "\xD2\x04"          // low: 1,234
        "\xFF\xFF"          // close: 65,535
        "\x15\xCD\x5B\x07"  // volume
        "\x01\x00"          // open high half
        "\x01\x00"          // high high half
        "\x00\x00"          // low high half
        "\x00\x00",         // close high half
        26);
    EXPECT_EQ(Packed(Day(2008, 2, 11, 65636, 70000, 1234, 65535, 123456789)), expected);
}

TEST(KdtRecord, NegativeValuesKeepTheirSignInTheHighHalf) {
    const std::string expected(
        "\x70\x07\x0C\x1F\x00\x00"
        "\xFF\xFF\x00\x00\x00\x00\x9C\xFF"
        "\xFF\xFF\xFF\xFF"
        "\xFF\xFF\x00\x00\x00\x00\xFF\xFF",
        26);
    EXPECT_EQ(Packed(Day(1900 + 4, 12, 31, -1, 0, 0, -100, -1)), expected);
}

TEST(KdtRecord, OnlyYearsStrictlyBetween1900And2100AreWritten) {
    struct Case {
        int year;
        bool valid;
    } cases[] = {{0, false}, {1900, false}, {1901, true}, {2099, true}, {2100, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(Day(c.year, 1, 1, 1, 1, 1, 1, 1).IsValid(), c.valid) << c.year;
    }
    CKdtDay cleared = Day(2008, 1, 1, 1, 1, 1, 1, 1);
    cleared.Clear();
    EXPECT_EQ(Packed(cleared), std::string(26, '\0'));
    EXPECT_FALSE(cleared.IsValid());
}

TEST(KdtFileName, ThousandsFolderOrWorkingFolder) {
    EXPECT_EQ(KdtFileName(1301, true), "DATA/1000/KD1301.KDT");
    EXPECT_EQ(KdtFileName(9984, true), "DATA/9000/KD9984.KDT");
    EXPECT_EQ(KdtFileName(1301, false), "KD1301.KDT");
    EXPECT_EQ(KdtFileName(5, false), "KD0005.KDT");
}

class KdtFileTest : public ::testing::Test {
  protected:
    // Page p, slot s holds the day 2000 + p, month 1 + s / 28, day 1 + s % 28, price p * 100 + s.
    void FillPage(int p, int slots) {
        for (int s = 0; s < slots; ++s) {
            const int price = p * 100 + s;
            pages_[p][s] = Day(2000 + p, 1 + s / 28, 1 + s % 28, price, price, price, price, s);
        }
    }
    std::vector<const CKdtDay*> Pages(int count) const {
        std::vector<const CKdtDay*> out;
        for (int p = 0; p < count; ++p) {
            out.push_back(pages_[p]);
        }
        return out;
    }

    test::ScopedWorkDir dir_;
    CKdtDay pages_[4][kKdtDaysPerPage] = {};
};

TEST_F(KdtFileTest, LastPageFirstAndWithinAPageLastSlotFirst) {
    for (int p = 0; p < 4; ++p) {
        FillPage(p, 3);
    }
    const auto pages = Pages(4);
    ASSERT_TRUE(WriteKdtFile(1301, false, pages));
    std::string expected;
    for (int p = 3; p >= 0; --p) {
        for (int s = 2; s >= 0; --s) {
            expected += Packed(pages_[p][s]);
        }
    }
    EXPECT_EQ(test::ReadFileBytes("KD1301.KDT"), expected);
}

TEST_F(KdtFileTest, OnlyValidSlotsAreWritten) {
    FillPage(0, 20);
    pages_[0][5].m_nYear = 1900;
    pages_[0][6].m_nYear = 2100;
    const auto pages = Pages(1);
    ASSERT_TRUE(WriteKdtFile(1301, false, pages));
    const std::string bytes = test::ReadFileBytes("KD1301.KDT");
    ASSERT_EQ(bytes.size(), 18u * kKdtRecordSize);
    EXPECT_EQ(bytes.substr(0, kKdtRecordSize), Packed(pages_[0][19]));
    EXPECT_EQ(bytes.substr(bytes.size() - kKdtRecordSize), Packed(pages_[0][0]));
}

TEST_F(KdtFileTest, WriteDaysGoesFromSlot49Down) {
    FillPage(1, 50);
    std::FILE* out = std::fopen("days.bin", "wb");
    ASSERT_NE(out, nullptr);
    WriteDays(pages_[1], out);
    std::fclose(out);
    const std::string bytes = test::ReadFileBytes("days.bin");
    ASSERT_EQ(bytes.size(), 50u * kKdtRecordSize);
    EXPECT_EQ(bytes.substr(0, kKdtRecordSize), Packed(pages_[1][49]));
    EXPECT_EQ(bytes.substr(49 * kKdtRecordSize), Packed(pages_[1][0]));
}

TEST_F(KdtFileTest, ReplacesTheWholeFile) {
    test::WriteFileBytes("KD0005.KDT", std::string(1000, 'x'));
    FillPage(0, 2);
    const auto pages = Pages(1);
    ASSERT_TRUE(WriteKdtFile(5, false, pages));
    EXPECT_EQ(test::ReadFileBytes("KD0005.KDT"), Packed(pages_[0][1]) + Packed(pages_[0][0]));
}

TEST_F(KdtFileTest, WithoutAnyValidDayTheOldFileStays) {
    test::WriteFileBytes("KD1301.KDT", "old history");
    EXPECT_FALSE(WriteKdtFile(1301, false, {}));
    const auto pages = Pages(2);  // all slots cleared
    EXPECT_FALSE(WriteKdtFile(1301, false, pages));
    EXPECT_EQ(test::ReadFileBytes("KD1301.KDT"), "old history");
}

TEST_F(KdtFileTest, DataFoldersAreCreatedForTheThousandsOnly) {
    FillPage(0, 1);
    const auto pages = Pages(1);
    EXPECT_FALSE(WriteKdtFile(1301, true, pages));  // no folder yet: skipped
    CreateKdtFolders();
    CreateKdtFolders();  // existing folders are fine
    for (int t = 1000; t <= 9000; t += 1000) {
        EXPECT_TRUE(std::filesystem::is_directory("DATA/" + std::to_string(t))) << t;
    }
    EXPECT_FALSE(std::filesystem::exists("DATA/0000"));
    ASSERT_TRUE(WriteKdtFile(1301, true, pages));
    EXPECT_EQ(test::ReadFileBytes("DATA/1000/KD1301.KDT"), Packed(pages_[0][0]));
}

// Days one after another, with prices and volumes that need both halves and the sign.
std::vector<CKdtDay> Ascending(int count) {
    std::vector<CKdtDay> days;
    for (int i = 0; i < count; ++i) {
        days.push_back(Day(2008 + i / 300, 1 + i / 25 % 12, 1 + i % 25, 65536 * (i % 3) + i,
                           70000 - i, -i, i * 1000, i % 2 == 0 ? 123456789 : -1));
    }
    return days;
}

TEST_F(KdtFileTest, ReadsBackEveryDayEitherWriterWrote) {
    const std::vector<CKdtDay> days = Ascending(60);
    ASSERT_TRUE(WriteKdtDays(1301, false, days));
    const std::string written = test::ReadFileBytes("KD1301.KDT");
    // The same days as two pages, newest first, through the writer of fetched pages.
    for (int i = 0; i < 60; ++i) {
        pages_[i / 50][i % 50] = days[static_cast<std::size_t>(59 - i)];
    }
    ASSERT_TRUE(WriteKdtFile(1302, false, Pages(2)));
    EXPECT_EQ(test::ReadFileBytes("KD1302.KDT"), written);

    std::vector<CKdtDay> read;
    ASSERT_EQ(ReadKdtFile("KD1301.KDT", read), KdtRead::kOk);
    ASSERT_EQ(read.size(), days.size());
    for (std::size_t i = 0; i < days.size(); ++i) {
        EXPECT_EQ(Packed(read[i]), Packed(days[i])) << i;
        EXPECT_EQ(read[i].m_nOpen, days[i].m_nOpen) << i;
        EXPECT_EQ(read[i].m_nLow, days[i].m_nLow) << i;
        EXPECT_EQ(read[i].m_nVolume, days[i].m_nVolume) << i;
    }
}

TEST_F(KdtFileTest, AFileThatIsNoHistoryOfOursIsRefused) {
    const std::vector<CKdtDay> days = Ascending(3);
    std::string good;
    for (const CKdtDay& day : days) {
        good += Packed(day);
    }
    auto with = [&](std::size_t at, char byte) {
        std::string bytes = good;
        bytes[at] = byte;
        return bytes;
    };
    struct Case {
        const char* name;
        std::string bytes;
        KdtRead expected;
    } cases[] = {
        {"whole", good, KdtRead::kOk},
        {"empty", "", KdtRead::kMalformed},
        {"cut inside a record", good.substr(0, good.size() - 7), KdtRead::kMalformed},
        {"a zero byte set", with(26 + 4, 1), KdtRead::kMalformed},
        {"month 13", with(26 + 2, 13), KdtRead::kMalformed},
        {"day 0", with(26 + 3, 0), KdtRead::kMalformed},
        {"year 1900", with(0, 0x6C).replace(1, 1, 1, '\x07'), KdtRead::kMalformed},
        {"days out of order", good.substr(26, 26) + good.substr(0, 26), KdtRead::kMalformed},
        {"a day twice", good.substr(0, 26) + good.substr(0, 26), KdtRead::kMalformed},
    };
    for (const Case& c : cases) {
        test::WriteFileBytes("KD1301.KDT", c.bytes);
        std::vector<CKdtDay> read;
        EXPECT_EQ(ReadKdtFile("KD1301.KDT", read), c.expected) << c.name;
        EXPECT_EQ(read.empty(), c.expected != KdtRead::kOk) << c.name;
    }
    std::vector<CKdtDay> read;
    EXPECT_EQ(ReadKdtFile("KD9999.KDT", read), KdtRead::kMissing);
    std::filesystem::create_directory("KD9998.KDT");
    EXPECT_EQ(ReadKdtFile("KD9998.KDT", read), KdtRead::kUnreadable);
}

}  // namespace
}  // namespace tickora
