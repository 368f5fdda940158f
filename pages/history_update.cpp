// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/history_update.h"

#include <algorithm>

#include "text/named_values.h"

namespace tickora {
namespace {

bool SameDay(const CKdtDay& a, const CKdtDay& b) {
    return a.m_nYear == b.m_nYear && a.m_nMonth == b.m_nMonth && a.m_nDay == b.m_nDay &&
           a.m_nOpen == b.m_nOpen && a.m_nHigh == b.m_nHigh && a.m_nLow == b.m_nLow &&
           a.m_nClose == b.m_nClose && a.m_nVolume == b.m_nVolume;
}

// The parser fills the slots from the first one on; the rest stay cleared.
bool FilledSlots(std::span<const CKdtDay> slots, std::vector<CKdtDay>& oldestFirst) {
    std::size_t filled = 0;
    while (filled < slots.size() && slots[filled].m_nYear != 0) {
        ++filled;
    }
    for (std::size_t i = filled; i < slots.size(); ++i) {
        if (slots[i].m_nYear != 0) {
            return false;
        }
    }
    for (std::size_t i = 0; i < filled; ++i) {
        // A day the writer would skip, or rows out of order, are not what a plain table shows.
        if (!slots[i].IsValid() || (i > 0 && !DateBefore(slots[i], slots[i - 1]))) {
            return false;
        }
    }
    oldestFirst.assign(slots.rbegin() + static_cast<std::ptrdiff_t>(slots.size() - filled),
                       slots.rend());
    return true;
}

}  // namespace

HistoryUpdate UpdateHistoryFromFirstPage(std::span<const CKdtDay> fileDays,
                                         std::span<const CKdtDay> firstPage, int daysAsked) {
    HistoryUpdate update;
    if (fileDays.empty()) {
        update.outcome = HistoryUpdateOutcome::kNoFileDays;
        return update;
    }
    std::vector<CKdtDay> page;
    if (!FilledSlots(firstPage, page)) {
        update.outcome = HistoryUpdateOutcome::kBadPage;
        return update;
    }
    if (page.empty()) {
        update.outcome = HistoryUpdateOutcome::kNoPageDays;
        return update;
    }
    const CKdtDay& pageOldest = page.front();
    const CKdtDay& fileNewest = fileDays.back();
    if (DateBefore(fileNewest, pageOldest)) {
        // Days may lie between the two, and only a full fetch can tell.
        update.outcome = HistoryUpdateOutcome::kGap;
        return update;
    }
    // The days of both from page 0's oldest to the file's newest must be the same days.
    const auto firstShared =
        std::lower_bound(fileDays.begin(), fileDays.end(), pageOldest, DateBefore);
    const auto pageSharedEnd = std::upper_bound(page.begin(), page.end(), fileNewest, DateBefore);
    if (!std::equal(firstShared, fileDays.end(), page.begin(), pageSharedEnd, SameDay)) {
        update.outcome = HistoryUpdateOutcome::kDayDiffers;
        return update;
    }
    // A page short of 50 rows is the end of the table.
    const bool pageIsWholeTable = page.size() < static_cast<std::size_t>(kKdtDaysPerPage);
    if (pageIsWholeTable && firstShared != fileDays.begin()) {
        update.outcome = HistoryUpdateOutcome::kOlderGone;
        return update;
    }
    const int pages = (std::max(daysAsked, 1) + kKdtDaysPerPage - 1) / kKdtDaysPerPage;
    const std::size_t kept = static_cast<std::size_t>(pages) * kKdtDaysPerPage;
    const std::size_t older = static_cast<std::size_t>(firstShared - fileDays.begin());
    const std::size_t total = older + page.size();
    // Only older days are cut: a fetch keeps at least one page.
    const std::size_t cut = total > kept ? total - kept : 0;
    update.days.assign(fileDays.begin() + static_cast<std::ptrdiff_t>(cut), firstShared);
    update.days.insert(update.days.end(), page.begin(), page.end());
    // The page of the candidate's oldest row, and the page where the row after it would stand
    // when the table must end there. Page 0 is proven already; a table that ends inside page 0
    // has nothing beyond it to prove.
    const int n = static_cast<int>(update.days.size());
    const int oldestRowPage = (n - 1) / kKdtDaysPerPage;
    if (oldestRowPage > 0) {
        update.proofPages.push_back(oldestRowPage);
    }
    if (static_cast<std::size_t>(n) < kept && !pageIsWholeTable) {
        const int endPage = n / kKdtDaysPerPage;
        if (endPage != oldestRowPage) {
            update.proofPages.push_back(endPage);
        }
    }
    update.outcome = update.proofPages.empty() ? HistoryUpdateOutcome::kUpdated
                                               : HistoryUpdateOutcome::kToProve;
    return update;
}

bool ProofPageAgrees(const HistoryUpdate& update, int page, std::span<const CKdtDay> slots) {
    std::vector<CKdtDay> shown;
    if (!FilledSlots(slots, shown)) {
        return false;
    }
    // Rows are counted from the newest: row r of the table is update.days[n - 1 - r].
    const int n = static_cast<int>(update.days.size());
    const int firstRow = page * kKdtDaysPerPage;
    const int rows = std::clamp(n - firstRow, 0, kKdtDaysPerPage);
    if (static_cast<int>(shown.size()) != rows) {
        return false;
    }
    // shown is oldest first: its day i is row firstRow + rows - 1 - i.
    for (int i = 0; i < rows; ++i) {
        const int row = firstRow + rows - 1 - i;
        if (!SameDay(shown[static_cast<std::size_t>(i)],
                     update.days[static_cast<std::size_t>(n - 1 - row)])) {
            return false;
        }
    }
    return true;
}

const char* HistoryUpdateOutcomeName(HistoryUpdateOutcome outcome) {
    using enum HistoryUpdateOutcome;
    static constexpr NamedValue<HistoryUpdateOutcome> kNames[] = {
        {kUpdated, "updated"},
        {kNoFileDays, "no usable file"},
        {kNoPageDays, "no day on page 0"},
        {kBadPage, "page 0 out of order"},
        {kGap, "gap after the file"},
        {kDayDiffers, "history rewritten"},
        {kOlderGone, "older days gone"},
        {kToProve, "to prove on an older page"},
        {kOlderRewritten, "older days rewritten"}};
    return NameIn(kNames, outcome, "?");
}

}  // namespace tickora
