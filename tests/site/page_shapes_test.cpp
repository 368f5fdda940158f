// SPDX-License-Identifier: GPL-3.0-or-later
// Every page kind of the site, read the way the program's page readers read it: by their markers
// and cell positions, through the toolkit, and checked against the site's own truth dump.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <set>

#include "catalog/market_table.h"
#include "exchange/trading_calendar.h"
#include "site/market_model.h"
#include "site/pages.h"
#include "tests/support/site_test_util.h"

namespace tickora::site::test {
namespace {

constexpr std::size_t kQuotePageLimit = 153599;
constexpr std::size_t kListingLimit = 10240;

// The site's truth by symbol, each row made when a test first asks for it: a row walks its
// stock's whole history, and a test asks for a few of the 3,800 stocks, in a process of its own.
class LazyTruth {
  public:
    explicit LazyTruth(const MarketModel& model) : m_model(model) {
        for (const Stock& s : model.Listing()) {
            m_rows.emplace(s.symbol, std::nullopt);
        }
    }
    [[nodiscard]] std::size_t size() const { return m_rows.size(); }
    [[nodiscard]] std::size_t count(const std::string& symbol) const {
        return m_rows.count(symbol);
    }
    const TruthRow& at(const std::string& symbol) {
        std::optional<TruthRow>& row = m_rows.at(symbol);
        if (!row) {
            row = TruthOf(m_model, *m_model.FindSymbol(symbol));
        }
        return *row;
    }
    // The listing's stocks in the order of their symbols.
    [[nodiscard]] std::vector<const Stock*> Stocks() const {
        std::vector<const Stock*> stocks;
        for (const auto& [symbol, row] : m_rows) {
            stocks.push_back(m_model.FindSymbol(symbol));
        }
        return stocks;
    }

  private:
    const MarketModel& m_model;
    std::map<std::string, std::optional<TruthRow>> m_rows;
};

class PageShapes : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_server = new SiteServer(tickora::test::LoopbackSite(SiteOptions{}.stocks, 7));
        ASSERT_TRUE(s_server->Start());
        s_truth = new LazyTruth(s_server->Model());
    }
    static void TearDownTestSuite() {
        delete s_truth;
        delete s_server;
    }

    // The first stock by symbol, the index rows aside, whose truth satisfies pred.
    template <typename Pred>
    static const TruthRow* FindTruth(Pred pred) {
        for (const Stock* s : s_truth->Stocks()) {
            if (!s->isIndex && pred(s_truth->at(s->symbol))) {
                return &s_truth->at(s->symbol);
            }
        }
        return nullptr;
    }

    static SiteServer* s_server;
    static LazyTruth* s_truth;
};

SiteServer* PageShapes::s_server = nullptr;
LazyTruth* PageShapes::s_truth = nullptr;

std::string Sjis(const char* utf8) {
    return Utf8ToSjis(utf8);
}

TEST_F(PageShapes, QuotePageHasOneRowPerRequestedSymbolInOrder) {
    ASSERT_GT(s_truth->size(), 3000u);
    const TruthRow* osaka =
        FindTruth([](const TruthRow& r) { return r.at("market_symbol") == "O"; });
    const TruthRow* nagoya =
        FindTruth([](const TruthRow& r) { return r.at("market_symbol") == "N"; });
    const TruthRow* timed =
        FindTruth([](const TruthRow& r) { return r.at("date_cell") == "15:00"; });
    const TruthRow* tokyo =
        FindTruth([](const TruthRow& r) { return r.at("market_symbol") == "T"; });
    ASSERT_TRUE(osaka && nagoya && timed && tokyo);
    std::string unknown;
    for (int code = 1301; unknown.empty(); ++code) {
        if (s_truth->count(std::to_string(code)) == 0) {
            unknown = std::to_string(code);
        }
    }
    const std::vector<std::string> items = {"998405",
                                            osaka->at("symbol") + ".O",
                                            tokyo->at("symbol"),
                                            unknown,
                                            nagoya->at("symbol") + ".N",
                                            timed->at("symbol"),
                                            tokyo->at("symbol")};
    std::string target = "/q?s=";
    for (std::size_t i = 0; i < items.size(); ++i) {
        target += (i ? "+" : "") + items[i];
    }
    const Fetched f = Get(*s_server, target + "&d=v2");
    ASSERT_TRUE(f.ok);
    ASSERT_EQ(f.status, 200);
    ASSERT_LT(f.body.size(), kQuotePageLimit);

    const std::vector<PageRow> rows = RowsOf(f.body);
    ASSERT_EQ(rows.size(), items.size() + 1);
    // The header's first cell matches no symbol, so the reader skips it without using a slot.
    ASSERT_EQ(rows[0].cells.size(), 10u);
    for (const std::string& item : items) {
        EXPECT_NE(rows[0].cells[0], item);
    }
    const std::string noMatch = Sjis("一致する銘柄はありません");
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i]);
        const PageRow& row = rows[i + 1];
        ASSERT_EQ(row.cells.size(), 10u);
        EXPECT_EQ(row.cells[0], items[i]);
        std::string name(row.cells[1].size() + 1, '\0');
        EucToSjis(row.cells[1].c_str(), name.data());
        if (items[i] == unknown) {
            EXPECT_EQ(std::memcmp(name.c_str(), noMatch.c_str(), 12), 0);
            EXPECT_EQ(CellNumber(row.cells[3]), 0.0);
            continue;
        }
        EXPECT_NE(std::memcmp(name.c_str(), noMatch.c_str(), 12), 0);
        std::string symbol = items[i];
        if (symbol.size() > 2 && symbol[symbol.size() - 2] == '.') {
            symbol.resize(symbol.size() - 2);
        }
        const TruthRow& truth = s_truth->at(symbol);
        const std::string& date = row.cells[2];
        if (date.find('/') != std::string::npos) {
            int month = 0;
            int day = 0;
            ASSERT_EQ(std::sscanf(date.c_str(), "%d/%d", &month, &day), 2);
            EXPECT_EQ(std::to_string(month), truth.at("quote_month"));
            EXPECT_EQ(std::to_string(day), truth.at("quote_day"));
        } else {
            EXPECT_EQ(date, "15:00");
            EXPECT_EQ(truth.at("date_cell"), "15:00");
        }
        EXPECT_DOUBLE_EQ(CellNumber(row.cells[3]), TruthNumber(truth, "close"));
        EXPECT_DOUBLE_EQ(CellNumber(row.cells[6]), TruthNumber(truth, "volume"));
        EXPECT_DOUBLE_EQ(CellNumber(row.cells[7]), TruthNumber(truth, "open"));
        EXPECT_DOUBLE_EQ(CellNumber(row.cells[8]), TruthNumber(truth, "high"));
        EXPECT_DOUBLE_EQ(CellNumber(row.cells[9]), TruthNumber(truth, "low"));
        if (TruthNumber(truth, "open") > 0) {
            EXPECT_GE(TruthNumber(truth, "high"),
                      std::max(TruthNumber(truth, "open"), TruthNumber(truth, "close")));
            EXPECT_LE(TruthNumber(truth, "low"),
                      std::min(TruthNumber(truth, "open"), TruthNumber(truth, "close")));
        }
    }
    // The index row always traded on the site's date, a Friday.
    EXPECT_EQ(rows[1].cells[2], "12/4");
}

TEST_F(PageShapes, QuoteOfAStockWithoutTradeShowsItsLastPriceAndDashes) {
    // With 0.4% of stocks idle on a given day, the seeded market of 3,800 has some on its date.
    const TruthRow* idle = FindTruth([](const TruthRow& r) { return r.at("volume") == "0"; });
    ASSERT_NE(idle, nullptr) << "the seeded site has no idle stock on its date";
    const Fetched f = Get(*s_server, "/q?s=" + idle->at("symbol") + "&d=v2");
    const std::vector<PageRow> rows = RowsOf(f.body);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_GT(CellNumber(rows[1].cells[3]), 0.0);
    EXPECT_EQ(rows[1].cells[7], "---");
    EXPECT_EQ(CellNumber(rows[1].cells[7]), 0.0);
    EXPECT_NE(rows[1].cells[2], "12/4");
}

TEST_F(PageShapes, FiguresPageGivesTheFiveFiguresInCellsFiveToNine) {
    std::vector<std::string> symbols;
    for (const Stock* stock : s_truth->Stocks()) {
        if (symbols.size() < 50 && std::to_string(stock->code).size() == 4) {
            symbols.push_back(stock->symbol);
        }
    }
    std::string target = "/q?s=998407";
    for (const std::string& s : symbols) {
        target += "+" + s;
    }
    const Fetched f = Get(*s_server, target + "&d=v3");
    ASSERT_EQ(f.status, 200);
    ASSERT_LT(f.body.size(), 81920u);
    const std::vector<PageRow> rows = RowsOf(f.body);
    ASSERT_EQ(rows.size(), symbols.size() + 2);
    EXPECT_EQ(std::atoi(rows[0].cells[0].c_str()), 0);     // the header is no stock row
    EXPECT_GT(std::atoi(rows[1].cells[0].c_str()), 9999);  // nor is the index row
    int negatives = 0;
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        SCOPED_TRACE(symbols[i]);
        const PageRow& row = rows[i + 2];
        const TruthRow& truth = s_truth->at(symbols[i]);
        ASSERT_EQ(row.cells.size(), 10u);
        EXPECT_EQ(std::atoi(row.cells[0].c_str()), std::stoi(truth.at("code")));
        EXPECT_EQ(static_cast<long long>(FigureNumber(row.cells[5])), std::stoll(truth.at("fig1")));
        EXPECT_DOUBLE_EQ(FigureNumber(row.cells[6]), TruthNumber(truth, "fig2"));
        EXPECT_DOUBLE_EQ(FigureNumber(row.cells[7]), TruthNumber(truth, "fig3"));
        EXPECT_DOUBLE_EQ(FigureNumber(row.cells[8]), TruthNumber(truth, "fig4"));
        EXPECT_DOUBLE_EQ(FigureNumber(row.cells[9]), TruthNumber(truth, "fig5"));
        EXPECT_GT(TruthNumber(truth, "fig1"), 0);
        negatives += TruthNumber(truth, "fig3") < 0 ? 1 : 0;
    }
    EXPECT_GT(negatives, 0);  // falling profits show with their minus sign
}

// A listing name as the fetch-list reader keeps it: EUC-JP to Shift-JIS, "(株)" dropped at the
// front or else at the end, cut at 30 bytes.
std::string ListName(const std::string& euc) {
    std::string sjis(euc.size() + 2, '\0');
    EucToSjis(euc.c_str(), sjis.data());
    sjis.resize(std::strlen(sjis.c_str()));
    const std::string kabu = Sjis("(株)");
    if (sjis.rfind(kabu, 0) == 0) {
        sjis.erase(0, kabu.size());
    } else if (sjis.size() > kabu.size() &&
               sjis.compare(sjis.size() - kabu.size(), kabu.size(), kabu) == 0) {
        sjis.resize(sjis.size() - kabu.size());
    }
    sjis.append(2, '\0');
    (void)CutAtCharBoundary(sjis.data(), 30);
    return sjis.c_str();
}

TEST_F(PageShapes, ListingPagesCarryFiftyRowsEachAndEndWithTheEndOfListRow) {
    std::map<int, std::string> expected;  // code -> "symbol,market,name" from the fetch list
    for (const std::string& line : Lines(s_server->FetchListCsv())) {
        const std::vector<std::string> f = CsvFields(line);
        ASSERT_EQ(f.size(), 4u) << line;
        expected[std::stoi(f[1])] = f[0] + "," + f[3];
    }
    const char* marker = "<tr><td><a href=\"/q?s=";
    std::set<int> seen;
    int endRowPage = -1;
    int page = 0;
    for (; page < 100; ++page) {
        const Fetched f = Get(*s_server, "/l?s=%2a&m=" + std::to_string(50 * page + 1));
        ASSERT_EQ(f.status, 200);
        const std::vector<PageRow> rows = RowsOf(f.body, marker);
        if (rows.empty()) {
            break;
        }
        SCOPED_TRACE(page);
        EXPECT_LE(rows.back().end, kListingLimit);
        const bool last = rows.back().cells.at(0) == "998407";
        EXPECT_TRUE(rows.size() == 50u || last) << rows.size();
        for (const PageRow& row : rows) {
            ASSERT_GE(row.cells.size(), 2u);
            const long v = std::strtol(row.cells[0].c_str(), nullptr, 10);
            int code = static_cast<int>(v);
            if (v == 998405) {
                code = 1001;
            } else if (v == 23337) {
                code = 1002;
            } else if (v == 998407) {
                code = 1010;
                EXPECT_EQ(&row, &rows.back());
                endRowPage = page;
            } else {
                ASSERT_TRUE(v >= 1000 && v <= 9999) << row.cells[0];
            }
            ASSERT_TRUE(expected.count(code)) << code;
            EXPECT_EQ(row.cells[0] + "," + ListName(row.cells[1]), expected[code]);
            EXPECT_TRUE(seen.insert(code).second);
        }
    }
    EXPECT_EQ(seen.size(), expected.size());
    EXPECT_EQ(endRowPage, page - 1);
}

TEST_F(PageShapes, ListingNamesComeWithTheCompanyMarkBeforeAfterOrNone) {
    const Fetched f = Get(*s_server, "/l?s=%2a&m=101");
    int before = 0;
    int after = 0;
    const std::string kabu = "(" + SjisToEuc(Sjis("株")) + ")";
    for (const PageRow& row : RowsOf(f.body, "<tr><td><a href=\"/q?s=")) {
        before += row.cells[1].rfind(kabu, 0) == 0 ? 1 : 0;
        after +=
            row.cells[1].size() > kabu.size() &&
                    row.cells[1].compare(row.cells[1].size() - kabu.size(), kabu.size(), kabu) == 0
                ? 1
                : 0;
    }
    EXPECT_GT(before, 5);
    EXPECT_GT(after, 5);
}

TEST_F(PageShapes, HistoryPagesRunNewestFirstFiftyTradingDaysAPage) {
    const TruthRow* stock = FindTruth([](const TruthRow& r) {
        return r.at("first_day") == "1983-01-04" && r.at("volume") != "0";
    });
    ASSERT_NE(stock, nullptr);
    int previous = DayNumber({2026, 12, 5});
    for (int page = 0; page < 3; ++page) {
        const std::vector<HistoryDay> days =
            HistoryPageDays(*s_server, stock->at("symbol"), 50 * page);
        ASSERT_EQ(days.size(), 50u);
        for (const HistoryDay& d : days) {
            // Every trading day, one after another: a day without trades is a row at the close
            // before it, without volume.
            EXPECT_EQ(DayOf(d), PreviousTradingDay(previous));
            EXPECT_GE(d.high, std::max(d.open, d.close));
            EXPECT_LE(d.low, std::min(d.open, d.close));
            EXPECT_GE(d.volume, 0);
            if (d.volume == 0) {
                EXPECT_TRUE(d.open == d.close && d.high == d.close && d.low == d.close);
            }
            previous = DayOf(d);
        }
        if (page == 0) {
            EXPECT_EQ(DayOf(days[0]), DayNumber({2026, 12, 4}));
            EXPECT_EQ(days[0].close, static_cast<int>(TruthNumber(*stock, "close")));
            EXPECT_EQ(days[0].open, static_cast<int>(TruthNumber(*stock, "open")));
        }
    }
    // The end of the range in the request bounds the table.
    const std::vector<HistoryDay> earlier =
        HistoryPageDays(*s_server, stock->at("symbol"), 0, "d=11&e=29&f=2026");
    ASSERT_FALSE(earlier.empty());
    EXPECT_LE(DayOf(earlier[0]), DayNumber({2026, 11, 27}));
}

TEST_F(PageShapes, ShortHistoryEndsWithAPageWithoutDays) {
    const TruthRow* young = FindTruth([](const TruthRow& r) {
        return std::stoi(r.at("history_days")) < 200 && std::stoi(r.at("history_days")) > 50;
    });
    ASSERT_NE(young, nullptr);
    const int total = std::stoi(young->at("history_days"));
    int read = 0;
    int page = 0;
    HistoryDay oldest;
    for (;; ++page) {
        const std::vector<HistoryDay> days =
            HistoryPageDays(*s_server, young->at("symbol"), 50 * page);
        if (days.empty()) {
            break;
        }
        read += static_cast<int>(days.size());
        oldest = days.back();
    }
    EXPECT_EQ(read, total);
    EXPECT_EQ(page, (total + 49) / 50);
    char first[16];
    std::snprintf(first, sizeof first, "%04d-%02d-%02d", oldest.year, oldest.month, oldest.day);
    EXPECT_EQ(first, young->at("first_day"));
}

TEST_F(PageShapes, HistoryOfAnUnknownSymbolHasNoDay) {
    EXPECT_TRUE(HistoryPageDays(*s_server, "", 0).empty());
    EXPECT_TRUE(HistoryPageDays(*s_server, "1", 0).empty());
}

// Text between marker and the next "</TD>" of a Shift-JIS page; nullopt when either is missing.
std::optional<std::string> AfterMarker(const std::string& page, const char* utf8Marker) {
    const std::string marker = Sjis(utf8Marker);
    const int a = FindText(page.c_str(), marker.c_str());
    if (a == 0) {
        return std::nullopt;
    }
    const char* p = page.c_str() + a - 1 + marker.size();
    const int n = FindText(p, "</TD>");
    if (n == 0) {
        return std::nullopt;
    }
    return std::string(p, static_cast<std::size_t>(n - 1));
}

TEST_F(PageShapes, ProfilePagesCarryTheFourMarkersClosedByUpperCaseEndTags) {
    CMarketTable markets;
    ASSERT_EQ(markets.Load(tickora::test::SourcePath("data/market.csv").c_str()), 1);
    int checked = 0;
    int funds = 0;
    int dual = 0;
    int index = 0;
    for (const Stock* stock : s_truth->Stocks()) {
        const int code = stock->code;
        if (code == 1001 || code == 1002 || code == 1010 ||
            (index++ % 17 != 0 && !stock->fundsMarker)) {
            continue;
        }
        const TruthRow& truth = s_truth->at(stock->symbol);
        SCOPED_TRACE(code);
        char path[64];
        std::snprintf(path, sizeof path, "/biz/fundamental/%04d.html", code);
        const Fetched f = Get(*s_server, path);
        ASSERT_EQ(f.status, 200);
        std::string page(f.body.size() + 1, '\0');
        EucToSjis(f.body.c_str(), page.data());
        page.resize(std::strlen(page.c_str()));

        const auto industry = AfterMarker(page, "【業種分類】");
        const auto market = AfterMarker(page, "【市場名】");
        const auto feature = AfterMarker(page, "【特色】");
        ASSERT_TRUE(industry && market && feature);
        EXPECT_EQ(SjisToUtf8(*industry), truth.at("industry_name"));
        EXPECT_EQ(markets.GetNumber(markets.IndexOfName(market->c_str())),
                  std::stoi(truth.at("market_number")));
        EXPECT_EQ(SjisToUtf8(*feature), truth.at("feature"));
        const auto business = AfterMarker(page, "事業】");
        if (truth.at("funds_marker") == "1") {
            EXPECT_TRUE(!business || business->empty());
            const auto fundsText = AfterMarker(page, "資金】");
            ASSERT_TRUE(fundsText);
            EXPECT_EQ(SjisToUtf8(*fundsText), truth.at("business"));
            ++funds;
        } else {
            ASSERT_TRUE(business);
            EXPECT_EQ(SjisToUtf8(*business), truth.at("business"));
            EXPECT_FALSE(business->empty());
        }
        dual += market->find(',') != std::string::npos ? 1 : 0;
        ++checked;
    }
    EXPECT_GT(checked, 200);
    EXPECT_GT(funds, 10);
    EXPECT_GT(dual, 0);  // a second market after a comma still resolves to the first
}

TEST_F(PageShapes, ProfileOfACodeNobodyHoldsIsNotFound) {
    EXPECT_EQ(Get(*s_server, "/biz/fundamental/1003.html").status, 404);
    EXPECT_EQ(Get(*s_server, "/biz/fundamental/0042.html").status, 404);
    // The index rows have pages of their own.
    EXPECT_EQ(Get(*s_server, "/biz/fundamental/1001.html").status, 200);
    EXPECT_EQ(Get(*s_server, "/biz/fundamental/13x1.html").status, 404);
    EXPECT_EQ(Get(*s_server, "/nothing-here").status, 404);
}

TEST_F(PageShapes, SomeFeatureTextsRunPastWhatTheDictionaryKeeps) {
    int longOnes = 0;
    for (const Stock& stock : s_server->Model().Listing()) {
        longOnes += Utf8ToSjis(stock.feature).size() > 254 ? 1 : 0;
    }
    EXPECT_GT(longOnes, 0);
}

}  // namespace
}  // namespace tickora::site::test
