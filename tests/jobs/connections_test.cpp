// SPDX-License-Identifier: GPL-3.0-or-later
// Several connections give the bytes one connection gives: every job, on a healthy site and with
// a page in the middle that fails, writes the same files and ends the same way at N = 1 and
// N = 8, and on one HTTP/2 connection carrying 16 requests at once. And histories brought up to
// date from their first page are the files a full fetch writes that day, at one request a stock, or
// are fetched in full when that cannot be exact.
#include "web/connections.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "catalog/clock.h"
#include "files/work_folder.h"
#include "formats/kdt_file.h"
#include "jobs/job_steps.h"
#include "jobs/run_history.h"
#include "jobs/tickora_doc.h"
#include "pages/history_page.h"
#include "site/site_server.h"
#include "tests/support/fake_view.h"
#include "tests/support/secure_front.h"
#include "tests/support/site_fixture.h"
#include "tests/support/tcp_relay.h"
#include "tests/support/temp_dir.h"
#include "web/download.h"
#include "web/hosts.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr int kStocks = 110;  // and the three index rows: blocks of 50, 50 and 13
constexpr site::SiteDate kMonday{2026, 3, 9};
constexpr site::SiteDate kThursday{2026, 3, 12};

enum class Job { kFetch, kPerformance, kFetchList, kProfiles, kKdtAll, kKdtOne };

const char* JobName(Job job) {
    static const char* const kNames[] = {"fetch",    "performance", "fetchlist",
                                         "profiles", "kdtAll",      "kdtOne"};
    return kNames[static_cast<int>(job)];
}

site::SiteOptions SiteAt(site::SiteDate date, bool splitThatDay = false) {
    site::SiteOptions options = test::DatedSite(kStocks, 5, date, kMonday, splitThatDay);
    options.latency = 2ms;
    return options;
}

struct JobRun {
    JobOutcome outcome;
    std::map<std::string, std::string> files;  // every file the job left, but the work files
};

class Connections : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_monday.Start());
        UseSite(m_monday, kMonday);
    }
    void TearDown() override { SetTodayForTesting(std::nullopt); }
    void UseSite(site::SiteServer& server, site::SiteDate date) {
        m_access.Site(server.Url());
        SetTodayForTesting(LocalDate{date.year, date.month, date.day});
    }

    // What a job works with in the current folder, laid out with the site's list on first use.
    struct Objects {
        CAppSettings settings;
        CMarketTable markets;
        CStockList stocks;
    };
    void LoadObjects(Objects& objects, const std::string& quoteHost) {
        if (!fs::exists("market.csv")) {
            test::WriteSiteMarkets();
            WriteFileBytes("fetchlist.csv", m_monday.FetchListCsv());
        }
        CreateWorkFolder();
        std::snprintf(objects.settings.m_szOutputDir, sizeof objects.settings.m_szOutputDir, ".");
        EXPECT_EQ(objects.markets.Load("market.csv"), 1);
        EXPECT_EQ(objects.stocks.Load(objects.markets, quoteHost.c_str()), 0);
    }

    // Runs job in folder (laid out with the site's list on first use) on connections.
    JobRun RunIn(const fs::path& folder, Job job, int connections, bool update = false) {
        const fs::path home = fs::current_path();
        fs::create_directories(folder);
        fs::current_path(folder);
        Objects objects;
        LoadObjects(objects, m_access.Build().hosts.quote);
        CAppSettings& settings = objects.settings;
        CMarketTable& markets = objects.markets;
        CStockList& stocks = objects.stocks;
        test::FaultView view;
        view.codeOptions = {static_cast<unsigned>(LongHistoryCode()), 300, job == Job::kKdtAll,
                            update};
        if (job == Job::kKdtAll) {
            view.codeOptions.days = 120;
        }
        test::AccessForTest access = m_access;
        JobRun run;
        {
            CTickoraDoc doc(settings, markets, stocks);
            doc.SetSiteAccess(access.Connections(connections));
            doc.SetView(&view);
            const bool started = job == Job::kFetch         ? doc.OnFetch()
                                 : job == Job::kPerformance ? doc.OnGetPerformance()
                                 : job == Job::kFetchList   ? doc.OnMakeFetchList()
                                 : job == Job::kProfiles    ? doc.OnGetProfiles()
                                                            : doc.OnMakeKdt();
            EXPECT_TRUE(started) << doc.LastRefusal();
            doc.WaitForJob();
            run.outcome = doc.LastOutcome();
        }
        for (const auto& entry : fs::recursive_directory_iterator(".")) {
            const std::string name = fs::relative(entry.path(), ".").string();
            // The run history records when each run ended, which no two runs share.
            if (entry.is_regular_file() && name.rfind("Webtemp", 0) != 0 &&
                name != "tickora.lock" && name != kRunHistoryName) {
                run.files[name] = ReadFileBytes(entry.path());
            }
        }
        fs::current_path(home);
        return run;
    }

    // Runs job on one connection of 16 streams, through nghttpx speaking h2c in front of the site.
    JobRun RunOverHttp2(const fs::path& folder, Job job) {
        test::Http2Front front(m_monday.Port(), nullptr);
        std::string why;
        if (!front.Start(why)) {
            ADD_FAILURE() << why;
            return {};
        }
        Transport transport;
        transport.http2 = Http2Mode::kPriorKnowledge;
        transport.streams = 16;
        m_access.Via(transport).Site("http://127.0.0.1:" + std::to_string(front.Port()));
        JobRun run = RunIn(folder, job, 1);
        m_access.Via({}).Site(m_monday.Url());
        return run;
    }

    // A stock whose history is longer than the 300 days the one-stock runs ask for.
    int LongHistoryCode() const {
        for (const site::Stock& s : m_model.Listing()) {
            if (!s.isIndex && m_model.HistoryLength(s, nullptr) >= 400) {
                return s.code;
            }
        }
        return 1301;
    }

    // Where a fault in the middle of the job's pages hits.
    std::string MiddleTarget(Job job, const CStockList& stocks) const {
        switch (job) {
            case Job::kFetch:
                return std::string(stocks.GetQuoteUrl(1)).substr(m_monday.Url().size());
            case Job::kPerformance:
                return std::string(stocks.GetFiguresUrl(1)).substr(m_monday.Url().size());
            case Job::kFetchList:
                return "/l?s=%2a&m=51";
            case Job::kProfiles:
                return "/biz/fundamental/" +
                       std::to_string(stocks.GetBlock(1)->m_aStocks[10].m_nCode) + ".html";
            case Job::kKdtAll:
            case Job::kKdtOne: {
                const CQuoteBlock& block = *stocks.GetBlock(1);
                CKdtRequest request(block.m_aStocks[10].m_szSymbol, block.m_aStocks[10].m_nCode,
                                    120, m_monday.Url());
                return std::string(request.GetPageUrl(1)).substr(m_monday.Url().size());
            }
        }
        return {};
    }

    // What a run's end must agree on between the two connection counts.
    static std::string Ending(const JobOutcome& outcome) {
        std::string text = std::to_string(ExitStatusOf(outcome)) + " " +
                           std::to_string(outcome.itemsDone) + "/" +
                           std::to_string(outcome.itemsTotal) + ";";
        for (const ItemFailure& failure : outcome.failures) {
            text += " " + failure.what + (failure.endedJob ? " (ended the job)" : "");
        }
        return text;
    }

    test::ScopedWorkDir m_dir;
    site::SiteServer m_monday{SiteAt(kMonday)};
    site::MarketModel m_model{kStocks, 5, kMonday};
    // A stall limit short enough for quick tests, long enough that a loaded machine's pauses
    // are not taken for the stalled page.
    test::AccessForTest m_access = test::AccessForTest().Timeouts(2s, 2s);
};

class EveryJob : public Connections, public ::testing::WithParamInterface<Job> {};

TEST_P(EveryJob, EightConnectionsWriteTheBytesOfOne) {
    const JobRun one = RunIn("n1", GetParam(), 1);
    const JobRun eight = RunIn("n8", GetParam(), 8);
    EXPECT_EQ(ExitStatusOf(one.outcome), kExitDone) << Ending(one.outcome);
    EXPECT_EQ(Ending(eight.outcome), Ending(one.outcome));
    EXPECT_GT(one.files.size(), 2u);
    EXPECT_TRUE(eight.files == one.files) << "the files of N = 8 differ from those of N = 1";
}

TEST_P(EveryJob, OneHttp2ConnectionWritesTheBytesOfOne) {
    if (test::NghttpxBinary().empty()) {
        GTEST_SKIP() << "nghttpx (Debian package nghttp2-proxy) is not installed";
    }
    const JobRun one = RunIn("n1", GetParam(), 1);
    const JobRun h2 = RunOverHttp2("h2", GetParam());
    EXPECT_EQ(ExitStatusOf(one.outcome), kExitDone) << Ending(one.outcome);
    EXPECT_EQ(Ending(h2.outcome), Ending(one.outcome));
    EXPECT_TRUE(h2.files == one.files) << "the files over HTTP/2 differ from those of N = 1";
}

INSTANTIATE_TEST_SUITE_P(Jobs, EveryJob,
                         ::testing::Values(Job::kFetch, Job::kPerformance, Job::kFetchList,
                                           Job::kProfiles, Job::kKdtAll, Job::kKdtOne),
                         [](const auto& info) { return std::string(JobName(info.param)); });

struct FaultRow {
    Job job;
    site::FaultKind kind;
    const char* name;
};

class FaultInTheMiddle : public Connections, public ::testing::WithParamInterface<FaultRow> {
  protected:
    void SetFaultInTheMiddle(const FaultRow& row) {
        CMarketTable markets;
        CStockList stocks;
        test::WriteSiteMarkets();
        WriteFileBytes("fetchlist.csv", m_monday.FetchListCsv());
        ASSERT_EQ(markets.Load("market.csv"), 1);
        ASSERT_EQ(stocks.Load(markets, m_access.Build().hosts.quote.c_str()), 0);
        site::Fault fault;
        fault.kind = row.kind;
        fault.status = 500;
        fault.stall = 10s;  // far past the lowered stall limit
        m_monday.SetFault(MiddleTarget(row.job, stocks), fault);
    }
};

TEST_P(FaultInTheMiddle, EndsAsOneConnectionEnds) {
    const FaultRow& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(SetFaultInTheMiddle(row));

    const JobRun one = RunIn("n1", row.job, 1);
    const JobRun eight = RunIn("n8", row.job, 8);
    EXPECT_NE(ExitStatusOf(one.outcome), kExitDone) << "the fault was met";
    EXPECT_EQ(Ending(eight.outcome), Ending(one.outcome));
    EXPECT_TRUE(eight.files == one.files) << "the files of N = 8 differ from those of N = 1";
}

TEST_P(FaultInTheMiddle, EndsOverHttp2AsOneConnectionEnds) {
    if (test::NghttpxBinary().empty()) {
        GTEST_SKIP() << "nghttpx (Debian package nghttp2-proxy) is not installed";
    }
    const FaultRow& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(SetFaultInTheMiddle(row));
    const JobRun one = RunIn("n1", row.job, 1);
    const JobRun h2 = RunOverHttp2("h2", row.job);
    EXPECT_NE(ExitStatusOf(one.outcome), kExitDone) << "the fault was met";
    EXPECT_EQ(Ending(h2.outcome), Ending(one.outcome));
    EXPECT_TRUE(h2.files == one.files) << "the files over HTTP/2 differ from those of N = 1";
}

std::vector<FaultRow> FaultRows() {
    std::vector<FaultRow> rows;
    for (Job job :
         {Job::kFetch, Job::kPerformance, Job::kFetchList, Job::kProfiles, Job::kKdtAll}) {
        rows.push_back({job, site::FaultKind::kStatus, "500"});
        rows.push_back({job, site::FaultKind::kCut, "cut"});
        rows.push_back({job, site::FaultKind::kStall, "stall"});
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultInTheMiddle, ::testing::ValuesIn(FaultRows()),
                         [](const auto& info) {
                             return std::string(JobName(info.param.job)) + "_" + info.param.name;
                         });

// A history that cannot be written (a folder stands at its name) among histories written on
// threads of their own while the pages run ahead: the outcome tells every file and the failure
// in the list's order, as one request at a time does.
// While the document shares its connections (the day's routine), its jobs reach an HTTP/2 site
// over one, each later job finding it open; not once sharing is off, nor when the way the jobs
// reach the site changed between them.
TEST_F(Connections, JobsOfADocumentThatSharesItsConnectionsReachTheSiteOverOne) {
    if (test::NghttpxBinary().empty()) {
        GTEST_SKIP() << "nghttpx is not installed";
    }
    test::Http2Front front(m_monday.Port(), nullptr);
    std::string why;
    ASSERT_TRUE(front.Start(why)) << why;
    test::TcpRelay wire({.upstreamPort = front.Port()});
    ASSERT_TRUE(wire.Start());
    Transport transport;
    transport.http2 = Http2Mode::kPriorKnowledge;
    const SiteAccess first =
        m_access.Via(transport).Site("http://127.0.0.1:" + std::to_string(wire.Port()));
    SiteAccess changed = first;
    changed.retry.retries = first.retry.retries + 1;
    struct Row {
        const char* name;
        bool share;
        SiteAccess second;
        int connections;
    };
    const Row rows[] = {
        {"not shared", false, first, 2},
        {"shared", true, first, 1},
        {"shared, the retries changed between the jobs", true, changed, 2},
    };
    Objects objects;
    LoadObjects(objects, first.hosts.quote);
    for (const Row& row : rows) {
        wire.ResetCounts();
        CTickoraDoc doc(objects.settings, objects.markets, objects.stocks);
        doc.ShareConnections(row.share);
        doc.SetSiteAccess(first);
        ASSERT_TRUE(doc.OnFetch()) << doc.LastRefusal();
        doc.WaitForJob();
        EXPECT_EQ(ExitStatusOf(doc.LastOutcome()), kExitDone) << row.name;
        doc.SetSiteAccess(row.second);
        ASSERT_TRUE(doc.OnGetPerformance()) << doc.LastRefusal();
        doc.WaitForJob();
        EXPECT_EQ(ExitStatusOf(doc.LastOutcome()), kExitDone) << row.name;
        EXPECT_EQ(wire.Connections(), row.connections) << row.name;
    }
}

TEST_F(Connections, AHistoryThatCannotBeWrittenIsToldInItsTurn) {
    CMarketTable markets;
    CStockList stocks;
    test::WriteSiteMarkets();
    WriteFileBytes("fetchlist.csv", m_monday.FetchListCsv());
    ASSERT_EQ(markets.Load("market.csv"), 1);
    ASSERT_EQ(stocks.Load(markets, m_access.Build().hosts.quote.c_str()), 0);
    const std::string blocked = KdtFileName(stocks.GetBlock(1)->m_aStocks[10].m_nCode, true);
    for (const char* folder : {"n1", "n8"}) {
        fs::create_directories(fs::path(folder) / blocked);
    }
    const JobRun one = RunIn("n1", Job::kKdtAll, 1);
    const JobRun eight = RunIn("n8", Job::kKdtAll, 8);
    // The outcome's files, relative to the run's folder, with their state.
    auto told = [](const JobRun& run, const char* folder) {
        std::vector<std::string> files;
        for (const OutputFile& file : run.outcome.files) {
            files.push_back(fs::relative(file.path, fs::absolute(folder)).string() + " " +
                            std::to_string(static_cast<int>(file.state)));
        }
        return files;
    };
    ASSERT_EQ(one.outcome.failures.size(), 1u) << Ending(one.outcome);
    const std::string code = CodeText(stocks.GetBlock(1)->m_aStocks[10].m_nCode);
    EXPECT_NE(one.outcome.failures[0].what.find(code), std::string::npos);
    EXPECT_EQ(Ending(eight.outcome), Ending(one.outcome));
    EXPECT_EQ(told(eight, "n8"), told(one, "n1"));
    // The stocks before it in the list come before it in the outcome, those after it after.
    const std::vector<std::string> files = told(eight, "n8");
    ASSERT_EQ(files.size(), static_cast<std::size_t>(kStocks + 3));
    EXPECT_EQ(files[50 + 10].rfind(blocked + " ", 0), 0u) << files[50 + 10];
    EXPECT_EQ(eight.outcome.itemsDone, kStocks + 3);
    EXPECT_TRUE(eight.files == one.files) << "the files of N = 8 differ from those of N = 1";
}

// Monday's histories, brought up to date on Thursday.
struct UpdateRow {
    const char* name;
    bool split;          // the site rewrote the older days on Thursday
    bool damageOneFile;  // one stored file is cut short by a few bytes
    bool dropOldDays;    // one stored file lacks the oldest 50 of its days
    // A split before this day, shown from Thursday on: every day before it is rewritten, and
    // page 0 (the newest 50 days, back to the end of December) holds none of them.
    site::SiteDate olderSplit = {};
};

class HistoryUpdate : public Connections, public ::testing::WithParamInterface<UpdateRow> {};

TEST_P(HistoryUpdate, IsTheFullFetchOfThatDay) {
    const UpdateRow& row = GetParam();
    const JobRun monday = RunIn("work", Job::kKdtAll, 1);
    ASSERT_EQ(ExitStatusOf(monday.outcome), kExitDone);
    const int stocks = monday.outcome.itemsTotal;

    site::SiteOptions thursdayOptions = SiteAt(kThursday, row.split);
    if (row.olderSplit.year != 0) {
        thursdayOptions.splitYear = row.olderSplit.year;
        thursdayOptions.splitMonth = row.olderSplit.month;
        thursdayOptions.splitDay = row.olderSplit.day;
    }
    site::SiteServer thursday(thursdayOptions);
    ASSERT_TRUE(thursday.Start());
    UseSite(thursday, kThursday);
    const JobRun full = RunIn("full", Job::kKdtAll, 1);
    // The stored files a user may have: whole, or one of them damaged.
    std::string victim;
    for (const auto& [name, bytes] : monday.files) {
        if (name.rfind("DATA/", 0) == 0 && bytes.size() == 150u * kKdtRecordSize) {
            victim = name;
            break;
        }
    }
    ASSERT_FALSE(victim.empty());
    if (row.damageOneFile) {
        fs::resize_file(fs::path("work") / victim, fs::file_size(fs::path("work") / victim) - 7);
    }
    if (row.dropOldDays) {
        // As short as a history asked for fewer days: nothing on page 0 shows that older days
        // are missing, so only the whole history can tell.
        WriteFileBytes(fs::path("work") / victim,
                       monday.files.at(victim).substr(50 * kKdtRecordSize));
    }
    thursday.ClearRequests();
    const JobRun updated = RunIn("work", Job::kKdtAll, 1, true);
    EXPECT_EQ(ExitStatusOf(updated.outcome), kExitDone) << Ending(updated.outcome);

    int requests = 0;
    for (const site::ReceivedRequest& request : thursday.Requests()) {
        requests += request.target.rfind("/t?", 0) == 0 ? 1 : 0;
    }
    // Page 0 and the page of a file's oldest day; one more for a young history that ends at a
    // page boundary, to see that it ends there.
    int proofs = 0;
    for (const auto& [name, bytes] : full.files) {
        const std::size_t days = bytes.size() / kKdtRecordSize;
        if (name.rfind("DATA/", 0) == 0) {
            proofs += (days > 50 ? 1 : 0) + (days % 50 == 0 && days < 150 ? 1 : 0);
        }
    }
    if (row.split || row.olderSplit.year != 0) {
        EXPECT_GT(requests, 2 * stocks) << "a split sends every stock with older days to a full "
                                           "fetch";
        EXPECT_LT(updated.outcome.historiesUpdated, row.split ? 1 : stocks);
    } else if (row.damageOneFile || row.dropOldDays) {
        EXPECT_GT(requests, stocks + proofs) << "the damaged file's stock is fetched in full";
        EXPECT_LE(requests, stocks + proofs + 3) << "and only that one";
        EXPECT_EQ(updated.outcome.historiesFetched, 1);
    } else {
        EXPECT_LE(requests, stocks + proofs) << "a page 0 and a proof a stock";
        EXPECT_EQ(updated.outcome.historiesUpdated, stocks);
    }
    for (const auto& [name, bytes] : full.files) {
        if (name.rfind("DATA/", 0) == 0) {
            ASSERT_TRUE(updated.files.count(name) != 0) << name;
            EXPECT_TRUE(updated.files.at(name) == bytes) << name << " is not the full fetch";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Histories, HistoryUpdate,
    ::testing::Values(UpdateRow{"grew", false, false, false},
                      UpdateRow{"split", true, false, false},
                      UpdateRow{"corrupt", false, true, false},
                      UpdateRow{"short", false, false, true},
                      UpdateRow{"splitOlderThanPageZero", false, false, false, {2025, 11, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tickora
