// SPDX-License-Identifier: GPL-3.0-or-later
// The list of the core's texts for people holds every text its producers give: a page that cannot
// be used, a transfer of any libcurl error, any HTTP status, a file error, a refusal, a setting
// that cannot be taken, a line start-up cannot read. (The fault matrix holds the jobs' own items,
// causes and actions to it as they run.)
#include "jobs/cause_catalog.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "catalog/app_settings.h"
#include "catalog/clock.h"
#include "catalog/connection_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "catalog/work_lock.h"
#include "files/local_file.h"
#include "formats/atomic_file.h"
#include "formats/partial_marks.h"
#include "jobs/check_outcome.h"
#include "jobs/job_outcome.h"
#include "jobs/job_steps.h"
#include "jobs/output_folder.h"
#include "jobs/startup.h"
#include "pages/number_range.h"
#include "pages/page_check.h"
#include "pages/profile_page.h"
#include "pages/url_fit.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"
#include "web/download.h"
#include "web/transfer_causes.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;

using Texts = std::vector<std::pair<std::string, std::string>>;  // where from, the text

void AddPageTexts(Texts& texts) {
    for (const PageShape shape :
         {PageShape::kNoTable, PageShape::kCutShort, PageShape::kNulInside}) {
        texts.emplace_back("PageShapeCause", PageShapeCause(PageCheck{shape, 1234}));
    }
    for (const int result : {kProfileNoFile, kProfileNotAProfile, kProfileTooLarge,
                             kProfileNotWhole, kProfileNulInside, 99}) {
        texts.emplace_back("ProfileResultText", ProfileResultText(result));
    }
    texts.emplace_back("ProfileCause",
                       ProfileCause(kProfileNoFile, "Webtemp/fundamental/1301.html"));
    CStockRecord stock;
    stock.m_dOpen = 100;
    stock.m_dHigh = 120;
    stock.m_dLow = 90;
    stock.m_dClose = 1e12;
    stock.m_dVolume = 10;
    texts.emplace_back("QuoteNumberFault", QuoteNumberFault(stock));
    const double prices[][5] = {{100, 80, 90, 85, 10},
                                {100, 120, 90, 130, 10},
                                {140, 120, 90, 100, 10},
                                {100, 120, 90, 100, -5}};
    for (const auto& p : prices) {
        stock.m_dOpen = p[0];
        stock.m_dHigh = p[1];
        stock.m_dLow = p[2];
        stock.m_dClose = p[3];
        stock.m_dVolume = p[4];
        texts.emplace_back("QuoteImplausibility", QuoteImplausibility(stock));
    }
}

void AddTransferTexts(Texts& texts) {
    for (int code = 1; code < CURL_LAST; ++code) {
        const auto curlCode = static_cast<CURLcode>(code);
        texts.emplace_back("LibcurlCause", LibcurlCause(curlCode, curl_easy_strerror(curlCode)));
    }
    for (long status = 100; status < 600; ++status) {
        texts.emplace_back("HttpStatusCause", HttpStatusCause(status));
    }
    for (const PageFailure failure :
         {PageFailure::kNone, PageFailure::kHttpStatus, PageFailure::kTransport,
          PageFailure::kTimeout, PageFailure::kTooLarge, PageFailure::kLocalFile,
          PageFailure::kCancelled}) {
        texts.emplace_back("PageFailureName", PageFailureName(failure));
    }
}

void AddFileTexts(Texts& texts) {
    const std::string day = AbsolutePath("DS261204.DAT");
    for (const int error : FileErrorNumbers()) {
        texts.emplace_back("FileCause", FileCause(day, error));
        texts.emplace_back("a file's reason", std::strerror(error));
    }
    texts.emplace_back("DayFileCause", DayFileCause(day, kTooManyVersions));
    fs::create_directories(PartialMarksPathOf("DS261204.DAT"));
    texts.emplace_back("DayFileCause", DayFileCause("DS261204.DAT", ENOSPC));
    texts.emplace_back("OutputFolderRefusal", OutputFolderRefusal(AbsolutePath("out")));
    test::WriteFileBytes("plain", "x");
    CAppSettings settings;
    std::strcpy(settings.m_szOutputDir, "plain/out");
    texts.emplace_back("CreateOutputFolder", CreateOutputFolder(settings));
}

void AddRefusalTexts(Texts& texts) {
    texts.emplace_back("kEmptyListRefusal", kEmptyListRefusal);
    WorkLockResult busy;
    busy.status = WorkLockStatus::kBusy;
    busy.folder = "/w";
    texts.emplace_back("WorkLockResult", busy.Message());
    busy.holderPid = 4242;
    texts.emplace_back("WorkLockResult", busy.Message());
    WorkLockResult error;
    error.folder = "/w";
    error.error = EACCES;
    texts.emplace_back("WorkLockResult", error.Message());
    error.notAFile = true;
    texts.emplace_back("WorkLockResult", error.Message());
    fs::create_symlink("elsewhere.ini", "Tickora.ini");
    texts.emplace_back("IrregularStartupFile", IrregularStartupFile());
    fs::remove("Tickora.ini");
    SiteHosts hosts;
    hosts.quote = hosts.table = hosts.profile = "http://" + std::string(300, 'h');
    const UrlFitResult fit = CheckUrlsFit(hosts, CStockList(), CMarketTable(), Today());
    ASSERT_FALSE(fit.fits);
    std::size_t from = 0;
    while (from < fit.message.size()) {
        const std::size_t end = std::min(fit.message.find('\n', from), fit.message.size());
        texts.emplace_back("CheckUrlsFit", fit.message.substr(from, end - from));
        from = end + 1;
    }
}

void AddSettingsTexts(Texts& texts) {
    for (const ConnectionKeyInfo& info : ConnectionKeys()) {
        for (const char* bad : {"x y", "", "\x01", "99999999999"}) {
            ConnectionLayer layer;
            if (std::string rule = SetFromText(layer, info.key, bad); !rule.empty()) {
                texts.emplace_back("SetFromText", rule);
                // As the dialog and the command line name the value.
                texts.emplace_back("a value",
                                   std::string(info.fileKey) + " " + rule + " (got '" + bad + "')");
            }
        }
    }
    for (const char* url : {"http://a b", "http://a?q=1", "http://a:0", "http://a:", "ftp://a"}) {
        texts.emplace_back("CheckSiteUrl", CheckSiteUrl(url));
    }
    const LayerLoad file = ParseConnectionFile(
        "retries = 99\nsite = 3\nhttp2 = \"sometimes\"\nbogus = 1\n", "/w/connection.toml");
    const LayerLoad broken = ParseConnectionFile("site = \n", "/w/connection.toml");
    for (const LayerLoad* load : {&file, &broken}) {
        for (const std::string& message : load->errors) {
            texts.emplace_back("ParseConnectionFile", message);
        }
    }
    setenv("TICKORA_RETRIES", "many", 1);
    const LayerLoad environment = ConnectionLayerFromEnvironment();
    unsetenv("TICKORA_RETRIES");
    ASSERT_FALSE(environment.errors.empty());
    texts.emplace_back("ConnectionLayerFromEnvironment", environment.errors.front());
    fs::create_directory("folder.toml");
    test::WriteFileBytes("large.toml", std::string(200 * 1024, '#'));
    for (const char* path : {"folder.toml", "large.toml"}) {
        const LayerLoad load = LoadConnectionFile(AbsolutePath(path));
        ASSERT_FALSE(load.errors.empty()) << path;
        texts.emplace_back("LoadConnectionFile", load.errors.front());
    }
    texts.emplace_back("SaveConnectionFile",
                       SaveConnectionFile({}, AbsolutePath("missing/connection.toml")));
}

void AddNoticeTexts(Texts& texts) {
    test::WriteFileBytes("market.csv", "1,T,東証\r\n2,LONGSYMBOL,長い\r\n");
    test::WriteFileBytes("fetchlist.csv",
                         "1301,1301,T,極洋\r\nbroken line\r\n"
                         "9,99999999999,T,x\r\n" +
                             std::string(40, 'S') + ",1302,T,x\r\n");
    test::WriteFileBytes("utf8.csv", "1301,1301,T,極洋\r\n1302,1302,T,\xF0\x9F\x98\x80\r\n");
    std::vector<std::string> notices;
    CMarketTable markets;
    ASSERT_NE(markets.Load("market.csv", &notices), 0);
    CStockList stocks;
    (void)stocks.Load(markets, "http://s", "fetchlist.csv", &notices);
    CStockList utf8;
    (void)utf8.Load(markets, "http://s", "utf8.csv", &notices);
    ASSERT_GE(notices.size(), 5u);
    for (const std::string& notice : notices) {
        texts.emplace_back("a notice of start-up", notice);
    }
}

// What the day's check could not read, and what it did instead, as its outcome names them.
void AddCheckTexts(Texts& texts) {
    CheckResult result;
    result.unread = {{Unread::kList, "market.csv", "cannot be read or holds no market"},
                     {Unread::kDate, "", "the date to check names no day"},
                     {Unread::kDayFile, "DS261204.DAT", "no day file of 2026-12-04"},
                     {Unread::kHistory, "DATA/1000/KD1301.KDT", "cannot be read", 1301}};
    for (const std::size_t stocks : {1u, 2u}) {
        result.withoutHistory.assign(stocks, 1332);
        const JobOutcome outcome = CheckOutcome(result);
        for (const std::string& warning : outcome.warnings) {
            texts.emplace_back("a check's warning", warning);
        }
        for (const ItemFailure& failure : outcome.failures) {
            texts.emplace_back("a check's item", failure.what);
            texts.emplace_back("a check's action", failure.action);
        }
    }
    // The check's own causes, from folders it cannot check.
    CheckInputs nothing;
    for (const UnreadFile& file : CheckDay(nothing).unread) {
        texts.emplace_back("CheckDay without a list", file.cause);
    }
    nothing.date = CalendarDate{2026, 2, 30};
    for (const UnreadFile& file : CheckDay(nothing).unread) {
        texts.emplace_back("CheckDay of no day", file.cause);
    }
}

TEST(CauseCatalog, EveryTextTheProducersGiveIsCatalogued) {
    test::ScopedWorkDir dir;
    Texts texts;
    AddPageTexts(texts);
    AddTransferTexts(texts);
    AddFileTexts(texts);
    ASSERT_NO_FATAL_FAILURE(AddRefusalTexts(texts));
    ASSERT_NO_FATAL_FAILURE(AddSettingsTexts(texts));
    ASSERT_NO_FATAL_FAILURE(AddNoticeTexts(texts));
    AddCheckTexts(texts);
    for (const auto& [source, text] : texts) {
        EXPECT_FALSE(text.empty()) << source;
        EXPECT_TRUE(IsCatalogued(text)) << source << ": " << text;
    }
}

// The list is no net that catches anything: other words, and other words where the system's
// would stand, are not in it.
TEST(CauseCatalog, TextsOfNoProducerAreNotCatalogued) {
    for (const char* text :
         {"the page holds no tables", "/w/DS261204.DAT: the disk is tired", "the disk is tired",
          "HTTP", "HTTP 50x", "page two of 1301", "the proxy 127.0.0.1:1 cannot be reached: meh",
          "retries must be something else"}) {
        EXPECT_FALSE(IsCatalogued(text)) << text;
    }
}

}  // namespace
}  // namespace tickora
