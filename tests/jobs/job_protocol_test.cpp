// SPDX-License-Identifier: GPL-3.0-or-later
// The document's job protocol: one worker at a time, the idle/running transitions the form sees,
// cancel from another thread, and the thread entry's null-context guard.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "jobs/tickora_doc.h"
#include "tests/support/fake_view.h"
#include "tests/support/job_harness.h"
#include "tests/support/loopback_server.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"

namespace tickora {
namespace {

class JobProtocolTest : public ::testing::Test {
  protected:
    JobProtocolTest() : m_doc(m_settings, m_markets, m_stocks) {
        // The code dialog holds the worker until Release; then the user cancels it.
        m_view.onDialog = [this](std::string_view dialog) {
            if (dialog == "ask code") {
                HoldInDialog();
            }
        };
        m_doc.SetView(&m_view);
    }

    void HoldInDialog() {
        std::unique_lock lock(m_mutex);
        m_inDialog = true;
        m_changed.notify_all();
        // Bounded, so that a test that failed before it released the worker still ends.
        if (!m_changed.wait_for(lock, std::chrono::seconds(60), [this] { return m_release; })) {
            ADD_FAILURE() << "the worker was never released from the dialog";
        }
        m_inDialog = false;
    }
    void WaitInDialog() {
        std::unique_lock lock(m_mutex);
        ASSERT_TRUE(m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_inDialog; }));
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_release = true;
        m_changed.notify_all();
    }

    test::ScopedWorkDir m_dir;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_inDialog = false;
    bool m_release = false;
    CAppSettings m_settings;
    CMarketTable m_markets;
    CStockList m_stocks;
    test::FakeView m_view;
    CTickoraDoc m_doc;
};

TEST(JobThreadProcTest, NullContextReturnsMinusOneWithoutRunningTheBody) {
    EXPECT_EQ(JobThreadProc(nullptr, JobRequest{Job::kFetch}), static_cast<unsigned>(-1));
}

TEST_F(JobProtocolTest, SecondJobIsRefusedWhileTheFirstWorkerLives) {
    ASSERT_TRUE(m_doc.OnMakeKdt());
    WaitInDialog();
    EXPECT_TRUE(m_doc.IsJobRunning());
    EXPECT_TRUE(m_doc.m_bBusy);
    EXPECT_TRUE(m_view.CodeDialogs().back().showAllStocks)
        << "the price-history command allows all stocks";

    // Every other command is refused, even after Cancel cleared the busy flag.
    EXPECT_FALSE(m_doc.OnMakeFetchList());
    EXPECT_FALSE(m_doc.OnGetPerformance());
    m_doc.CancelJob();
    EXPECT_FALSE(m_doc.m_bBusy);
    EXPECT_TRUE(m_doc.m_bCancel);
    EXPECT_FALSE(m_doc.OnMakeKdt());
    EXPECT_TRUE(m_doc.IsJobRunning());

    Release();
    m_doc.WaitForJob();
    EXPECT_FALSE(m_doc.IsJobRunning());
    EXPECT_TRUE(m_doc.LastOutcome().end == JobEnd::kNotRun);
    EXPECT_EQ(m_doc.LastOutcome().job, "kdt");
}

TEST_F(JobProtocolTest, DismissedDialogReturnsTheFormToIdle) {
    Release();
    ASSERT_TRUE(m_doc.OnMakeKdt());
    m_doc.WaitForJob();
    const std::vector<std::string> calls = m_view.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "running");
    EXPECT_EQ(calls.back(), "idle");
    EXPECT_FALSE(m_doc.m_bBusy);
    // A new job may start once the worker has gone.
    EXPECT_TRUE(m_doc.OnMakeKdt());
    m_doc.WaitForJob();
}

TEST_F(JobProtocolTest, FetchWithoutAListDoesNothing) {
    EXPECT_FALSE(m_doc.OnFetch());
    EXPECT_FALSE(m_doc.IsJobRunning());
    EXPECT_TRUE(m_view.Calls().empty()) << "no title, no running state";
}

TEST_F(JobProtocolTest, ProfilesRefusedByTheirDialogStartNothing) {
    m_view.answersDialogs = false;
    EXPECT_FALSE(m_doc.OnGetProfiles());
    EXPECT_FALSE(m_doc.IsJobRunning());
    EXPECT_FALSE(m_doc.m_bShowAllStocks) << "set only when the profile job starts";
}

TEST_F(JobProtocolTest, AutoStartAsksForAFetchOnEveryNewDocument) {
    m_settings.m_bAutoStart = 0;
    EXPECT_FALSE(m_doc.OnNewDocument());
    m_settings.m_bAutoStart = 1;
    EXPECT_TRUE(m_doc.OnNewDocument());
    EXPECT_TRUE(m_doc.OnNewDocument());
}

// Cancel pressed as the form turns to running, before the worker reaches the job's first line:
// every job ends cancelled without asking the site for a page. With two connections, so that the
// first page is not one a lone connection still sends after Cancel, as the job would itself.
TEST_F(JobProtocolTest, CancelBeforeTheJobBeginsIsNeverLost) {
    test::LoopbackServer site;
    test::TwoMarkets(m_markets);
    test::BuildList(m_stocks, m_markets, site.Url(), 60);
    m_doc.SetSiteAccess(test::AccessForTest(site.Url()).Connections(2));
    m_view.onRunning = [this] { m_doc.CancelJob(); };
    JobOptions allStocks;
    allStocks.allStocks = true;
    struct Row {
        const char* job;
        std::function<bool()> start;
    };
    const Row rows[] = {
        {"fetch", [this] { return m_doc.OnFetch(); }},
        {"performance", [this] { return m_doc.OnGetPerformance(); }},
        {"fetchlist", [this] { return m_doc.OnMakeFetchList(JobOptions{}); }},
        {"profiles", [this] { return m_doc.OnGetProfiles(JobOptions{}); }},
        {"kdt", [&] { return m_doc.OnMakeKdt(allStocks); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.job);
        const int asked = site.Requests();
        ASSERT_TRUE(row.start());
        m_doc.WaitForJob();
        const JobOutcome outcome = m_doc.LastOutcome();
        EXPECT_EQ(outcome.job, row.job);
        EXPECT_TRUE(outcome.Cancelled());
        EXPECT_EQ(site.Requests(), asked);
    }
}

TEST_F(JobProtocolTest, DestroyingTheDocumentStopsAndWaitsForItsWorker) {
    auto doc = std::make_unique<CTickoraDoc>(m_settings, m_markets, m_stocks);
    doc->SetView(&m_view);
    ASSERT_TRUE(doc->OnMakeKdt());
    WaitInDialog();
    // Released once the destructor has asked the job to stop: it must then wait for the worker.
    // The document outlives its destructor's wait for the worker, which waits for this release.
    const std::atomic<bool>& cancel = doc->m_bCancel;
    std::thread releaser([this, &cancel] {
        EXPECT_TRUE(test::WaitFor([&] { return cancel.load(); }));
        Release();
    });
    doc.reset();  // must neither crash nor return while the worker still uses the view
    releaser.join();
    EXPECT_EQ(m_view.Calls().back(), "idle");
}

}  // namespace
}  // namespace tickora
