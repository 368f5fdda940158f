// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A document with the test view in a fresh working folder, and the job run to its end.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "files/work_folder.h"
#include "jobs/tickora_doc.h"
#include "tests/support/fake_view.h"
#include "tests/support/site_access_for_test.h"
#include "tests/support/temp_dir.h"

namespace tickora::test {

class KdtJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateWorkFolder();
        m_view.answersDialogs = true;
    }
    void TearDown() override { m_doc.reset(); }

    // Loads the list from fetchlist.csv text (Shift-JIS); the market table stays empty, so every
    // stock's market is unknown, which the history job does not look at.
    void LoadList(const std::string& csv) {
        WriteFileBytes("fetchlist.csv", csv);
        ASSERT_EQ(m_stocks.Load(m_markets, m_access.Build().hosts.quote.c_str()), 0);
    }

    // Starts the job as Alt+K does and waits for its end.
    JobOutcome RunJob() {
        Doc();
        EXPECT_TRUE(m_doc->OnMakeKdt());
        m_doc->WaitForJob();
        EXPECT_FALSE(m_doc->m_bBusy.load());
        EXPECT_FALSE(m_doc->m_bCancel.load());
        return m_doc->LastOutcome();
    }

    // The document, which the next job reaches the site with m_access as it is now.
    CTickoraDoc& Doc() {
        if (!m_doc) {
            m_doc = std::make_unique<CTickoraDoc>(m_settings, m_markets, m_stocks);
            m_doc->SetView(&m_view);
        }
        m_doc->SetSiteAccess(m_access);
        return *m_doc;
    }

    ScopedWorkDir m_dir;
    CAppSettings m_settings;
    CMarketTable m_markets;
    CStockList m_stocks;
    FakeView m_view;
    std::unique_ptr<CTickoraDoc> m_doc;
    // A stalled test must not wait the production minute.
    AccessForTest m_access =
        AccessForTest().Timeouts(std::chrono::seconds(5), std::chrono::seconds(5));
};

}  // namespace tickora::test
