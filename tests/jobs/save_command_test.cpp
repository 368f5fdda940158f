// SPDX-License-Identifier: GPL-3.0-or-later
// The Save command never writes fewer stocks than the file it replaces holds without saying so:
// after a restart it writes the stored day file again in the chosen layout, byte for byte what a
// fetch wrote in that layout, and with nothing to save from it refuses and touches nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "catalog/clock.h"
#include "catalog/work_lock.h"
#include "files/local_file.h"
#include "formats/quote_file.h"
#include "jobs/tickora_doc.h"
#include "tests/support/list_fixture.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::AddMarket;
using test::AddStock;
using test::Market;
using test::Quote;

constexpr LocalDate kDay{2026, 12, 8};
constexpr const char* kModokiName = "out/DS261208.DAT";  // layouts 1 and 3
constexpr const char* kDosName = "out/DS202612.08";

enum class Quotes { kNone, kWhole, kPartial };

// A day of 60 stocks in two blocks, as a fetch leaves the list: whole, without block 1 (its page
// failed), or as after a restart, with no quote at all.
void FillDay(CStockList& list, Quotes quotes) {
    for (int i = 0; i < 60; ++i) {
        const Quote quote{1000.0 + i, 1010.0 + i, 990.0 + i, 1005.5 + i, 1000.0 * i + 7};
        const std::string name =
            Utf8ToSjis(i % 2 == 0 ? "日本水産株式会社" : "極洋") + std::to_string(i);
        AddStock(list, 1300 + i, i % 3, name, quote);
    }
    list.GetBlock(0)->m_nMonth = kDay.month;
    list.GetBlock(0)->m_nDay = kDay.day;
    list.GetBlock(0)->m_nExtracted = 50;
    list.GetBlock(1)->m_nExtracted = 10;
    if (quotes == Quotes::kPartial) {
        for (CStockRecord& stock : list.GetBlock(1)->m_aStocks) {
            stock.m_dClose = 0;
        }
        list.GetBlock(1)->m_nExtracted = 0;
    } else if (quotes == Quotes::kNone) {
        list.ClearQuotes();
    }
}

CMarketTable Markets() {
    CMarketTable table;
    AddMarket(table, Market("T", 1, Utf8ToSjis(" 東証1部")));
    AddMarket(table, Market("M", 3, Utf8ToSjis(" 東証マザーズ")));
    AddMarket(table, Market("J", 4, Utf8ToSjis(" ジャスダック")));
    return table;
}

// The bytes a fetch writes of quotes in layout, made in a folder of their own.
std::string FetchBytes(Quotes quotes, int layout) {
    CStockList list;
    FillDay(list, quotes);
    const std::string folder =
        "fetched" + std::to_string(layout) + (quotes == Quotes::kWhole ? "w" : "p");
    fs::create_directories(folder);
    const std::string path = WriteQuoteFile(list, layout, folder.c_str(), Markets(), true);
    return test::ReadFileBytes(path);
}

// The day's file an earlier process left in "out", written as its fetch wrote it (so that the
// marks say whether it was whole), or planted as it is.
void Store(Quotes quotes, int layout) {
    CStockList list;
    FillDay(list, quotes);
    ASSERT_FALSE(WriteQuoteFile(list, layout, "out", Markets(), true, nullptr,
                                quotes == Quotes::kWhole ? Whole::kYes : Whole::kNo)
                     .empty());
}

struct SaveCase {
    const char* name;
    std::function<void()> stored;  // what "out" holds before the Save
    Quotes quotes;                 // what this process fetched
    int layout;                    // of the settings
    SaveEnd end;
    // The day's names afterwards: "" absent; otherwise their bytes.
    std::function<std::map<std::string, std::string>()> expect;
    int stocks = 0;
    int replacedStocks = -1;
    bool wholeBackupNamed = false;
    const char* setUp = "";  // "no list", "locked", "no folder"
};

const std::string kFifo = "(a FIFO)";

std::string Contents(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return "";
    }
    return S_ISFIFO(info.st_mode) ? kFifo : test::ReadFileBytes(path);
}

const SaveCase kSaveCases[] = {
    {"restartSameLayoutLeavesTheFileAsItIs", [] { Store(Quotes::kWhole, 3); }, Quotes::kNone, 3,
     SaveEnd::kUnchanged,
     [] {
         return std::map<std::string, std::string>{{kModokiName, FetchBytes(Quotes::kWhole, 3)},
                                                   {"out/DS261208.DAT.bak", ""}};
     },
     60, 60},
    {"restartTabbedLayoutFromThePlainFile", [] { Store(Quotes::kWhole, 3); }, Quotes::kNone, 1,
     SaveEnd::kRewritten,
     [] {
         return std::map<std::string, std::string>{
             {kModokiName, FetchBytes(Quotes::kWhole, 1)},
             {"out/DS261208.DAT.bak", FetchBytes(Quotes::kWhole, 3)},
             {kDosName, ""}};
     },
     60, 60},
    {"restartFixedLayoutBesideThePlainFile", [] { Store(Quotes::kWhole, 3); }, Quotes::kNone, 2,
     SaveEnd::kRewritten,
     [] {
         return std::map<std::string, std::string>{{kDosName, FetchBytes(Quotes::kWhole, 2)},
                                                   {kModokiName, FetchBytes(Quotes::kWhole, 3)}};
     },
     60},
    {"restartPlainLayoutFromTheFixedFile", [] { Store(Quotes::kWhole, 2); }, Quotes::kNone, 3,
     SaveEnd::kRewritten,
     [] {
         return std::map<std::string, std::string>{{kModokiName, FetchBytes(Quotes::kWhole, 3)},
                                                   {kDosName, FetchBytes(Quotes::kWhole, 2)}};
     },
     60},
    {"restartFixedLayoutFromTheTabbedFile", [] { Store(Quotes::kWhole, 1); }, Quotes::kNone, 2,
     SaveEnd::kRewritten,
     [] {
         return std::map<std::string, std::string>{{kDosName, FetchBytes(Quotes::kWhole, 2)},
                                                   {kModokiName, FetchBytes(Quotes::kWhole, 1)}};
     },
     60},
    // The partial file is written again in the new layout; the whole day stays the backup.
    {"restartAfterAWholeAndAPartialRun",
     [] {
         Store(Quotes::kWhole, 3);
         Store(Quotes::kPartial, 3);
     },
     Quotes::kNone, 1, SaveEnd::kRewritten,
     [] {
         return std::map<std::string, std::string>{
             {kModokiName, FetchBytes(Quotes::kPartial, 1)},
             {"out/DS261208.DAT.bak", FetchBytes(Quotes::kWhole, 3)},
             {"out/DS261208.DAT.bak.1", ""}};
     },
     50, 50},
    // A file an older version wrote has no marks: it is kept, and what is written from it is
    // not taken for a whole day.
    {"restartFromAnUnmarkedFile",
     [] { test::WriteFileBytes(kModokiName, FetchBytes(Quotes::kWhole, 3)); }, Quotes::kNone, 1,
     SaveEnd::kRewritten,
     [] {
         return std::map<std::string, std::string>{
             {kModokiName, FetchBytes(Quotes::kWhole, 1)},
             {"out/DS261208.DAT.bak", FetchBytes(Quotes::kWhole, 3)}};
     },
     60, 60},
    {"restartWithNothingStored", [] {}, Quotes::kNone, 3, SaveEnd::kNothingStored,
     [] {
         return std::map<std::string, std::string>{{kModokiName, ""}, {kDosName, ""}};
     }},
    {"restartWithAnotherProgramsFile", [] { test::WriteFileBytes(kModokiName, "hello\r\n"); },
     Quotes::kNone, 3, SaveEnd::kUnreadable,
     [] {
         return std::map<std::string, std::string>{{kModokiName, "hello\r\n"},
                                                   {"out/DS261208.DAT.bak", ""}};
     }},
    {"restartWithAFifoUnderTheName", [] { ASSERT_EQ(::mkfifo(kModokiName, 0600), 0); },
     Quotes::kNone, 1, SaveEnd::kUnreadable,
     [] {
         return std::map<std::string, std::string>{{kModokiName, kFifo},
                                                   {"out/DS261208.DAT.bak", ""}};
     }},
    {"restartWithAnotherDaysFileUnderTheName",
     [] {
         std::string bytes = FetchBytes(Quotes::kWhole, 3);
         bytes.replace(0, 6, "261207");
         test::WriteFileBytes(kModokiName, bytes);
     },
     Quotes::kNone, 1, SaveEnd::kOtherDay,
     [] {
         std::string bytes = FetchBytes(Quotes::kWhole, 3);
         bytes.replace(0, 6, "261207");
         return std::map<std::string, std::string>{{kModokiName, bytes},
                                                   {"out/DS261208.DAT.bak", ""}};
     }},
    {"afterAWholeFetch", [] { Store(Quotes::kWhole, 3); }, Quotes::kWhole, 1, SaveEnd::kWritten,
     [] {
         return std::map<std::string, std::string>{
             {kModokiName, FetchBytes(Quotes::kWhole, 1)},
             {"out/DS261208.DAT.bak", FetchBytes(Quotes::kWhole, 3)}};
     },
     60, 60},
    // Fewer stocks than the stored file: written, and said, with where the whole day is.
    {"afterAPartialFetch", [] { Store(Quotes::kWhole, 1); }, Quotes::kPartial, 1, SaveEnd::kWritten,
     [] {
         return std::map<std::string, std::string>{
             {kModokiName, FetchBytes(Quotes::kPartial, 1)},
             {"out/DS261208.DAT.bak", FetchBytes(Quotes::kWhole, 1)}};
     },
     50, 60, true},
    {"withoutAList", [] { Store(Quotes::kWhole, 3); }, Quotes::kNone, 1, SaveEnd::kNoList,
     [] {
         return std::map<std::string, std::string>{{kModokiName, FetchBytes(Quotes::kWhole, 3)},
                                                   {"out/DS261208.DAT.bak", ""}};
     },
     0, -1, false, "no list"},
    {"whileAnotherJobHoldsTheFolder", [] { Store(Quotes::kWhole, 3); }, Quotes::kNone, 1,
     SaveEnd::kFolderBusy,
     [] {
         return std::map<std::string, std::string>{{kModokiName, FetchBytes(Quotes::kWhole, 3)},
                                                   {"out/DS261208.DAT.bak", ""}};
     },
     0, -1, false, "locked"},
    // A folder where the marks go: no commit could say which file is whole, so none is made.
    {"afterAFetchWithAFolderWhereTheMarksGo",
     [] {
         Store(Quotes::kWhole, 3);
         fs::remove("out/.DS261208.DAT.partial");
         fs::create_directories("out/.DS261208.DAT.partial/inside");
     },
     Quotes::kPartial, 3, SaveEnd::kNotWritten,
     [] {
         return std::map<std::string, std::string>{{kModokiName, FetchBytes(Quotes::kWhole, 3)},
                                                   {"out/DS261208.DAT.bak", ""}};
     },
     50, 60},
    {"afterAFetchWithTheOutputFolderGone", [] { fs::remove("out"); }, Quotes::kWhole, 3,
     SaveEnd::kNotWritten,
     [] {
         return std::map<std::string, std::string>{{kModokiName, ""}};
     },
     60},
};

class SaveCommand : public ::testing::TestWithParam<SaveCase> {
  protected:
    void SetUp() override { SetTodayForTesting(kDay); }
    void TearDown() override { SetTodayForTesting(std::nullopt); }
    test::ScopedWorkDir m_dir;
};

TEST_P(SaveCommand, NeverWritesFewerStocksThanItReplacesWithoutSayingSo) {
    const SaveCase& c = GetParam();
    fs::create_directory("out");
    c.stored();
    ASSERT_FALSE(HasFatalFailure());
    CAppSettings settings;
    std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "out");
    settings.m_nOutputFormat = c.layout;
    settings.m_bAverageDecimals = 1;
    CMarketTable markets = Markets();
    CStockList stocks;
    if (std::string(c.setUp) != "no list") {
        FillDay(stocks, c.quotes);
    }
    WorkLockResult other;
    if (std::string(c.setUp) == "locked") {
        other = TryLockWorkFolder(".");
        ASSERT_TRUE(other.Taken());
    }
    CTickoraDoc doc(settings, markets, stocks);

    const SaveResult result = doc.OnSaveQuoteFile();

    EXPECT_EQ(static_cast<int>(result.end), static_cast<int>(c.end));
    EXPECT_EQ(result.stocks, c.stocks);
    EXPECT_EQ(result.replacedStocks, c.replacedStocks);
    EXPECT_EQ(result.wholeBackup.empty(), !c.wholeBackupNamed) << result.wholeBackup;
    if (c.wholeBackupNamed) {
        EXPECT_EQ(result.wholeBackup, AbsolutePath("out/DS261208.DAT.bak"));
    }
    for (const auto& [path, bytes] : c.expect()) {
        EXPECT_TRUE(Contents(path) == bytes)
            << path << " holds " << Contents(path).size() << " bytes, not " << bytes.size();
    }
    if (c.end == SaveEnd::kUnreadable || c.end == SaveEnd::kOtherDay) {
        EXPECT_EQ(result.source, AbsolutePath(kModokiName));
    }
    if (c.end == SaveEnd::kNotWritten && c.replacedStocks < 0) {
        EXPECT_EQ(result.error, ENOENT);
        EXPECT_EQ(result.why, "");
    } else if (c.end == SaveEnd::kNotWritten) {
        EXPECT_EQ(result.why, AbsolutePath("out/.DS261208.DAT.partial"));
        EXPECT_TRUE(fs::is_directory("out/.DS261208.DAT.partial/inside"));
    }
    EXPECT_EQ(result.Refused(), c.end != SaveEnd::kWritten && c.end != SaveEnd::kRewritten &&
                                    c.end != SaveEnd::kUnchanged);
}

INSTANTIATE_TEST_SUITE_P(Rows, SaveCommand, ::testing::ValuesIn(kSaveCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tickora
