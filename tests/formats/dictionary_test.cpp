// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/dictionary.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/list_fixture.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

using test::AddMarket;
using test::AddStock;
using test::Market;

constexpr std::size_t kFileSize = 10'240'000;

// An independent picture of one record: little-endian integers and zero-padded texts at the
// offsets of the layout.
void PutInt(std::string& image, std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        image[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

void PutField(std::string& image, std::size_t at, std::size_t size, const std::string& text) {
    image.replace(at, size, std::string(size, '\0'));
    image.replace(at, std::min(size, text.size()), text.substr(0, size));
}

std::int32_t IntAt(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return static_cast<std::int32_t>(v);
}

CompanyProfile Profile(const std::string& market, const std::string& industry,
                       const std::string& feature, const std::string& business) {
    CompanyProfile profile;
    std::memset(&profile, 0, sizeof profile);
    std::memcpy(profile.m_szMarket, market.data(), market.size());
    std::memcpy(profile.m_szIndustry, industry.data(), industry.size());
    std::memcpy(profile.m_szFeature, feature.data(), feature.size());
    std::memcpy(profile.m_szBusiness, business.data(), business.size());
    return profile;
}

class DictionaryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AddMarket(markets_, Market("T", 1, Utf8ToSjis(" 東証1部")));
        AddMarket(markets_, Market("O", 2, Utf8ToSjis(" 大証")));
        AddMarket(markets_, Market("Q", 7, Utf8ToSjis(" ジャスダック")));
    }

    test::ScopedWorkDir dir_;
    CMarketTable markets_;
    CStockList list_;
};

TEST_F(DictionaryTest, NewFileHoldsTheListStocksAndZerosElsewhere) {
    const std::string name = Utf8ToSjis("極洋");
    const std::string longName = std::string(31, 'N');
    AddStock(list_, 1301, 0, name);
    AddStock(list_, 9999, 1, longName);
    CStockRecord& wide = AddStock(list_, 1000, 0, "W");
    std::strcpy(wide.m_szSymbol, "ABCDEFGHIJKLMNO");  // 15 bytes: one zero byte remains
    AddStock(list_, 10000, 0, "beyond the file");
    AddStock(list_, -1, 0, "before the file");

    EXPECT_FALSE(DictionaryExists());
    ASSERT_EQ(CreateDictionaryIfMissing(list_), 0);
    ASSERT_TRUE(DictionaryExists());

    std::string expected(kFileSize, '\0');
    PutInt(expected, 1301 * 1024, 1301);
    PutField(expected, 1301 * 1024 + 16, 16, "1301");
    PutField(expected, 1301 * 1024 + 32, 32, name);
    PutInt(expected, 9999 * 1024, 9999);
    PutField(expected, 9999 * 1024 + 16, 16, "9999");
    PutField(expected, 9999 * 1024 + 32, 32, longName);
    PutInt(expected, 1000 * 1024, 1000);
    PutField(expected, 1000 * 1024 + 16, 16, "ABCDEFGHIJKLMNO");
    PutField(expected, 1000 * 1024 + 32, 32, "W");
    const std::string bytes = test::ReadFileBytes(kDictionaryPath);
    ASSERT_EQ(bytes.size(), kFileSize);
    EXPECT_TRUE(bytes == expected);

    EXPECT_TRUE(DictionaryHasEntry(1301));
    EXPECT_TRUE(DictionaryHasEntry(9999));
    EXPECT_TRUE(DictionaryHasEntry(1000));
    EXPECT_FALSE(DictionaryHasEntry(1302));
    EXPECT_FALSE(DictionaryHasEntry(0));
    EXPECT_FALSE(DictionaryHasEntry(10000));
    EXPECT_FALSE(DictionaryHasEntry(-1));
    // Only the file itself is left in the folder.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(".")) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(DictionaryTest, AnExistingFileIsNeverRebuilt) {
    test::WriteFileBytes(kDictionaryPath, "short but present");
    AddStock(list_, 1301, 0, "A");
    ASSERT_EQ(CreateDictionaryIfMissing(list_), 0);
    EXPECT_EQ(test::ReadFileBytes(kDictionaryPath), "short but present");
    EXPECT_FALSE(DictionaryHasEntry(1301));
    EXPECT_FALSE(DictionaryHasEntry(5000));  // beyond the end: reads as zero
}

TEST_F(DictionaryTest, WithoutAFileNothingIsFoundOrWritten) {
    EXPECT_FALSE(DictionaryHasEntry(1301));
    EXPECT_EQ(WriteProfileToDictionary(1301, Profile("", "", "f", "b"), markets_), ENOENT);
    EXPECT_FALSE(std::filesystem::exists(kDictionaryPath));
}

TEST_F(DictionaryTest, ProfileUpdateRewritesOneRecordInPlace) {
    AddStock(list_, 1301, 0, "A");
    AddStock(list_, 1302, 0, "B");
    ASSERT_EQ(CreateDictionaryIfMissing(list_), 0);
    // Foreign bytes in the reserved parts must survive the update too.
    std::string before = test::ReadFileBytes(kDictionaryPath);
    before[1301 * 1024 + 12] = 'r';
    before[1301 * 1024 + 64] = 's';
    before[1301 * 1024 + 1023] = 't';
    test::WriteFileBytes(kDictionaryPath, before);

    const std::string feature = std::string(254, 'F');
    const std::string business = Utf8ToSjis("水産物の加工");
    EXPECT_EQ(
        WriteProfileToDictionary(
            1301, Profile(Utf8ToSjis("大証"), Utf8ToSjis("化学工業"), feature, business), markets_),
        0);

    std::string expected = before;
    PutInt(expected, 1301 * 1024 + 4, 2);
    PutInt(expected, 1301 * 1024 + 8, 7);
    PutField(expected, 1301 * 1024 + 80, 256, feature);
    PutField(expected, 1301 * 1024 + 336, 256, business);
    const std::string after = test::ReadFileBytes(kDictionaryPath);
    ASSERT_EQ(after.size(), kFileSize);
    EXPECT_TRUE(after == expected);
    EXPECT_TRUE(DictionaryHasEntry(1301));

    // A second update replaces the texts whole: nothing of the longer first text remains.
    EXPECT_EQ(WriteProfileToDictionary(1301, Profile("", "", "x", "y"), markets_), 0);
    const std::string again = test::ReadFileBytes(kDictionaryPath);
    EXPECT_EQ(IntAt(again, 1301 * 1024 + 4), 1);  // empty market text: the first entry
    EXPECT_EQ(IntAt(again, 1301 * 1024 + 8), 0);
    EXPECT_EQ(again.substr(1301 * 1024 + 80, 256), "x" + std::string(255, '\0'));
    EXPECT_EQ(again.substr(1301 * 1024 + 336, 256), "y" + std::string(255, '\0'));
    EXPECT_EQ(again.substr(0, 1301 * 1024), before.substr(0, 1301 * 1024));
    EXPECT_EQ(again.substr(1302 * 1024), before.substr(1302 * 1024));
}

TEST_F(DictionaryTest, StockAddedAfterCreationGetsNumbersButNoEntry) {
    AddStock(list_, 1301, 0, "A");
    ASSERT_EQ(CreateDictionaryIfMissing(list_), 0);
    EXPECT_EQ(
        WriteProfileToDictionary(2000, Profile(Utf8ToSjis("ジャスダック"), "", "f", "b"), markets_),
        0);
    const std::string bytes = test::ReadFileBytes(kDictionaryPath);
    EXPECT_EQ(IntAt(bytes, 2000 * 1024), 2000);
    EXPECT_EQ(IntAt(bytes, 2000 * 1024 + 4), 7);
    EXPECT_EQ(bytes[2000 * 1024 + 32], '\0');
    EXPECT_FALSE(DictionaryHasEntry(2000));
}

TEST_F(DictionaryTest, CodesOutsideTheFileAreIgnored) {
    AddStock(list_, 1301, 0, "A");
    ASSERT_EQ(CreateDictionaryIfMissing(list_), 0);
    const std::string before = test::ReadFileBytes(kDictionaryPath);
    EXPECT_EQ(WriteProfileToDictionary(10000, Profile("", "", "f", "b"), markets_), EINVAL);
    EXPECT_EQ(WriteProfileToDictionary(-1, Profile("", "", "f", "b"), markets_), EINVAL);
    EXPECT_TRUE(test::ReadFileBytes(kDictionaryPath) == before);
}

TEST_F(DictionaryTest, MarketNumbersComeFromTheTableNames) {
    struct Case {
        std::string text;
        int number;
    } cases[] = {
        {Utf8ToSjis("東証1部"), 1},   {Utf8ToSjis("大証"), 2},
        {Utf8ToSjis("大証,二部"), 2},           // only the part before a comma counts
        {Utf8ToSjis("ジャス"), 7},              // a prefix of a stored name finds it
        {Utf8ToSjis("大証2部"), 0},             // longer than any stored name
        {Utf8ToSjis("名証"), 0},      {"", 1},  // empty: the first entry
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MarketNumberOfName(c.text.c_str(), markets_), c.number) << c.text;
    }
    const CMarketTable empty;
    EXPECT_EQ(MarketNumberOfName("", empty), 0);
}

TEST(IndustryNumber, FirstSectorWhoseWholeNameStartsTheText) {
    struct Case {
        const char* text;
        int number;
    } cases[] = {
        {"水産・農林業", 1},
        {"鉱業", 2},
        {"化学", 7},
        {"化学工業", 7},
        {"化", 0},
        {"その他", 0},
        {"その他製品", 19},
        {"その他金融業", 31},
        {"電気機器", 16},
        {"電気・ガス業", 20},
        {"情報・通信業", 25},
        {"倉庫・運輸関連業", 24},
        {"サービス業", 33},
        {"不動産業（REIT）", 32},
        {"", 0},
        {"Chemicals", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IndustryNumberOfName(Utf8ToSjis(c.text).c_str()), c.number) << c.text;
    }
    EXPECT_EQ(IndustryNumberOfName(nullptr), 0);
}

}  // namespace
}  // namespace tickora
