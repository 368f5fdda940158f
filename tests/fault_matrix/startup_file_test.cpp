// SPDX-License-Identifier: GPL-3.0-or-later
// The files start-up reads, damaged: "Tickora.ini" short, long, of another version or not a
// record at all; "fetchlist.csv" and "market.csv" with lines that break every rule of their
// format. Start-up loads what it can, and the jobs then run on it without a crash.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "formats/quote_file.h"
#include "jobs/output_folder.h"
#include "jobs/startup.h"
#include "tests/support/fault_fixture.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::string U32(std::uint32_t v) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// One settings record as the program stores it: version, layout, folder (128 bytes, padded
// with zeros or given whole), auto-start, exit after fetch, decimals.
std::string SettingsRecord(std::uint32_t version, std::int32_t format, const std::string& folder,
                           std::int32_t autoStart = 0, std::int32_t exitAfter = 0,
                           std::int32_t decimals = 0) {
    std::string dir = folder.substr(0, 128);
    dir.resize(128, '\0');
    return U32(version) + U32(static_cast<std::uint32_t>(format)) + dir +
           U32(static_cast<std::uint32_t>(autoStart)) + U32(static_cast<std::uint32_t>(exitAfter)) +
           U32(static_cast<std::uint32_t>(decimals));
}

class StartupFileTest : public test::FaultSiteTest {
  protected:
    // Start-up as the program does it, in the working folder, and a document on its objects.
    void StartUp() {
        const SiteAccess given = access;
        LoadStartupObjects(objects, given.hosts);
        startedDoc =
            std::make_unique<CTickoraDoc>(objects.settings, objects.markets, objects.stocks);
        startedDoc->SetSiteAccess(given);
        startedDoc->SetView(&startedView);
    }
    // Runs a job of the started document to its end, within the same bound as the matrix.
    bool RunStarted(const std::function<bool(CTickoraDoc&)>& start) {
        if (!start(*startedDoc)) {
            ADD_FAILURE() << "the job did not start";
            return false;
        }
        const bool ended = EndsWithinBound(*startedDoc);
        EXPECT_EQ(startedView.Calls().back(), "idle");
        return ended;
    }
    void TearDown() override {
        startedDoc.reset();
        test::FaultSiteTest::TearDown();
    }

    // The stocks of the started list, in list order.
    std::vector<const CStockRecord*> StartedStocks() const {
        std::vector<const CStockRecord*> stocks;
        for (int b = 0; b < objects.stocks.m_nBlocks; ++b) {
            const CQuoteBlock& block = *objects.stocks.GetBlock(b);
            for (int i = 0; i < block.m_nStocks; ++i) {
                stocks.push_back(&block.m_aStocks[i]);
            }
        }
        return stocks;
    }

    StartupObjects objects;
    test::FaultView startedView;
    std::unique_ptr<CTickoraDoc> startedDoc;
};

struct SettingsCase {
    const char* name;
    std::string bytes;
    int format;          // the layout the settings must end up with
    std::string folder;  // the output folder they must end up with
    bool folderExists;   // a daily file can be written there
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsFileFault : public StartupFileTest,
                          public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(SettingsFileFault, LoadsWhatItCanAndTheFetchWritesWhereTheSettingsSay) {
    const SettingsCase& c = GetParam();
    WriteFileBytes("Tickora.ini", c.bytes);
    StartUp();
    ASSERT_TRUE(objects.marketLoaded);
    EXPECT_EQ(objects.settings.m_nVersion, kSettingsVersion);
    EXPECT_EQ(objects.settings.m_nOutputFormat, c.format);
    EXPECT_LE(std::strlen(objects.settings.m_szOutputDir), 127u);
    EXPECT_EQ(std::string(objects.settings.m_szOutputDir), c.folder);

    if (!c.folderExists) {
        // An output folder that is not there is refused before any page is asked for.
        server.ClearRequests();
        EXPECT_FALSE(startedDoc->OnFetch());
        EXPECT_EQ(startedDoc->LastRefusal(), OutputFolderRefusal(AbsolutePath(c.folder)));
        EXPECT_TRUE(server.Requests().empty());
    } else {
        ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnFetch(); }));
        const JobOutcome r = startedDoc->LastOutcome();
        EXPECT_FALSE(r.Stopped());
        EXPECT_GT(r.extracted, 0);
        // A layout outside the three known ones is written in the third.
        const int layout = (c.format == 1 || c.format == 2) ? c.format : 3;
        ASSERT_EQ(r.Written().size(), 1u);
        EXPECT_EQ(r.Written()[0],
                  AbsolutePath(QuoteFileName(c.folder.c_str(), layout, 2026, 12, 4)));
        EXPECT_TRUE(fs::exists(r.Written()[0]));
    }
    // The settings file is read, never written, at start-up and by a job.
    EXPECT_EQ(ReadFileBytes("Tickora.ini"), c.bytes);
    ExpectProtectedFilesKept({});
}

const std::string kGood = SettingsRecord(kSettingsVersion, 2, "out");

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsFileFault,
    ::testing::Values(
        SettingsCase{"empty", "", 3, ".", true},
        // Only the version and the layout: the rest stays at the defaults.
        SettingsCase{"short", U32(kSettingsVersion) + U32(1), 1, ".", true},
        // Cut inside the folder: the bytes that are there count.
        SettingsCase{"cutInTheFolder", kGood.substr(0, 10), 2, "ou", false},
        SettingsCase{"long", kGood + std::string(4096, '\xA5'), 2, "out", true},
        SettingsCase{"otherVersion", SettingsRecord(0x00020000, 2, "out"), 3, ".", true},
        SettingsCase{"versionZero", SettingsRecord(0, 1, "out"), 3, ".", true},
        // A folder without its terminator keeps 127 bytes; no such folder exists.
        SettingsCase{"folderWithoutEnd", SettingsRecord(kSettingsVersion, 1, std::string(128, 'o')),
                     1, std::string(127, 'o'), false},
        SettingsCase{"layoutOutOfRange", SettingsRecord(kSettingsVersion, 77, "out"), 77, "out",
                     true},
        SettingsCase{"negativeLayout", SettingsRecord(kSettingsVersion, -1, "out"), -1, "out",
                     true}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) {
        return std::string(info.param.name);
    });

// Lines that break the rules of "fetchlist.csv": no commas, too few, an empty first column, a
// code that is no number, codes beyond any integer, binary bytes, a NUL, a stray CR, lines far
// longer than the reader's buffer, an unknown market, blank lines.
std::vector<std::string> HostileListLines() {
    return {
        "",
        "no commas at all",
        "1301,1301",
        "1301,1301,T",
        ",9310,T,EmptySymbol",
        "X,notanumber,T,Name",
        "99999999999999999999,99999999999999999999,T,Huge",
        "-5,-5,T,Negative",
        std::string("9301,9301,T,\x82\xa0\xff\xfc\x81\x40\xff\xfe\x80"),
        std::string("13\0"
                    "01,9302,T,Nul",
                    16),
        "9303,9303,T," + std::string(5000, 'A'),
        "1234567890123456789012345,9304,T,LongSymbol",
        ",,,,,,,,,,,,",
        "9305,9305,ZZZZZZZZ,UnknownMarket",
        "\t \t",
        "9306,93\r06,T,StrayCR",
        std::string(300, ','),
    };
}

TEST_F(StartupFileTest, BrokenListLinesLeaveEveryGoodStockInPlace) {
    // The site's list with a broken line after every sixth good one.
    const std::vector<std::string> good = test::Lines(siteList);
    const std::vector<std::string> hostile = HostileListLines();
    std::string csv;
    size_t h = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        csv += good[i] + "\r\n";
        if (i % 6 == 5) {
            csv += hostile[h++ % hostile.size()] + "\r\n";
        }
    }
    for (; h < 2 * hostile.size(); ++h) {
        csv += hostile[h % hostile.size()] + "\r\n";
    }
    WriteFileBytes("fetchlist.csv", csv);
    StartUp();
    ASSERT_GT(objects.stocks.m_nBlocks, 0);

    // Every good line is a stock, in file order, with its own fields; whatever a broken line
    // gave stays inside its fields.
    const std::vector<const CStockRecord*> stocks = StartedStocks();
    size_t next = 0;
    for (const CStockRecord* s : stocks) {
        EXPECT_LT(strnlen(s->m_szSymbol, sizeof s->m_szSymbol), sizeof s->m_szSymbol);
        EXPECT_LT(strnlen(s->m_szName, sizeof s->m_szName), sizeof s->m_szName);
        if (next < good.size() &&
            s->m_nCode == std::atoi(good[next].substr(good[next].find(',') + 1).c_str())) {
            EXPECT_EQ(std::string(s->m_szSymbol), good[next].substr(0, good[next].find(',')));
            ++next;
        }
    }
    EXPECT_EQ(next, good.size()) << "a good line is missing or out of order";

    // The daily fetch on this list gives every good stock its price, and no stock a price it
    // did not show.
    ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnFetch(); }));
    const JobOutcome r = startedDoc->LastOutcome();
    EXPECT_FALSE(r.Stopped());
    std::set<int> missing;
    for (const CStockRecord* s : stocks) {
        const auto t = truthByCode.find(s->m_nCode);
        if (t == truthByCode.end()) {
            EXPECT_LE(s->m_dClose, 0)
                << "code " << s->m_nCode << " has a price the site never showed";
            continue;
        }
        const double close = std::atof(t->second.at("close").c_str());
        if (close > 0 && std::fabs(s->m_dClose - close) > 0.006) {
            missing.insert(s->m_nCode);
        }
    }
    EXPECT_TRUE(missing.empty()) << missing.size() << " good stocks lack their price, first "
                                 << (missing.empty() ? 0 : *missing.begin());
}

// A symbol that cannot stand in a URL as it is (blanks): its block must still be asked for, and
// every other stock of it get its own price.
TEST_F(StartupFileTest, SymbolsThatAreNoUrlTextBreakNoOtherStock) {
    std::vector<std::string> lines = test::Lines(siteList);
    // The last slot of block 1, so that the block's URL ends with it (ListRowsFault puts one in
    // the middle of a block).
    lines.insert(lines.begin() + 99, "9 3 0 7,9307,T,Blanks");
    std::string csv;
    for (const std::string& line : lines) {
        csv += line + "\r\n";
    }
    WriteFileBytes("fetchlist.csv", csv);
    StartUp();
    ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnFetch(); }));
    EXPECT_FALSE(startedDoc->LastOutcome().Stopped());
    size_t compared = 0;
    size_t priced = 0;
    for (const CStockRecord* s : StartedStocks()) {
        const auto t = truthByCode.find(s->m_nCode);
        if (t == truthByCode.end()) {
            EXPECT_LE(s->m_dClose, 0) << "code " << s->m_nCode << " has another stock's price";
            continue;
        }
        const double close = std::atof(t->second.at("close").c_str());
        if (close > 0) {
            EXPECT_NEAR(s->m_dClose, close, 0.006) << "code " << s->m_nCode;
            ++compared;
        }
    }
    // Every stock of the site with a price was among those compared, not just some.
    for (const auto& row : truth) {
        priced += std::atof(row.at("close").c_str()) > 0 ? 1 : 0;
    }
    EXPECT_EQ(compared, priced);
    EXPECT_GT(priced, 100u);
}

// Lists whose quote rows once went to other stocks, with exit status 0: a byte-order mark in front
// of the Shift-JIS list made the first symbol one the site does not know, and a symbol the site
// echoes in another spelling (blanks) matched no row. Rows were then taken by their place, and
// every later ".O"/".N" row of the block went to the stock before its own (1001 got 3199.O's
// prices). Now every stock gets its own price or none, and the stocks the page did not answer
// are named and logged.
struct ListRowsCase {
    const char* name;
    std::function<std::string(const std::string& siteList)> list;
    std::vector<int> notExtracted;
};

void PrintTo(const ListRowsCase& c, std::ostream* os) {
    *os << c.name;
}

class ListRowsFault : public StartupFileTest, public ::testing::WithParamInterface<ListRowsCase> {};

TEST_P(ListRowsFault, EveryStockGetsItsOwnPriceOrIsNamed) {
    const ListRowsCase& c = GetParam();
    const std::string logBefore = ReadFileBytes(kErrorLog);
    WriteFileBytes("fetchlist.csv", c.list(siteList));
    StartUp();
    ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnFetch(); }));
    const JobOutcome r = startedDoc->LastOutcome();
    EXPECT_EQ(ExitStatusOf(r), kExitDone);
    EXPECT_EQ(r.notExtractedCodes, c.notExtracted);
    size_t priced = 0;
    for (const CStockRecord* s : StartedStocks()) {
        const auto t = truthByCode.find(s->m_nCode);
        const double close = t == truthByCode.end() ? 0 : std::atof(t->second.at("close").c_str());
        if (close > 0) {
            EXPECT_NEAR(s->m_dClose, close, 0.006) << "code " << s->m_nCode;
            ++priced;
        } else {
            EXPECT_LE(s->m_dClose, 0) << "code " << s->m_nCode << " has another stock's price";
        }
    }
    EXPECT_GT(priced, 100u);
    // The log grew by one line for each stock named, and by nothing else.
    const std::string log = ReadFileBytes(kErrorLog);
    ASSERT_EQ(log.substr(0, logBefore.size()), logBefore);
    std::string expected;
    for (const int code : c.notExtracted) {
        for (const CStockRecord* s : StartedStocks()) {
            if (s->m_nCode == code) {
                expected += "page=0 code=" + std::to_string(code) + " name=" + s->m_szName + "\r\n";
            }
        }
    }
    EXPECT_EQ(log.substr(logBefore.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListRowsFault,
    ::testing::Values(ListRowsCase{"byteOrderMarkBeforeShiftJis",
                                   [](const std::string& list) { return "\xEF\xBB\xBF" + list; },
                                   {}},
                      // In block 0, with ".O" and ".N" stocks after it.
                      ListRowsCase{"symbolEchoedInAnotherSpelling",
                                   [](const std::string& list) {
                                       std::vector<std::string> lines = test::Lines(list);
                                       lines.insert(lines.begin() + 10, "9 3 0 7,9307,T,Blanks");
                                       std::string csv;
                                       for (const std::string& line : lines) {
                                           csv += line + "\r\n";
                                       }
                                       return csv;
                                   },
                                   {9307}}),
    [](const ::testing::TestParamInfo<ListRowsCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(StartupFileTest, BrokenListLinesDoNotBreakTheOtherJobs) {
    const std::vector<std::string> good = test::Lines(siteList);
    std::string csv;
    for (const std::string& line : HostileListLines()) {
        csv += line + "\r\n";
    }
    for (size_t i = 0; i < 20; ++i) {
        csv += good[i] + "\r\n";
    }
    WriteFileBytes("fetchlist.csv", csv);
    StartUp();
    ASSERT_GT(objects.stocks.m_nBlocks, 0);

    ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnGetPerformance(); }));
    EXPECT_FALSE(startedDoc->LastOutcome().Written().empty());
    ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnGetProfiles(); }));
    // Codes outside the dictionary's 10,000 records are never written beyond it.
    EXPECT_EQ(fs::file_size(kDictionaryPath),
              static_cast<uintmax_t>(kDictionaryRecords) * kDictionaryRecordSize);
    startedView.codeOptions = {0, 10, true};
    ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnMakeKdt(); }));
    for (const std::string& file : startedDoc->LastOutcome().Written()) {
        EXPECT_EQ(file.rfind(AbsolutePath("DATA") + "/", 0), 0u) << file;
    }
    ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnMakeFetchList(); }));
    // The new list is the site's, whatever the old one held.
    EXPECT_EQ(ReadFileBytes("fetchlist.csv"), siteList);
    EXPECT_EQ(ReadFileBytes("fetchlist.bak"), csv);
}

// An overlong broken first line must not decide how the rest of the file is read.
struct FirstLineCase {
    const char* name;
    const char* lineEnd;
    size_t firstLineLength;
};

void PrintTo(const FirstLineCase& c, std::ostream* os) {
    *os << c.name;
}

class OverlongFirstListLine : public StartupFileTest,
                              public ::testing::WithParamInterface<FirstLineCase> {};

TEST_P(OverlongFirstListLine, GoodLinesAfterItLoadWithTheirOwnSymbols) {
    const FirstLineCase& c = GetParam();
    const std::vector<std::string> good = test::Lines(siteList);
    std::string csv = std::string(c.firstLineLength, 'A') + c.lineEnd;
    for (const std::string& line : good) {
        csv += line + c.lineEnd;
    }
    WriteFileBytes("fetchlist.csv", csv);
    StartUp();
    const std::vector<const CStockRecord*> stocks = StartedStocks();
    ASSERT_EQ(stocks.size(), good.size());
    for (size_t i = 0; i < good.size(); ++i) {
        EXPECT_EQ(std::string(stocks[i]->m_szSymbol), good[i].substr(0, good[i].find(',')))
            << "line " << i + 2;
    }
}

INSTANTIATE_TEST_SUITE_P(LineEnds, OverlongFirstListLine,
                         ::testing::Values(FirstLineCase{"crLf300", "\r\n", 300},
                                           FirstLineCase{"crLf248", "\r\n", 248},
                                           FirstLineCase{"lf249", "\n", 249}),
                         [](const ::testing::TestParamInfo<FirstLineCase>& info) {
                             return std::string(info.param.name);
                         });

// A first line end beyond the first 250 bytes, and a CR as the 250th byte with its LF after it:
// the line ending is still the one the file uses, so no later line gains or loses a byte.
INSTANTIATE_TEST_SUITE_P(LongLineEnds, OverlongFirstListLine,
                         ::testing::Values(FirstLineCase{"lf300", "\n", 300},
                                           FirstLineCase{"cr300", "\r", 300},
                                           FirstLineCase{"crLf249", "\r\n", 249}),
                         [](const ::testing::TestParamInfo<FirstLineCase>& info) {
                             return std::string(info.param.name);
                         });

// Lines that break the rules of "market.csv", after the good ones: each still holds its place.
std::vector<std::string> HostileMarketLines() {
    return {
        "",
        "no commas",
        "x,Q,NoNumber",
        "99999999999999999999,Q, Huge",
        "-1,Q, Negative",
        "7,LONGSYMBOL, LongSymbol",
        "8,S, " + std::string(200, 'N'),
        std::string("\x81\x40,\xff\xfe,\x82\xa0\xff"),
        std::string("9\0,Z, Nul", 9),
        "10,W," + std::string(5000, 'W'),
        ",,,,,",
        "11,,",
        std::string(300, ','),
    };
}

TEST_F(StartupFileTest, BrokenMarketLinesKeepTheGoodEntriesAndTheirPlaces) {
    const std::vector<std::string> good = test::Lines(ReadFileBytes("market.csv"));
    const std::vector<std::string> hostile = HostileMarketLines();
    std::string csv;
    for (const std::string& line : good) {
        csv += line + "\r\n";
    }
    for (const std::string& line : hostile) {
        csv += line + "\r\n";
    }
    WriteFileBytes("market.csv", csv);
    StartUp();
    ASSERT_TRUE(objects.marketLoaded);
    ASSERT_EQ(objects.markets.m_nEntries, static_cast<int>(good.size() + hostile.size()));
    for (int i = 0; i < objects.markets.m_nEntries; ++i) {
        const MarketEntry& e = objects.markets.m_pEntries[static_cast<size_t>(i)];
        EXPECT_LT(strnlen(e.m_szSymbol, sizeof e.m_szSymbol), sizeof e.m_szSymbol);
        EXPECT_LT(strnlen(e.m_szName, sizeof e.m_szName), sizeof e.m_szName);
        if (i < static_cast<int>(good.size())) {
            const std::string& line = good[static_cast<size_t>(i)];
            EXPECT_EQ(e.m_nNumber, std::atoi(line.c_str()));
            EXPECT_EQ(std::string(e.m_szSymbol),
                      line.substr(line.find(',') + 1,
                                  line.find(',', line.find(',') + 1) - line.find(',') - 1));
        }
    }
    // The list loads against it and the fetch extracts every stock the site prices.
    ASSERT_EQ(objects.stocks.m_nBlocks, 3);
    ASSERT_TRUE(RunStarted([](CTickoraDoc& d) { return d.OnFetch(); }));
    int priced = 0;
    for (const auto& row : truth) {
        priced += std::atof(row.at("close").c_str()) > 0 ? 1 : 0;
    }
    EXPECT_EQ(startedDoc->LastOutcome().extracted, priced);
}

// What the loaders had to tell reaches the front-ends through the start-up objects, in the order
// the files are read.
TEST(StartupNotices, TheLoadersNoticesAreGathered) {
    test::ScopedWorkDir dir;
    WriteFileBytes("market.csv", "1,T, 東証1部\n2,O, 大証1部\n");
    WriteFileBytes("fetchlist.csv", "1301,1301,T,極洋\r\nABCDEFGHIJKLMNOP,1332,T,B\r\n");
    StartupObjects objects;
    LoadStartupObjects(objects, SiteHosts{});
    ASSERT_TRUE(objects.marketLoaded);
    EXPECT_EQ(objects.stocks.GetBlock(0)->m_nStocks, 1);
    EXPECT_EQ(objects.notices,
              (std::vector<std::string>{
                  "market.csv: UTF-8 text, read as Shift-JIS",
                  "fetchlist.csv: UTF-8 text, read as Shift-JIS",
                  "fetchlist.csv line 2: the symbol \"ABCDEFGHIJKLMNOP\" is longer than 15 bytes; "
                  "the line is not read"}));
}

// Every start removes what killed runs left under temporary names, wherever a run writes: the
// working folder, the work folder and the folders of kept profile pages, the history folders and
// the output folder. A live process's temporary stays.
TEST(StartupLeftovers, EveryStartSweepsTheTemporariesOfEndedRuns) {
    test::ScopedWorkDir dir;
    WriteFileBytes("market.csv", "1,T, 東証1部\n");
    WriteFileBytes("fetchlist.csv", "1301,1301,T,X\r\n");
    CAppSettings settings;
    std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "out");
    ASSERT_TRUE(settings.Save());
    const std::string dead = std::to_string(test::DeadProcessId());
    const std::string alive = std::to_string(static_cast<long>(::getpid()));
    struct Case {
        std::string path;
        bool removed;
    };
    const Case cases[] = {
        {"Tickora.ini.tmp" + dead + "-0", true},
        {"Webtemp/q.html.tmp" + dead + "-1", true},
        {"Webtemp/fundamental/1000/1301.html.part.tmp" + dead + "-2", true},
        {"Webtemp/fundamental/9000/9984.html.part.tmp" + dead + "-3", true},
        {"DATA/1000/KD1301.KDT.tmp" + dead + "-4", true},
        {"out/DS261204.DAT.tmp" + dead + "-5", true},
        {"Webtemp/fundamental/1000/1332.html.part.tmp" + alive + "-6", false},
    };
    for (const Case& c : cases) {
        fs::create_directories(fs::path(c.path).parent_path().empty()
                                   ? fs::path(".")
                                   : fs::path(c.path).parent_path());
        WriteFileBytes(c.path, "left by a killed run");
    }
    StartupObjects objects;
    LoadStartupObjects(objects, SiteHosts{});
    ASSERT_TRUE(objects.marketLoaded);
    for (const Case& c : cases) {
        EXPECT_EQ(fs::exists(c.path), !c.removed) << c.path;
    }
}

}  // namespace
}  // namespace tickora
