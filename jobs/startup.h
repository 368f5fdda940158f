// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The objects that live for the whole run, loaded in the order the program has always used.
#include <string>
#include <vector>

#include "catalog/app_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "web/hosts.h"

namespace tickora {

struct StartupObjects {
    CAppSettings settings;
    CMarketTable markets;
    CStockList stocks;
    bool marketLoaded = false;
    // What the loaders had to tell, UTF-8, in the order found: a list read as UTF-8, lines left
    // out and why (each naming the file and the line). Front-ends show them on standard error or
    // in the status bar.
    std::vector<std::string> notices;
    // A settings or list file whose name is taken by something that is not a regular file (a
    // FIFO, a folder, a device; for the settings also a symbolic link), named with why (UTF-8).
    // Nothing is loaded then, and nothing may run: front-ends end with status 2.
    std::string irregularFile;
    // Why no job may run (UTF-8): a site URL whose pages' URLs do not fit their fields. Empty
    // when the jobs may run.
    std::string cannotRun;
};

// In the current (working) folder: settings from "Tickora.ini", the market table from
// "market.csv", the fetch list from "fetchlist.csv" (skipped without a market table), then the
// work folder "Webtemp" (also skipped without a market table). The loaders' notices are added to
// objects.notices. The list composes its quote URLs on hosts, and every page URL is checked to fit
// them. Temporary files that processes which no longer exist left behind are removed. A file that
// is not a regular file stops it before anything is read (objects.irregularFile).
void LoadStartupObjects(StartupObjects& objects, const SiteHosts& hosts);

// "Tickora.ini: not a regular file; ..." for the first of the settings and list files whose name
// is taken by something else than a regular file; empty when each is one or missing.
[[nodiscard]] std::string IrregularStartupFile();

}  // namespace tickora
