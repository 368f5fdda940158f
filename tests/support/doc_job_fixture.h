// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A document in a fresh working folder, with a market table, an empty page folder and a view that
// answers every dialog, and its one job run to the end.
#include <gtest/gtest.h>

#include <filesystem>

#include "jobs/tickora_doc.h"
#include "tests/support/fake_view.h"
#include "tests/support/temp_dir.h"

namespace tickora::test {

class DocJobTest : public ::testing::Test {
  protected:
    // writeMarkets writes the "market.csv" the document loads; start starts the job as its
    // command does.
    DocJobTest(void (*writeMarkets)(), bool (*start)(CTickoraDoc&))
        : m_writeMarkets(writeMarkets), m_start(start) {}

    void SetUp() override {
        m_writeMarkets();
        ASSERT_EQ(markets.Load("market.csv"), 1);
        std::filesystem::create_directory("Webtemp");
        view.answersDialogs = true;
        doc.SetView(&view);
    }

    JobOutcome Run(bool expectStart = true) {
        EXPECT_EQ(m_start(doc), expectStart);
        doc.WaitForJob();
        return doc.LastOutcome();
    }

    ScopedWorkDir dir;
    CAppSettings settings;
    CMarketTable markets;
    CStockList stocks;
    CTickoraDoc doc{settings, markets, stocks};
    FakeView view;

  private:
    void (*m_writeMarkets)();
    bool (*m_start)(CTickoraDoc&);
};

inline bool StartFetchList(CTickoraDoc& doc) { return doc.OnMakeFetchList(); }
inline bool StartProfiles(CTickoraDoc& doc) { return doc.OnGetProfiles(); }

}  // namespace tickora::test
