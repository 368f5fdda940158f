// SPDX-License-Identifier: GPL-3.0-or-later
// Bringing a KDT file up to date from page 0 and the pages that prove it: for each way a history
// can have moved between two fetches, either the very days a full fetch would write now, or the
// reason it must be fetched.
#include "pages/history_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "tests/support/kdt_test_pages.h"

namespace tickora {
namespace {

using Outcome = HistoryUpdateOutcome;

// Trading day i of a made-up stock: the i-th weekday from 4 January 2010, prices from i.
CKdtDay TradingDay(int i, bool split) {
    using namespace std::chrono;
    const sys_days date = sys_days{2010y / January / 4} + days{i / 5 * 7 + i % 5};  // a Monday
    const year_month_day ymd{date};
    const int price = (1000 + i % 97 * 13) / (split ? 2 : 1);
    return test::Day(static_cast<int>(ymd.year()), static_cast<int>(unsigned(ymd.month())),
                     static_cast<int>(unsigned(ymd.day())), price, price + 7, price - 5, price + 2,
                     (100 + i) * (split ? 2 : 1));
}

// The table of days [first, end), newest first; days before splitBefore as a split rewrote them.
std::vector<CKdtDay> Table(int first, int end, int splitBefore = -1) {
    std::vector<CKdtDay> days;
    for (int i = end - 1; i >= first; --i) {
        days.push_back(TradingDay(i, i < splitBefore));
    }
    return days;
}

// What a full fetch of daysAsked writes: the newest days of its whole pages, oldest first.
std::vector<CKdtDay> FullFetch(const std::vector<CKdtDay>& table, int daysAsked) {
    const std::size_t kept = static_cast<std::size_t>((daysAsked + 49) / 50 * 50);
    std::vector<CKdtDay> file(table.begin(), table.begin() + std::min(kept, table.size()));
    std::reverse(file.begin(), file.end());
    return file;
}

enum class Change {
    kNone,
    kSplitAfterTheFile,
    kSplitOlderThanPageZero,  // the split rewrote only days beyond page 0
    kFileFromElsewhere,       // the file's days are the table's, but fewer than it held then
    kFileNewestVolume,
    kFileLacksASharedDay,
    kFileEmpty,
    kPageRowsSwapped
};

struct Case {
    const char* name;
    int oldFirst, oldEnd, oldDays;  // the table the file was fetched from, and the days asked
    int newFirst, newEnd, newDays;  // the table now, and the days asked now
    Change change;
    Outcome expected;
    std::vector<int> proofPages = {};  // the pages the candidate is proven on
};

// Page j of the table as ParseHistoryPage fills its slots.
void FillPage(const std::vector<CKdtDay>& table, int j, CKdtDay (&slots)[kKdtDaysPerPage]) {
    std::fill(std::begin(slots), std::end(slots), CKdtDay{});
    const std::size_t first = static_cast<std::size_t>(j) * kKdtDaysPerPage;
    for (std::size_t i = 0; i < kKdtDaysPerPage && first + i < table.size(); ++i) {
        slots[i] = table[first + i];
    }
}

TEST(HistoryUpdate, EachWayAHistoryMovesGivesTheFullFetchOrItsReason) {
    const Case cases[] = {
        {"grew by three days", 0, 3000, 200, 0, 3003, 200, Change::kNone, Outcome::kUpdated, {3}},
        {"unchanged", 0, 3000, 200, 0, 3000, 200, Change::kNone, Outcome::kUpdated, {3}},
        {"fewer days asked than the file holds", 0, 3000, 200, 0, 3003, 120, Change::kNone,
         Outcome::kUpdated, {2}},
        {"more days asked than the file holds", 0, 3000, 200, 0, 3003, 300, Change::kNone,
         Outcome::kOlderRewritten, {4}},
        {"page 0 reaches back just to the file's newest day", 0, 3000, 200, 0, 3049, 200,
         Change::kNone, Outcome::kUpdated, {3}},
        {"a gap between the file and page 0", 0, 3000, 200, 0, 3050, 200, Change::kNone,
         Outcome::kGap},
        {"young stock that ended inside its last page", 0, 120, 200, 0, 125, 200, Change::kNone,
         Outcome::kUpdated, {2}},
        {"young stock that ended at a page boundary", 0, 100, 200, 0, 103, 200, Change::kNone,
         Outcome::kUpdated, {2}},
        {"young stock that grew to a page boundary", 0, 97, 200, 0, 100, 200, Change::kNone,
         Outcome::kUpdated, {1, 2}},
        {"young stock that now fills the request", 0, 180, 200, 0, 225, 200, Change::kNone,
         Outcome::kUpdated, {3}},
        {"whole table on page 0", 0, 30, 200, 0, 33, 200, Change::kNone, Outcome::kUpdated},
        {"fifty days, the table ends after page 0", 0, 47, 200, 0, 50, 200, Change::kNone,
         Outcome::kUpdated, {1}},
        {"whole table on page 0 but the file reaches further back", 0, 80, 200, 50, 83, 200,
         Change::kNone, Outcome::kOlderGone},
        {"split after the file was written", 0, 3000, 200, 0, 3003, 200, Change::kSplitAfterTheFile,
         Outcome::kDayDiffers},
        {"split older than page 0", 0, 3000, 200, 0, 3003, 200, Change::kSplitOlderThanPageZero,
         Outcome::kOlderRewritten, {3}},
        {"120 days from elsewhere of a longer table", 0, 3000, 200, 0, 3005, 200,
         Change::kFileFromElsewhere, Outcome::kOlderRewritten, {2}},
        {"a shared day differs in one field", 0, 3000, 200, 0, 3003, 200, Change::kFileNewestVolume,
         Outcome::kDayDiffers},
        {"the file lacks a day page 0 shows", 0, 3000, 200, 0, 3003, 200,
         Change::kFileLacksASharedDay, Outcome::kDayDiffers},
        {"the file holds a day page 0 lacks", 0, 3003, 200, 0, 3000, 200, Change::kNone,
         Outcome::kDayDiffers},
        {"no day in the file", 0, 3000, 200, 0, 3003, 200, Change::kFileEmpty,
         Outcome::kNoFileDays},
        {"no day on page 0", 0, 3000, 200, 0, 0, 200, Change::kNone, Outcome::kNoPageDays},
        {"page 0 out of date order", 0, 3000, 200, 0, 3003, 200, Change::kPageRowsSwapped,
         Outcome::kBadPage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CKdtDay> file = FullFetch(Table(c.oldFirst, c.oldEnd), c.oldDays);
        const int splitBefore = c.change == Change::kSplitAfterTheFile ? c.oldEnd + 1
                                : c.change == Change::kSplitOlderThanPageZero ? c.newEnd - 60
                                                                              : -1;
        const std::vector<CKdtDay> table = Table(c.newFirst, c.newEnd, splitBefore);
        CKdtDay page[kKdtDaysPerPage] = {};
        FillPage(table, 0, page);
        switch (c.change) {
            case Change::kFileNewestVolume:
                file.back().m_nVolume += 1;
                break;
            case Change::kFileLacksASharedDay:
                file.erase(file.end() - 3);
                break;
            case Change::kFileEmpty:
                file.clear();
                break;
            case Change::kFileFromElsewhere:
                file.erase(file.begin(), file.end() - 120);
                break;
            case Change::kPageRowsSwapped:
                std::swap(page[3], page[4]);
                break;
            default:
                break;
        }

        HistoryUpdate update = UpdateHistoryFromFirstPage(file, page, c.newDays);
        if (update.outcome == Outcome::kToProve) {
            EXPECT_EQ(update.proofPages, c.proofPages);
            bool agrees = true;
            for (const int j : update.proofPages) {
                FillPage(table, j, page);
                agrees = agrees && ProofPageAgrees(update, j, page);
            }
            update.outcome = agrees ? Outcome::kUpdated : Outcome::kOlderRewritten;
        } else {
            EXPECT_TRUE(c.proofPages.empty()) << HistoryUpdateOutcomeName(update.outcome);
        }
        EXPECT_STREQ(HistoryUpdateOutcomeName(update.outcome),
                     HistoryUpdateOutcomeName(c.expected));
        const std::vector<CKdtDay> expected = FullFetch(table, c.newDays);
        if (update.outcome != Outcome::kUpdated) {
            // Never a file a full fetch would not write: here it writes another one.
            if (c.expected == Outcome::kOlderRewritten) {
                EXPECT_FALSE(std::equal(update.days.begin(), update.days.end(), expected.begin(),
                                        expected.end(), test::SameDay));
            }
            continue;
        }
        ASSERT_EQ(update.days.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_TRUE(test::SameDay(update.days[i], expected[i]))
                << i << ": " << test::Describe(update.days[i]) << " instead of "
                << test::Describe(expected[i]);
        }
    }
}

}  // namespace
}  // namespace tickora
