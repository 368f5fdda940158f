// SPDX-License-Identifier: GPL-3.0-or-later
// The same seed and date give the same bytes; the shipped tables agree with the site; every
// text survives the trip to EUC-JP and back through the program's own conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "catalog/market_table.h"
#include "site/market_model.h"
#include "site/pages.h"
#include "tests/support/site_test_util.h"

namespace tickora::site::test {
namespace {

SiteOptions Options(std::uint64_t seed, int stocks = 600, int day = 4) {
    return tickora::test::LoopbackSite(stocks, seed, {2026, 12, day});
}

const std::vector<std::string> kTargets = {
    "/q?s=998405+1301+1332.O+1334.N+23337+998407&d=v2",
    "/q?s=998405+1301+1332+1334+5000&d=v3",
    "/l?s=%2a&m=1",
    "/l?s=%2a&m=551",
    "/t?s=998407&a=1&b=1&c=1983&d=12&e=4&f=2026&g=d&q=t&y=100&x=.csv",
};

std::vector<std::string> Bodies(const SiteOptions& options) {
    SiteServer server(options);
    EXPECT_TRUE(server.Start());
    std::vector<std::string> bodies;
    for (const std::string& target : kTargets) {
        bodies.push_back(Get(server, target).body);
    }
    // A profile of a listed stock: the first code of the fetch list after the index rows.
    const std::vector<std::string> lines = Lines(server.FetchListCsv());
    bodies.push_back(Get(server, "/biz/fundamental/" + lines.at(3).substr(0, 4) + ".html").body);
    return bodies;
}

TEST(SiteDeterminism, SameSeedAndDateGiveTheSameBytes) {
    const auto first = Bodies(Options(11));
    const auto second = Bodies(Options(11));
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_GT(first[i].size(), 200u) << i;
        EXPECT_EQ(first[i], second[i]) << i;
    }
}

TEST(SiteDeterminism, TheSeedMovesPricesButNotTheListing) {
    const auto one = Bodies(Options(11));
    const auto other = Bodies(Options(12));
    EXPECT_NE(one[0], other[0]);  // quotes
    EXPECT_NE(one[1], other[1]);  // figures
    EXPECT_EQ(one[2], other[2]);  // listing pages
    EXPECT_EQ(one[3], other[3]);
    EXPECT_NE(one[4], other[4]);  // history
    EXPECT_EQ(one[5], other[5]);  // profile
}

TEST(SiteDeterminism, HistoryUpToADayDoesNotDependOnTheSiteDate) {
    // A stock listed before 1983 has one walk; a later site date only adds days to it.
    MarketModel friday(600, 5, {2026, 12, 4});
    MarketModel monday(600, 5, {2026, 12, 7});
    const Stock* a = friday.FindSymbol("998405");
    const Stock* b = monday.FindSymbol("998405");
    ASSERT_TRUE(a && b);
    const std::vector<DayBar> shorter = friday.History(*a);
    const std::vector<DayBar> longer = monday.History(*b);
    ASSERT_EQ(longer.size(), shorter.size() + 1);
    EXPECT_EQ(longer.back().dayNumber, DayNumber({2026, 12, 7}));
    for (std::size_t i = 0; i < shorter.size(); i += 997) {
        EXPECT_EQ(shorter[i].close, longer[i].close);
        EXPECT_EQ(shorter[i].volume, longer[i].volume);
    }
}

TEST(SiteDeterminism, AWeekendSiteDateQuotesTheFriday) {
    MarketModel sunday(100, 5, {2026, 12, 6});
    EXPECT_EQ(sunday.TradingDay(), DayNumber({2026, 12, 4}));
    const Stock* index = sunday.FindSymbol("998407");
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(QuoteDateText(sunday, *index), "12/4");
}

TEST(SiteDeterminism, ASmallerMarketListsASubsetOfALargerOne) {
    SiteServer small(Options(1, 500));
    SiteServer large(Options(1, 3800));
    const std::vector<std::string> big = Lines(large.FetchListCsv());
    const std::set<std::string> bigSet(big.begin(), big.end());
    const std::vector<std::string> few = Lines(small.FetchListCsv());
    EXPECT_EQ(few.size(), 503u);
    EXPECT_EQ(big.size(), 3803u);
    for (const std::string& line : few) {
        EXPECT_TRUE(bigSet.count(line)) << line;
    }
}

TEST(SiteDeterminism, FetchListIsSortedByCodeWithTheIndexRowsFirst) {
    SiteServer server(Options(1, 3800));
    const std::vector<std::string> lines = Lines(server.FetchListCsv());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 14), "998405,1001,X,");
    EXPECT_EQ(lines[1].substr(0, 13), "23337,1002,X,");
    EXPECT_EQ(lines[2].substr(0, 14), "998407,1010,X,");
    int previous = 0;
    for (const std::string& line : lines) {
        const std::vector<std::string> f = CsvFields(line);
        ASSERT_EQ(f.size(), 4u);
        EXPECT_GT(std::stoi(f[1]), previous);
        previous = std::stoi(f[1]);
        EXPECT_LE(f[3].size(), 31u);  // the fetch list's name field
        EXPECT_LE(line.size(), 126u);
    }
}

TEST(SiteDeterminism, ShippedFetchListMatchesTheSite) {
    SiteServer server(Options(1, 3800));
    const std::string site = server.FetchListCsv();
    const std::string shipped =
        tickora::test::ReadFileBytes(tickora::test::SourcePath("data/fetchlist.csv"));
    ASSERT_GT(shipped.size(), 1000u);
    EXPECT_EQ(site.substr(0, shipped.size()), shipped);
}

TEST(SiteDeterminism, ShippedMarketTableIsTheSitesMarkets) {
    const auto path = tickora::test::SourcePath("data/market.csv");
    const std::string bytes = tickora::test::ReadFileBytes(path);
    const std::vector<std::string> lines = Lines(bytes);
    ASSERT_EQ(lines.size(), SiteMarkets().size());
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'),
              static_cast<long>(SiteMarkets().size()));  // no bare line feeds

    CMarketTable table;
    ASSERT_EQ(table.Load(path.c_str()), 1);
    ASSERT_EQ(table.m_nEntries, static_cast<int>(SiteMarkets().size()));
    bool needsSuffix[2] = {false, false};
    for (int i = 0; i < table.m_nEntries; ++i) {
        const SiteMarket& m = SiteMarkets()[static_cast<std::size_t>(i)];
        const MarketEntry& e = table.m_pEntries[static_cast<std::size_t>(i)];
        EXPECT_EQ(e.m_nNumber, i + 1);  // numbered in line order
        EXPECT_EQ(e.m_nNumber, m.number);
        EXPECT_EQ(std::string(e.m_szSymbol), m.symbol);
        EXPECT_EQ(std::string(e.m_szName), " " + Utf8ToSjis(m.name));  // with its filler byte
        EXPECT_EQ(table.IndexOfName(Utf8ToSjis(m.name).c_str()), i);
        needsSuffix[0] |= m.symbol[0] == 'O';
        needsSuffix[1] |= m.symbol[0] == 'N';
    }
    EXPECT_TRUE(needsSuffix[0] && needsSuffix[1]);
}

TEST(SiteEucJp, EveryJisPairConvertsBackByTheReadersArithmetic) {
    int pairs = 0;
    for (int s1 = 0x81; s1 <= 0xEF; ++s1) {
        if (s1 > 0x9F && s1 < 0xE0) {
            continue;
        }
        for (int s2 = 0x40; s2 <= 0xFC; ++s2) {
            if (s2 == 0x7F) {
                continue;
            }
            const std::string sjis{static_cast<char>(s1), static_cast<char>(s2)};
            const std::string euc = SjisToEuc(sjis);
            ASSERT_EQ(euc.size(), 2u);
            EXPECT_GE(static_cast<unsigned char>(euc[0]), 0xA1);
            EXPECT_GE(static_cast<unsigned char>(euc[1]), 0xA1);
            unsigned char back[2];
            EucPairToSjis(static_cast<unsigned char>(euc[0]), static_cast<unsigned char>(euc[1]),
                          back);
            ASSERT_EQ(back[0], s1) << std::hex << s1 << " " << s2;
            ASSERT_EQ(back[1], s2) << std::hex << s1 << " " << s2;
            ++pairs;
        }
    }
    EXPECT_EQ(pairs, 47 * 188);
    EXPECT_EQ(SjisToEuc("AZ09<>"), "AZ09<>");
}

TEST(SiteEucJp, EveryNameAndProfileTextSurvivesTheRoundTrip) {
    MarketModel model(4997, 1, {2026, 12, 4});
    for (const Stock& s : model.Listing()) {
        for (const std::string* text : {&s.name, &s.feature, &s.business}) {
            const std::string sjis = Utf8ToSjis(*text);
            EXPECT_EQ(sjis.find('?'), std::string::npos) << *text;
            const std::string euc = Utf8ToEuc(*text);
            std::string back(euc.size() + 1, '\0');
            EucToSjis(euc.c_str(), back.data());
            ASSERT_EQ(std::string(back.c_str()), sjis) << *text;
        }
    }
}

TEST(SiteDeterminism, TruthDumpHasOneLinePerListingRow) {
    SiteServer server(Options(3, 300));
    const auto path = std::filesystem::temp_directory_path() / "tickora-truth-shape.csv";
    ASSERT_TRUE(server.DumpTruth(path.string()));
    const std::string bytes = tickora::test::ReadFileBytes(path);
    std::filesystem::remove(path);
    const std::vector<std::string> lines = Lines(bytes);
    ASSERT_EQ(lines.size(), 304u);
    const std::size_t columns = CsvFields(lines[0]).size();
    for (const std::string& line : lines) {
        EXPECT_EQ(CsvFields(line).size(), columns) << line;
    }
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'),
              std::count(bytes.begin(), bytes.end(), '\r'));
    EXPECT_FALSE(server.DumpTruth("/nonexistent-folder/truth.csv"));
}

}  // namespace
}  // namespace tickora::site::test
