// SPDX-License-Identifier: GPL-3.0-or-later
// Each of the five jobs against each fault of one page of the site: the job ends, ends the way
// its rules say and says so in its outcome (the exit status, the failed page named with its
// cause and URL), writes its output from what it could read or keeps the stored one, never reads
// a page an earlier run left behind, and leaves every file it does not own as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cli/runner.h"
#include "jobs/cause_catalog.h"
#include "jobs/job_steps.h"
#include "pages/history_page.h"
#include "pages/list_pages.h"
#include "pages/profile_page.h"
#include "site/market_model.h"
#include "site/pages.h"
#include "tests/support/dictionary_reader.h"
#include "tests/support/fault_fixture.h"
#include "tests/support/kdt_test_pages.h"
#include "tests/support/page_builder.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::kFaultSiteStocks;
using test::ReadFileBytes;
using test::WriteFileBytes;
using Truth = std::map<std::string, std::string>;

using test::Job;
using test::JobName;

// What the faulty answer leaves the job with.
enum class Effect {
    kNoPage,         // the exchange completes but brings no usable page
    kDownloadFails,  // the transfer breaks off: the download reports failure
    kWholePage,      // a complete page arrives, only oversized
};

// What a job's outcome says of the faulty page: its exit status, and the cause its one failure
// gives ("" when no item fails; nullptr for a broken transfer, whose cause is libcurl's words).
struct Said {
    int exit;
    const char* cause;
};

constexpr int kOk = kExitDone;
constexpr int kEnds = kExitEndedEarly;  // the failure ends the job
constexpr int kFails = kExitItemsFailed;
const char* const kNoQuotes = "the page holds no quote rows";
const char* const kNoFigures = "the page holds no figures rows";
const char* const kNoListing = "the page holds no listing rows";
const char* const kNoHistory = "the page holds no history table";
const char* const kNotProfile = "not a profile page";
const char* const kNotWhole = "the page ends inside its table";
const char* const kNul = "the page holds a NUL byte";
const char* const kNulAt = "the page holds a NUL byte at offset ";  // and the offset follows

struct FaultCase {
    const char* name;
    site::FaultKind kind;
    int status;
    Effect effect;
    bool bodyArrives;  // a complete 200 answer: a file is there to be read
    // What each job says, in the order fetch, fetchlist, kdt, profiles, performance.
    std::array<Said, 5> said;
    // With retries: how many requests the fault hits (-1 = all), the retries allowed, and how
    // often the faulty page is then asked for.
    int times = -1;
    int retries = 0;
    int faultyRequests = 1;
    int retryAfterSeconds = -1;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

// clang-format off
const FaultCase kFaults[] = {
    {"none", site::FaultKind::kNone, 200, Effect::kWholePage, true,
     {{{kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}}}},
    {"status404", site::FaultKind::kStatus, 404, Effect::kNoPage, false,
     {{{kFails, "HTTP 404"}, {kFails, "HTTP 404"}, {kEnds, "HTTP 404"},
       {kFails, "HTTP 404"}, {kFails, "HTTP 404"}}}},
    {"status500", site::FaultKind::kStatus, 500, Effect::kNoPage, false,
     {{{kFails, "HTTP 500"}, {kFails, "HTTP 500"}, {kEnds, "HTTP 500"},
       {kFails, "HTTP 500"}, {kFails, "HTTP 500"}}}},
    {"cut", site::FaultKind::kCut, 200, Effect::kDownloadFails, false,
     {{{kEnds, nullptr}, {kEnds, nullptr}, {kEnds, nullptr}, {kFails, nullptr}, {kEnds, nullptr}}}},
    {"stall", site::FaultKind::kStall, 200, Effect::kDownloadFails, false,
     {{{kEnds, nullptr}, {kEnds, nullptr}, {kEnds, nullptr}, {kFails, nullptr}, {kEnds, nullptr}}}},
    {"empty", site::FaultKind::kEmpty, 200, Effect::kNoPage, true,
     {{{kFails, kNoQuotes}, {kFails, kNoListing}, {kEnds, kNoHistory},
       {kFails, kNotProfile}, {kFails, kNoFigures}}}},
    {"garbage", site::FaultKind::kGarbage, 200, Effect::kNoPage, true,
     {{{kFails, kNoQuotes}, {kFails, kNoListing}, {kEnds, kNoHistory},
       {kFails, kNotProfile}, {kFails, kNoFigures}}}},
    {"huge", site::FaultKind::kHuge, 200, Effect::kWholePage, true,
     {{{kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}}}},
    {"noEndTags", site::FaultKind::kNoEndTags, 200, Effect::kNoPage, true,
     {{{kFails, kNoQuotes}, {kFails, kNoListing}, {kEnds, kNoHistory},
       {kFails, kNotWhole}, {kFails, kNoFigures}}}},
    // Followed 20 times, then given up: 21 requests of the faulty page.
    {"redirectLoop", site::FaultKind::kRedirectLoop, 302, Effect::kDownloadFails, false,
     {{{kEnds, nullptr}, {kEnds, nullptr}, {kEnds, nullptr},
       {kFails, nullptr}, {kEnds, nullptr}}}, -1, 0, 21},
    {"maintenance", site::FaultKind::kMaintenance, 200, Effect::kNoPage, true,
     {{{kFails, kNoQuotes}, {kFails, kNoListing}, {kEnds, kNoHistory},
       {kFails, kNotProfile}, {kFails, kNoFigures}}}},
    // Half the page, its Content-Length saying so: the transfer is whole, the page is not.
    {"truncated", site::FaultKind::kTruncated, 200, Effect::kNoPage, true,
     {{{kFails, kNotWhole}, {kFails, kNotWhole}, {kEnds, kNotWhole},
       {kFails, kNotWhole}, {kFails, kNotWhole}}}},
    {"nulInside", site::FaultKind::kNulInside, 200, Effect::kNoPage, true,
     {{{kFails, kNulAt}, {kFails, kNulAt}, {kEnds, kNulAt}, {kFails, kNul}, {kFails, kNulAt}}}},
};
// clang-format on

site::Fault MakeFault(const FaultCase& c) {
    site::Fault fault;
    fault.kind = c.kind;
    fault.status = c.status;
    // Garbage longer than any page buffer, and a huge page of 10 MB; a page truncated or
    // holding a NUL in its middle.
    fault.bytes = c.kind == site::FaultKind::kHuge        ? 10u * 1024u * 1024u
                  : c.kind == site::FaultKind::kTruncated ? 0u
                  : c.kind == site::FaultKind::kNulInside ? 0u
                                                          : 200000u;
    // Far beyond the test's stall time-out; stopping the site wakes it.
    fault.stall = std::chrono::seconds(30);
    fault.times = c.times;
    fault.retryAfterSeconds = c.retryAfterSeconds;
    return fault;
}

// A site that fails for a moment, under the optional retries of unattended runs: a fault that
// passes before the retries run out must leave no trace, one that lasts must end the job just
// as without retries, and a 404 is an answer, not a fault to repeat.
// clang-format off
const FaultCase kRetryFaults[] = {
    {"status500Once", site::FaultKind::kStatus, 500, Effect::kWholePage, false,
     {{{kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}}}, 1, 2, 2},
    {"status429Once", site::FaultKind::kStatus, 429, Effect::kWholePage, false,
     {{{kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}}}, 1, 2, 2, 1},
    {"cutOnce", site::FaultKind::kCut, 200, Effect::kWholePage, false,
     {{{kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}}}, 1, 2, 2},
    {"stallOnce", site::FaultKind::kStall, 200, Effect::kWholePage, false,
     {{{kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}, {kOk, ""}}}, 1, 2, 2},
    {"status500Always", site::FaultKind::kStatus, 500, Effect::kNoPage, false,
     {{{kFails, "HTTP 500"}, {kFails, "HTTP 500"}, {kEnds, "HTTP 500"},
       {kFails, "HTTP 500"}, {kFails, "HTTP 500"}}}, -1, 2, 3},
    {"cutAlways", site::FaultKind::kCut, 200, Effect::kDownloadFails, false,
     {{{kEnds, nullptr}, {kEnds, nullptr}, {kEnds, nullptr},
       {kFails, nullptr}, {kEnds, nullptr}}}, -1, 2, 3},
    {"status404", site::FaultKind::kStatus, 404, Effect::kNoPage, false,
     {{{kFails, "HTTP 404"}, {kFails, "HTTP 404"}, {kEnds, "HTTP 404"},
       {kFails, "HTTP 404"}, {kFails, "HTTP 404"}}}, -1, 2, 1},
};
// clang-format on

// The last n comma-separated fields of a line (a name may hold commas, numbers do not).
std::vector<std::string> LastFields(const std::string& line, int n) {
    std::vector<std::string> fields;
    size_t end = line.size();
    for (int i = 0; i < n; ++i) {
        if (end == 0) {
            return {};
        }
        const size_t comma = line.rfind(',', end - 1);
        if (comma == std::string::npos) {
            return {};
        }
        fields.insert(fields.begin(), line.substr(comma + 1, end - comma - 1));
        end = comma;
    }
    return fields;
}

double Number(const Truth& t, const char* column) {
    return std::atof(t.at(column).c_str());
}

const Said& SaidOf(Job job, const FaultCase& c) {
    return c.said[static_cast<std::size_t>(job)];
}

// The faulty page as the outcome must name it.
struct FaultyPage {
    std::string what;
    std::string url;
    std::vector<int> codes;
};

std::string Describe(const std::vector<ItemFailure>& failures) {
    std::string text;
    for (const ItemFailure& f : failures) {
        text += f.what + ": " + f.cause + "; ";
    }
    return text;
}

// Every text the outcome hands a person is one the core lists for the front-ends to put in their
// own words.
void ExpectCatalogued(const JobOutcome& r) {
    for (const ItemFailure& f : r.failures) {
        EXPECT_TRUE(IsCatalogued(f.what)) << f.what;
        EXPECT_TRUE(IsCatalogued(f.cause)) << f.cause;
        EXPECT_TRUE(IsCatalogued(f.action)) << f.action;
    }
    for (const OutputFile& file : r.files) {
        EXPECT_TRUE(file.reason.empty() || IsCatalogued(file.reason)) << file.reason;
    }
    EXPECT_TRUE(r.endCause.empty() || IsCatalogued(r.endCause)) << r.endCause;
}

// The outcome of a cell: its exit status, and the faulty page as its one failure (or none).
void ExpectOutcome(const JobOutcome& r, Job job, const FaultCase& c, const FaultyPage& page) {
    ExpectCatalogued(r);
    const Said& said = SaidOf(job, c);
    const bool ends = said.exit == kEnds;
    EXPECT_EQ(ExitStatusOf(r), said.exit);
    EXPECT_EQ(r.Stopped(), ends);
    EXPECT_FALSE(r.Cancelled());
    if (said.exit == kOk) {
        EXPECT_TRUE(r.failures.empty()) << Describe(r.failures);
        return;
    }
    ASSERT_EQ(r.failures.size(), 1u) << Describe(r.failures);
    const ItemFailure& f = r.failures[0];
    EXPECT_EQ(f.what, page.what);
    EXPECT_EQ(f.where, page.url);
    EXPECT_EQ(f.codes, page.codes);
    EXPECT_EQ(f.endedJob, ends);
    EXPECT_FALSE(f.action.empty());
    if (said.cause == nullptr) {
        EXPECT_FALSE(f.cause.empty());
        EXPECT_NE(f.cause.rfind("HTTP ", 0), 0u) << f.cause;
    } else if (said.cause == kNulAt) {
        EXPECT_EQ(f.cause.rfind(said.cause, 0), 0u) << f.cause;
        EXPECT_GT(f.cause.size(), std::strlen(kNulAt)) << f.cause;
    } else {
        EXPECT_EQ(f.cause, said.cause);
    }
}

// What `--json` prints for the outcome, parsed back, says the same.
void ExpectJsonSays(const JobOutcome& r) {
    const nlohmann::json j = nlohmann::json::parse(cli::FormatJson(r));
    EXPECT_EQ(j.at("job"), r.job);
    EXPECT_EQ(j.at("exitStatus"), ExitStatusOf(r));
    EXPECT_EQ(j.at("unit"), r.unit);
    EXPECT_EQ(j.at("itemsDone"), r.itemsDone);
    EXPECT_EQ(j.at("itemsTotal"), r.itemsTotal);
    ASSERT_EQ(j.at("failures").size(), r.failures.size());
    for (size_t i = 0; i < r.failures.size(); ++i) {
        const nlohmann::json& f = j.at("failures")[i];
        EXPECT_EQ(f.at("where"), r.failures[i].where);
        EXPECT_EQ(f.at("cause"), r.failures[i].cause);
        EXPECT_EQ(f.at("endedJob"), r.failures[i].endedJob);
        EXPECT_EQ(f.at("codes").get<std::vector<int>>(), r.failures[i].codes);
    }
    ASSERT_EQ(j.at("files").size(), r.files.size());
    for (size_t i = 0; i < r.files.size(); ++i) {
        EXPECT_EQ(j.at("files")[i].at("path"), r.files[i].path);
    }
}

using MatrixParam = std::tuple<Job, FaultCase>;

class FaultMatrix : public test::FaultSiteTest, public ::testing::WithParamInterface<MatrixParam> {
  protected:
    // The quote blocks (or listing pages) whose pages the job read whole: the faulty page is
    // number 1 of three.
    static std::vector<int> ItemsRead(Effect effect) {
        switch (effect) {
            case Effect::kNoPage:
                return {0, 2};
            case Effect::kDownloadFails:
                return {0};
            case Effect::kWholePage:
                return {0, 1, 2};
        }
        return {};
    }
    // Requests of the job's kind of page: one per item reached, more for a retried page.
    static int ItemsRequested(const FaultCase& c) {
        return (c.effect == Effect::kDownloadFails ? 2 : 3) + c.faultyRequests - 1;
    }
    // The stocks of the blocks a quote or figures job walked.
    [[nodiscard]] int StocksWalked(Effect effect) const {
        const int blocks = effect == Effect::kDownloadFails ? 1 : 3;
        int stocks = 0;
        for (int b = 0; b < blocks; ++b) {
            stocks += list.GetBlock(b)->m_nStocks;
        }
        return stocks;
    }
    void SetUp() override {
        test::FaultSiteTest::SetUp();
        RetryPolicy policy;
        policy.retries = std::get<1>(GetParam()).retries;
        policy.backoffBaseMs = 10;
        doc.SetSiteAccess(access.Retry(policy));
    }

    void CheckFetch(const FaultCase& c);
    void CheckPerformance(const FaultCase& c);
    void CheckFetchList(const FaultCase& c);
    void CheckKdt(const FaultCase& c);
    void CheckProfiles(const FaultCase& c);
};

void FaultMatrix::CheckFetch(const FaultCase& c) {
    // Yesterday's page of block 1, with other prices, is still in the block's work file.
    const std::string target = TargetOf(list.GetQuoteUrl(1));
    ASSERT_EQ(
        test::DownloadAlone(access, (staleServer.Url() + target).c_str(), list.GetPagePath(1)), 0);
    ASSERT_GT(fs::file_size(list.GetPagePath(1)), 0u);
    server.SetFault(target, MakeFault(c));

    ASSERT_TRUE(RunBounded([this] { return doc.OnFetch(); }));
    ExpectIdle();
    const JobOutcome r = doc.LastOutcome();
    ExpectOutcome(r, Job::kFetch, c,
                  {"50 stocks of block 1", list.GetQuoteUrl(1), CodesOf(*list.GetBlock(1))});
    EXPECT_EQ(r.itemsDone, StocksWalked(c.effect));
    EXPECT_EQ(r.itemsTotal, kFaultSiteStocks + 3);
    EXPECT_EQ(test::CountRequests(server, "/q?"), ItemsRequested(c));

    // The daily file holds exactly the stocks of the blocks read, at the site's prices.
    std::set<int> expected;
    for (const int b : ItemsRead(c.effect)) {
        const CQuoteBlock& block = *list.GetBlock(b);
        for (int i = 0; i < block.m_nStocks; ++i) {
            if (Number(TruthOf(block.m_aStocks[i].m_nCode), "close") > 0) {
                expected.insert(block.m_aStocks[i].m_nCode);
            }
        }
    }
    ASSERT_EQ(r.Written().size(), 1u);
    EXPECT_EQ(r.Written()[0], AbsolutePath("out/DS261204.DAT"));
    const std::vector<std::string> lines = test::Lines(ReadFileBytes(r.Written()[0]));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], std::to_string(lines.size() - 2) + ",0");
    std::set<int> written;
    for (size_t i = 2; i < lines.size(); ++i) {
        const int code = std::atoi(lines[i].c_str());
        written.insert(code);
        const std::vector<std::string> prices = LastFields(lines[i], 5);
        ASSERT_EQ(prices.size(), 5u) << lines[i];
        if (truthByCode.count(code) != 0) {
            // Without the decimals setting a price is written as its whole part.
            const double close = Number(TruthOf(code), "close");
            const bool decimals = prices[3].find('.') != std::string::npos;
            EXPECT_NEAR(std::atof(prices[3].c_str()), decimals ? close : std::trunc(close), 0.006)
                << "a close that is not today's: " << lines[i];
        }
    }
    EXPECT_EQ(written, expected);
    // The counters: every stock of a block that was walked and not extracted counts as failed;
    // none is logged, since no row of the faulty page reached a slot.
    EXPECT_EQ(r.extracted, static_cast<int>(expected.size()));
    EXPECT_EQ(r.notExtracted, StocksWalked(c.effect) - r.extracted);
    EXPECT_TRUE(r.notExtractedCodes.empty());
    ExpectProtectedFilesKept({});
    EXPECT_EQ(ReadFileBytes(kErrorLog), "page=9 code=1 name=old\r\n");
}

void FaultMatrix::CheckPerformance(const FaultCase& c) {
    // Figures of an earlier day for block 1 lie in its work file.
    const std::string target = TargetOf(list.GetFiguresUrl(1));
    ASSERT_EQ(
        test::DownloadAlone(access, (staleServer.Url() + target).c_str(), list.GetPagePath(1)), 0);
    ASSERT_GT(fs::file_size(list.GetPagePath(1)), 0u);
    server.SetFault(target, MakeFault(c));

    ASSERT_TRUE(RunBounded([this] { return doc.OnGetPerformance(); }));
    ExpectIdle();
    const JobOutcome r = doc.LastOutcome();
    ExpectOutcome(r, Job::kPerformance, c,
                  {"50 stocks of block 1", list.GetFiguresUrl(1), CodesOf(*list.GetBlock(1))});
    EXPECT_EQ(r.itemsDone, StocksWalked(c.effect));
    EXPECT_EQ(test::CountRequests(server, "/q?"), ItemsRequested(c));

    std::set<int> expected;
    for (const int b : ItemsRead(c.effect)) {
        const CQuoteBlock& block = *list.GetBlock(b);
        for (int i = 0; i < block.m_nStocks; ++i) {
            const Truth& t = TruthOf(block.m_aStocks[i].m_nCode);
            const int code = block.m_aStocks[i].m_nCode;
            if (code >= 1000 && code <= 9999 &&
                (Number(t, "fig1") > 0 || Number(t, "fig2") > 0 || Number(t, "fig4") > 0)) {
                expected.insert(code);
            }
        }
    }
    EXPECT_EQ(r.extracted, static_cast<int>(expected.size()));
    ASSERT_EQ(r.Written().size(), 1u);
    const std::vector<std::string> lines = test::Lines(ReadFileBytes(r.Written()[0]));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], std::to_string(expected.size()));
    std::set<int> written;
    const char* columns[5] = {"fig1", "fig2", "fig3", "fig4", "fig5"};
    for (size_t i = 2; i < lines.size(); ++i) {
        const int code = std::atoi(lines[i].c_str());
        written.insert(code);
        const std::vector<std::string> figures = LastFields(lines[i], 5);
        ASSERT_EQ(figures.size(), 5u) << lines[i];
        for (int f = 0; f < 5 && truthByCode.count(code) != 0; ++f) {
            EXPECT_NEAR(std::atof(figures[static_cast<size_t>(f)].c_str()),
                        Number(TruthOf(code), columns[f]), 0.006)
                << "figures that are not today's: " << lines[i];
        }
    }
    EXPECT_EQ(written, expected);
    ExpectProtectedFilesKept({});
}

void FaultMatrix::CheckFetchList(const FaultCase& c) {
    CListPages pages(server.Url());
    // An earlier run's page 1 names a stock the site does not list.
    WriteFileBytes(pages.GetPagePath(1), test::ListPage({test::ListRow("9990", "STALE")}));
    const std::string target = TargetOf(pages.GetPageUrl(1));
    server.SetFault(target, MakeFault(c));

    ASSERT_TRUE(RunBounded([this] { return doc.OnMakeFetchList(); }));
    ExpectIdle();
    const JobOutcome r = doc.LastOutcome();
    ExpectOutcome(r, Job::kFetchList, c, {"listing page 2", pages.GetPageUrl(1), {}});
    EXPECT_EQ(r.itemsDone, c.effect == Effect::kDownloadFails ? 1 : 3);
    EXPECT_EQ(test::CountRequests(server, "/l?"), ItemsRequested(c));

    // Only a listing read whole, every page of it answered 200, replaces the list.
    if (SaidOf(Job::kFetchList, c).exit != kOk) {
        EXPECT_EQ(r.Kept(), std::vector<std::string>{AbsolutePath("fetchlist.csv")});
        EXPECT_TRUE(r.Written().empty());
        ExpectProtectedFilesKept({});
        return;
    }
    // Listing rows are numbered in listing order; page p holds rows 50p+1 to 50p+50. The list
    // written is sorted by code, so each line is placed by its code.
    const std::vector<int> read = ItemsRead(c.effect);
    std::map<int, int> pageOfCode;
    for (size_t i = 0; i < truth.size(); ++i) {
        pageOfCode[std::stoi(truth[i].at("code"))] = static_cast<int>(i / 50);
    }
    std::string expected;
    for (const std::string& line : test::Lines(siteList)) {
        const int code = std::atoi(line.substr(line.find(',') + 1).c_str());
        if (std::find(read.begin(), read.end(), pageOfCode.at(code)) != read.end()) {
            expected += line + "\r\n";
        }
    }
    EXPECT_EQ(r.Written(), std::vector<std::string>{AbsolutePath("fetchlist.csv")});
    const std::string written = ReadFileBytes("fetchlist.csv");
    EXPECT_EQ(written, expected);
    EXPECT_EQ(written.find("STALE"), std::string::npos);
    EXPECT_EQ(ReadFileBytes("fetchlist.bak"), siteList);
    ExpectProtectedFilesKept({"fetchlist.csv", "fetchlist.bak"});
}

void FaultMatrix::CheckKdt(const FaultCase& c) {
    const std::vector<const site::Stock*> longStocks = LongHistoryStocks();
    ASSERT_GE(longStocks.size(), 2u);
    const site::Stock& stock = *longStocks[0];
    const site::Stock& other = *longStocks[1];
    constexpr int kDays = 200;  // four pages; the fault is on the second

    // Another stock's second page was left in the work file by an earlier run, and the stock
    // has a stored history.
    const CKdtRequest mine(stock.symbol.c_str(), stock.code, kDays, server.Url());
    const CKdtRequest theirs(other.symbol.c_str(), other.code, kDays, server.Url());
    ASSERT_EQ(mine.m_nPages, 4);
    ASSERT_EQ(test::DownloadAlone(access, theirs.GetPageUrl(1), mine.GetPagePath(1)), 0);
    ASSERT_GT(fs::file_size(mine.GetPagePath(1)), 0u);
    const std::string path = KdtFileName(stock.code, false);
    const std::string stored = test::KdtRecordBytes(2026, 11, 30, 900, 40);
    WriteFileBytes(path, stored);
    server.ClearRequests();
    server.SetFault(TargetOf(mine.GetPageUrl(1)), MakeFault(c));

    view.codeOptions = {static_cast<unsigned>(stock.code), kDays, false};
    ASSERT_TRUE(RunBounded([this] { return doc.OnMakeKdt(); }));
    ExpectIdle();
    const JobOutcome r = doc.LastOutcome();
    ExpectOutcome(r, Job::kKdt, c,
                  {"page 2 of " + std::to_string(stock.code), mine.GetPageUrl(1), {stock.code}});
    EXPECT_EQ(r.unit, "pages");
    EXPECT_EQ(r.itemsTotal, 4);
    EXPECT_EQ(r.itemsDone, c.effect == Effect::kWholePage ? 4 : 1);
    EXPECT_EQ(test::CountRequests(server, "/t?"),
              (c.effect == Effect::kWholePage ? 4 : 2) + c.faultyRequests - 1);
    ExpectProtectedFilesKept({});

    // A history cut short by a failed page never replaces the stored one.
    if (SaidOf(Job::kKdt, c).exit != kOk) {
        EXPECT_EQ(r.Kept(), std::vector<std::string>{AbsolutePath(path)});
        EXPECT_TRUE(r.Written().empty());
        EXPECT_EQ(ReadFileBytes(path), stored);
        return;
    }
    // Otherwise the file holds the days of the pages read up to the history's end, oldest
    // first, exactly as the site's table showed them.
    const int days = c.effect == Effect::kWholePage ? kDays : 50;
    const std::vector<site::DayBar> bars = model.History(stock);
    std::vector<CKdtDay> served;
    for (auto it = bars.rbegin(); it != bars.rend() && static_cast<int>(served.size()) < days;
         ++it) {
        auto shown = [&](double v) {
            std::string text = site::PriceText(v, model.Decimals(stock));
            text.erase(std::remove(text.begin(), text.end(), ','), text.end());
            return std::atoi(text.c_str());
        };
        const site::SiteDate d = site::DateOfDayNumber(it->dayNumber);
        served.push_back(test::Day(d.year, d.month, d.day, shown(it->open), shown(it->high),
                                   shown(it->low), shown(it->close), static_cast<int>(it->volume)));
    }
    std::reverse(served.begin(), served.end());
    EXPECT_EQ(r.Written(), std::vector<std::string>{AbsolutePath(path)});
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.size() % kKdtRecordSize, 0u);
    const std::vector<CKdtDay> records = test::ReadKdtRecords(bytes);
    ASSERT_EQ(records.size(), served.size());
    for (size_t i = 0; i < records.size(); ++i) {
        ASSERT_TRUE(test::SameDay(records[i], served[i]))
            << "record " << i << ": " << test::Describe(records[i]) << " instead of "
            << test::Describe(served[i]);
    }
}

void FaultMatrix::CheckProfiles(const FaultCase& c) {
    // A stock with a profile page whose predecessor in the list has one too: a stale shared work
    // file would hand it the predecessor's texts.
    int victim = 0;
    int previous = 0;
    for (int b = 0; b < list.m_nBlocks && victim == 0; ++b) {
        const CQuoteBlock& block = *list.GetBlock(b);
        for (int i = 0; i < block.m_nStocks; ++i) {
            const int code = block.m_aStocks[i].m_nCode;
            const bool hasPage = !TruthOf(code).at("profile_market").empty();
            if (hasPage && previous != 0 && !TruthOf(previous).at("profile_market").empty()) {
                victim = code;
                break;
            }
            previous = code;
        }
    }
    ASSERT_NE(victim, 0);
    // An earlier run left a page in the shared work file too.
    WriteFileBytes(kSharedProfilePath, test::ProfilePage("STALE", "STALE", "STALE", "STALE"));
    const std::string before = ReadFileBytes(kDictionaryPath);
    const std::string victimBefore =
        before.substr(static_cast<size_t>(victim) * kDictionaryRecordSize, kDictionaryRecordSize);
    server.SetFault(TargetOf(ProfileUrl(server.Url(), victim)), MakeFault(c));

    ASSERT_TRUE(RunBounded([this] { return doc.OnGetProfiles(); }));
    ExpectIdle();
    const JobOutcome r = doc.LastOutcome();
    ExpectOutcome(
        r, Job::kProfiles, c,
        {"the profile of " + std::to_string(victim), ProfileUrl(server.Url(), victim), {victim}});
    EXPECT_EQ(r.itemsDone, kFaultSiteStocks + 3);  // the job goes on with the next stock
    EXPECT_EQ(r.Written(), std::vector<std::string>{AbsolutePath(kDictionaryPath)});
    EXPECT_EQ(test::CountRequests(server, "/biz/fundamental/"),
              kFaultSiteStocks + 3 + c.faultyRequests - 1);
    EXPECT_FALSE(fs::exists(kSharedProfilePath));

    const std::string dictionary = ReadFileBytes(kDictionaryPath);
    ASSERT_EQ(dictionary.size(), static_cast<size_t>(kDictionaryRecords) * kDictionaryRecordSize);
    EXPECT_EQ(dictionary.find("STALE"), std::string::npos);
    for (const Truth& t : truth) {
        const int code = std::stoi(t.at("code"));
        if (code == victim && c.effect != Effect::kWholePage) {
            continue;
        }
        SCOPED_TRACE("code " + t.at("code"));
        const test::Record rec = test::RecordOf(dictionary, code);
        const bool hasPage = !t.at("profile_market").empty();
        EXPECT_EQ(rec.code, code);
        EXPECT_EQ(rec.name, t.at("list_name"));
        EXPECT_EQ(rec.market, hasPage ? std::stoi(t.at("market_number")) : 0);
        EXPECT_EQ(rec.industry, hasPage ? std::stoi(t.at("industry")) : 0);
        EXPECT_EQ(rec.sjisFeature, hasPage ? Utf8ToSjis(t.at("feature")).substr(0, 254) : "");
        EXPECT_EQ(rec.sjisBusiness, hasPage ? Utf8ToSjis(t.at("business")).substr(0, 254) : "");
    }
    if (c.effect != Effect::kWholePage) {
        const std::string victimAfter = dictionary.substr(
            static_cast<size_t>(victim) * kDictionaryRecordSize, kDictionaryRecordSize);
        // No answer but the whole page is a profile page: the record stays as it was.
        EXPECT_TRUE(victimAfter == victimBefore);
    }
    // Records of codes no stock has are untouched.
    EXPECT_TRUE(dictionary.substr(0, 1000u * kDictionaryRecordSize) ==
                before.substr(0, 1000u * kDictionaryRecordSize));
    ExpectProtectedFilesKept({kDictionaryPath});
}

TEST_P(FaultMatrix, JobEndsAsItsRulesSayAndSaysSo) {
    const auto& [job, fault] = GetParam();
    switch (job) {
        case Job::kFetch:
            CheckFetch(fault);
            break;
        case Job::kFetchList:
            CheckFetchList(fault);
            break;
        case Job::kKdt:
            CheckKdt(fault);
            break;
        case Job::kProfiles:
            CheckProfiles(fault);
            break;
        case Job::kPerformance:
            CheckPerformance(fault);
            break;
    }
    ExpectJsonSays(doc.LastOutcome());
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix,
                         ::testing::Combine(::testing::Values(Job::kFetch, Job::kFetchList,
                                                              Job::kKdt, Job::kProfiles,
                                                              Job::kPerformance),
                                            ::testing::ValuesIn(kFaults)),
                         [](const ::testing::TestParamInfo<MatrixParam>& info) {
                             return std::string(JobName(std::get<0>(info.param))) + "_" +
                                    std::get<1>(info.param).name;
                         });

INSTANTIATE_TEST_SUITE_P(Retries, FaultMatrix,
                         ::testing::Combine(::testing::Values(Job::kFetch, Job::kFetchList,
                                                              Job::kKdt, Job::kProfiles,
                                                              Job::kPerformance),
                                            ::testing::ValuesIn(kRetryFaults)),
                         [](const ::testing::TestParamInfo<MatrixParam>& info) {
                             return std::string(JobName(std::get<0>(info.param))) + "_" +
                                    std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace tickora
