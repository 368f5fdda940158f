// SPDX-License-Identifier: GPL-3.0-or-later
// The document's job protocol: one worker at a time, the idle/running transitions the form sees,
// cancel from another thread, and the thread entry's null-context guard.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jobs/tickora_doc.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

// Records what the document tells its view; the code dialog can hold the worker until released.
class RecordingView final : public ITickoraView {
public:
    void ShowRunning() override { Record("running"); }
    void ShowIdle() override {
        Record("idle");
        std::lock_guard lock(m_mutex);
        ++m_idleCount;
        m_changed.notify_all();
    }
    void ShowCounts(int, int) override {}
    void SetProgressRange(int) override {}
    void SetProgressStep(int) override {}
    void StepProgress() override {}
    void SetProgressPos(int pos) override { Record("pos " + std::to_string(pos)); }
    bool AskListOptions(ListOptions&) override {
        Record("ask list");
        return false;
    }
    bool AskCodeOptions(CodeOptions&, bool showAllStocks) override {
        m_sawShowAll = showAllStocks;
        std::unique_lock lock(m_mutex);
        m_inDialog = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_release; });
        m_inDialog = false;
        return false;  // the user cancels: the job ends without work
    }
    bool AskProfileOptions(ProfileOptions&) override { return m_profileAnswer; }
    void ShowMessage(const std::string& text) override { Record("message " + text); }
    void SetTitle(const std::string& title) override { Record("title " + title); }
    void PostQuit() override { Record("quit"); }

    void WaitInDialog() {
        std::unique_lock lock(m_mutex);
        ASSERT_TRUE(m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_inDialog; }));
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_release = true;
        m_changed.notify_all();
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    std::atomic<bool> m_sawShowAll{false};
    bool m_profileAnswer = false;

private:
    void Record(std::string call) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
    bool m_inDialog = false;
    bool m_release = false;
    int m_idleCount = 0;
};

class JobProtocolTest : public ::testing::Test {
protected:
    JobProtocolTest() : m_doc(m_settings, m_markets, m_stocks) { m_doc.SetView(&m_view); }

    test::ScopedWorkDir m_dir;
    CAppSettings m_settings;
    CMarketTable m_markets;
    CStockList m_stocks;
    RecordingView m_view;
    CTickoraDoc m_doc;
};

TEST(JobThreadProcTest, NullContextReturnsMinusOneWithoutRunningTheBody) {
    EXPECT_EQ(JobThreadProc(nullptr, &CTickoraDoc::RunFetch), static_cast<unsigned>(-1));
}

TEST_F(JobProtocolTest, SecondJobIsRefusedWhileTheFirstWorkerLives) {
    ASSERT_TRUE(m_doc.OnMakeKdt());
    m_view.WaitInDialog();
    EXPECT_TRUE(m_doc.IsJobRunning());
    EXPECT_TRUE(m_doc.m_bBusy);
    EXPECT_TRUE(m_view.m_sawShowAll) << "the price-history command allows all stocks";

    // Every other command is refused, even after Cancel cleared the busy flag.
    EXPECT_FALSE(m_doc.OnMakeFetchList());
    EXPECT_FALSE(m_doc.OnGetPerformance());
    m_doc.CancelJob();
    EXPECT_FALSE(m_doc.m_bBusy);
    EXPECT_TRUE(m_doc.m_bCancel);
    EXPECT_FALSE(m_doc.OnMakeKdt());
    EXPECT_TRUE(m_doc.IsJobRunning());

    m_view.Release();
    m_doc.WaitForJob();
    EXPECT_FALSE(m_doc.IsJobRunning());
    EXPECT_TRUE(m_doc.LastOutcome().end == JobEnd::kNotRun);
    EXPECT_EQ(m_doc.LastOutcome().job, "kdt");
}

TEST_F(JobProtocolTest, DismissedDialogReturnsTheFormToIdle) {
    m_view.Release();
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
    m_view.m_profileAnswer = false;
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

TEST_F(JobProtocolTest, DestroyingTheDocumentStopsAndWaitsForItsWorker) {
    auto doc = std::make_unique<CTickoraDoc>(m_settings, m_markets, m_stocks);
    doc->SetView(&m_view);
    ASSERT_TRUE(doc->OnMakeKdt());
    m_view.WaitInDialog();
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        m_view.Release();
    });
    doc.reset();  // must neither crash nor return while the worker still uses the view
    releaser.join();
    EXPECT_EQ(m_view.Calls().back(), "idle");
}

}  // namespace
}  // namespace tickora
