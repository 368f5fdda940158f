#pragma once
// The objects that live for the whole run, loaded in the order the program has always used.
#include "catalog/app_settings.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"

namespace tickora {

struct StartupObjects {
    CAppSettings settings;
    CMarketTable markets;
    CStockList stocks;
    bool marketLoaded = false;
};

// In the current (working) folder: settings from "Tickora.ini", the market table from
// "market.csv", the fetch list from "fetchlist.csv" (skipped without a market table), then the
// work folder "Webtemp". The site hosts must be set before: the list composes its quote URLs.
void LoadStartupObjects(StartupObjects& objects);

}  // namespace tickora
