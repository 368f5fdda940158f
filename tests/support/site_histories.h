// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A stock's price history as the site's table serves it, in the fields a KDT file holds, and the
// files of a whole market written from it directly: what `kdt --all` writes, without asking its
// thousands of pages. The job tests hold the job's files against the same days.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "formats/kdt_file.h"
#include "pages/history_page.h"
#include "site/market_model.h"
#include "site/pages.h"

namespace tickora::test {

// A number cell as the table shows it, read back as the whole number the file holds: the
// reader cuts an index's hundredths as atoi does.
inline int ShownWhole(double value, int decimals) {
    std::string text = site::PriceText(value, decimals);
    text.erase(std::remove(text.begin(), text.end(), ','), text.end());
    return std::atoi(text.c_str());
}

inline CKdtDay KdtDayOf(const site::DayBar& bar, int decimals) {
    const site::SiteDate d = site::DateOfDayNumber(bar.dayNumber);
    return CKdtDay{d.year,
                   d.month,
                   d.day,
                   ShownWhole(bar.open, decimals),
                   ShownWhole(bar.high, decimals),
                   ShownWhole(bar.low, decimals),
                   ShownWhole(bar.close, decimals),
                   static_cast<int>(bar.volume)};
}

// The newest `days` days the site's table serves of the stock on its date, oldest first.
inline std::vector<CKdtDay> ServedKdtDays(const site::MarketModel& model, const site::Stock& stock,
                                          int days) {
    const std::vector<site::DayBar> bars =
        model.NewestHistory(stock, site::DayNumber({kHistoryFromYear, 1, 1}), model.TradingDay(),
                            static_cast<std::size_t>(days));
    std::vector<CKdtDay> kdt;
    kdt.reserve(bars.size());
    for (const site::DayBar& bar : bars) {
        kdt.push_back(KdtDayOf(bar, model.Decimals(stock)));
    }
    return kdt;
}

// Every listed stock's history of `days` days into "DATA/n000/", the bytes `kdt --all --days`
// writes in the working folder. Written plainly, without the job's sync of every file, which
// would spend most of a whole market's time waiting for the disk. False when a file could not be
// written.
[[nodiscard]] inline bool WriteServedHistories(const site::MarketModel& model, int days) {
    CreateKdtFolders();
    bool ok = true;
    for (const site::Stock& stock : model.Listing()) {
        std::string bytes;
        for (const CKdtDay& day : ServedKdtDays(model, stock, days)) {
            unsigned char record[kKdtRecordSize];
            day.Pack(record);
            bytes.append(reinterpret_cast<const char*>(record), sizeof record);
        }
        std::ofstream out(KdtFileName(stock.code, true), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ok = ok && out.good();
    }
    return ok;
}

}  // namespace tickora::test
