// A history page that answers 200 but is no price table never cuts a stored history short: in
// the one-stock job, in kdt --all and in kdt --all --update, on one connection and on eight,
// the page is a failed page named with its cause, and the stored file stays byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "jobs/tickora_doc.h"
#include "pages/history_page.h"
#include "site/market_model.h"
#include "site/site_server.h"
#include "tests/support/fake_view.h"
#include "tests/support/fault_fixture.h"
#include "web/connections.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

enum class Mode { kOneStock, kAllStocks, kUpdate };

struct NonTableCase {
    const char* name;
    site::FaultKind fault;
    Mode mode;
    int connections;
    const char* cause;
};

void PrintTo(const NonTableCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr const char* kNoTable = "the page holds no history table";

const NonTableCase kNonTableCases[] = {
    {"empty1", site::FaultKind::kEmpty, Mode::kOneStock, 1, kNoTable},
    {"maintenance1", site::FaultKind::kMaintenance, Mode::kOneStock, 1, kNoTable},
    {"garbage1", site::FaultKind::kGarbage, Mode::kOneStock, 1, kNoTable},
    {"noEndTags1", site::FaultKind::kNoEndTags, Mode::kOneStock, 1, kNoTable},
    {"empty8", site::FaultKind::kEmpty, Mode::kOneStock, 8, kNoTable},
    {"maintenance8", site::FaultKind::kMaintenance, Mode::kOneStock, 8, kNoTable},
    {"garbage8", site::FaultKind::kGarbage, Mode::kOneStock, 8, kNoTable},
    {"noEndTags8", site::FaultKind::kNoEndTags, Mode::kOneStock, 8, kNoTable},
    {"allEmpty1", site::FaultKind::kEmpty, Mode::kAllStocks, 1, kNoTable},
    {"allMaintenance1", site::FaultKind::kMaintenance, Mode::kAllStocks, 1, kNoTable},
    {"allGarbage1", site::FaultKind::kGarbage, Mode::kAllStocks, 1, kNoTable},
    {"allNoEndTags1", site::FaultKind::kNoEndTags, Mode::kAllStocks, 1, kNoTable},
    {"allEmpty8", site::FaultKind::kEmpty, Mode::kAllStocks, 8, kNoTable},
    {"allMaintenance8", site::FaultKind::kMaintenance, Mode::kAllStocks, 8, kNoTable},
    {"allGarbage8", site::FaultKind::kGarbage, Mode::kAllStocks, 8, kNoTable},
    {"allNoEndTags8", site::FaultKind::kNoEndTags, Mode::kAllStocks, 8, kNoTable},
    {"updateEmpty1", site::FaultKind::kEmpty, Mode::kUpdate, 1, kNoTable},
    {"updateMaintenance1", site::FaultKind::kMaintenance, Mode::kUpdate, 1, kNoTable},
    {"updateGarbage1", site::FaultKind::kGarbage, Mode::kUpdate, 1, kNoTable},
    {"updateNoEndTags1", site::FaultKind::kNoEndTags, Mode::kUpdate, 1, kNoTable},
    {"updateEmpty8", site::FaultKind::kEmpty, Mode::kUpdate, 8, kNoTable},
    {"updateMaintenance8", site::FaultKind::kMaintenance, Mode::kUpdate, 8, kNoTable},
    {"updateGarbage8", site::FaultKind::kGarbage, Mode::kUpdate, 8, kNoTable},
    {"updateNoEndTags8", site::FaultKind::kNoEndTags, Mode::kUpdate, 8, kNoTable},
    // The same page cut short by the site, or with a NUL in it.
    {"truncated1", site::FaultKind::kTruncated, Mode::kOneStock, 1,
     "the page ends inside its table"},
    {"allNulInside8", site::FaultKind::kNulInside, Mode::kAllStocks, 8,
     "the page holds a NUL byte at offset"},
};

// One simulated market for the whole suite; each row gets its own working folder.
class NonTablePage : public ::testing::TestWithParam<NonTableCase> {
  protected:
    static void SetUpTestSuite() {
        s_site = std::make_unique<site::SiteServer>(
            test::FaultSiteOptions(test::kFaultSiteSeed));
        ASSERT_TRUE(s_site->Start());
        s_model = std::make_unique<site::MarketModel>(
            test::kFaultSiteStocks, test::kFaultSiteSeed,
            site::SiteDate{test::kSiteYear, test::kSiteMonth, test::kSiteDay});
    }
    static void TearDownTestSuite() {
        s_site.reset();
        s_model.reset();
    }

    void SetUp() override {
        SetTodayForTesting(LocalDate{test::kSiteYear, test::kSiteMonth, test::kSiteDay});
        m_access.Site(s_site->Url());
        s_site->ClearFaults();
        // Two stocks with long histories: the faulty one, and one after it that --all goes on to.
        for (const site::Stock& s : s_model->Listing()) {
            if (!s.isIndex && s_model->HistoryLength(s, nullptr) >= 400) {
                (m_victim == nullptr ? m_victim : m_other) = &s;
                if (m_other != nullptr) {
                    break;
                }
            }
        }
        ASSERT_NE(m_other, nullptr);
        WriteFileBytes("fetchlist.csv", m_victim->symbol + "," + std::to_string(m_victim->code) +
                                            ",T,A\r\n" + m_other->symbol + "," +
                                            std::to_string(m_other->code) + ",T,B\r\n");
        ASSERT_EQ(m_list.Load(m_markets, s_site->Url().c_str()), 0);
        CreateWorkFolder();
    }
    void TearDown() override {
        s_site->ClearFaults();
        SetTodayForTesting(std::nullopt);
    }

    JobOutcome Run(const JobOptions& options) {
        m_view.codeOptions = options;
        CTickoraDoc doc(m_settings, m_markets, m_list);
        doc.SetSiteAccess(m_access);
        doc.SetView(&m_view);
        EXPECT_TRUE(doc.OnMakeKdt()) << doc.LastRefusal();
        doc.WaitForJob();
        return doc.LastOutcome();
    }

    static std::unique_ptr<site::SiteServer> s_site;
    static std::unique_ptr<site::MarketModel> s_model;
    test::ScopedWorkDir m_dir;
    const site::Stock* m_victim = nullptr;
    const site::Stock* m_other = nullptr;
    CAppSettings m_settings;
    CMarketTable m_markets;
    CStockList m_list;
    test::FaultView m_view;
    test::AccessForTest m_access;
};

std::unique_ptr<site::SiteServer> NonTablePage::s_site;
std::unique_ptr<site::MarketModel> NonTablePage::s_model;

TEST_P(NonTablePage, IsAFailedPageAndTheStoredHistoryStays) {
    const NonTableCase& c = GetParam();
    const bool all = c.mode != Mode::kOneStock;
    const JobOptions options{static_cast<unsigned>(m_victim->code), 200, all,
                              c.mode == Mode::kUpdate};
    // The stored histories, whole, from a healthy run.
    ASSERT_EQ(ExitStatusOf(Run({options.code, 200, all, false})), kExitDone);
    const std::string path = KdtFileName(m_victim->code, all);
    std::string stored = ReadFileBytes(path);
    ASSERT_EQ(stored.size(), 200u * kKdtRecordSize);
    if (c.mode == Mode::kUpdate) {
        // A close of an older day that the site no longer shows: the update must read the
        // history in full, and so meets page 1.
        stored[10 * kKdtRecordSize + 12] ^= 1;
        WriteFileBytes(path, stored);
    }

    site::Fault fault;
    fault.kind = c.fault;
    fault.bytes = c.fault == site::FaultKind::kGarbage ? 200000u : 0u;
    const CKdtRequest request(m_victim->symbol.c_str(), m_victim->code, 200, s_site->Url());
    s_site->SetFault(std::string(request.GetPageUrl(1)).substr(s_site->Url().size()), fault);
    m_access.Connections(c.connections);
    const JobOutcome r = Run(options);

    EXPECT_EQ(ReadFileBytes(path), stored) << "the stored history was replaced";
    EXPECT_EQ(r.Kept(), std::vector<std::string>{AbsolutePath(path)});
    EXPECT_EQ(ExitStatusOf(r), all ? kExitItemsFailed : kExitEndedEarly);
    ASSERT_EQ(r.failures.size(), 1u);
    // Its second page: people count pages from 1.
    EXPECT_EQ(r.failures[0].what, "page 2 of " + std::to_string(m_victim->code));
    EXPECT_EQ(r.failures[0].where, request.GetPageUrl(1));
    EXPECT_EQ(r.failures[0].cause.rfind(c.cause, 0), 0u) << r.failures[0].cause;
    if (all) {
        // The job goes on to the next stock, whose history is written (or brought up to date).
        EXPECT_EQ(r.itemsDone, 2);
        EXPECT_EQ(r.Written(), std::vector<std::string>{AbsolutePath(KdtFileName(m_other->code,
                                                                                 true))});
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, NonTablePage, ::testing::ValuesIn(kNonTableCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tickora
