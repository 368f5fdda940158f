// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The name dictionary "VorlaneEx.DIC": 10,000 records of 1,024 bytes addressed by stock code.
#include "catalog/market_table.h"
#include "catalog/stock_list.h"

namespace tickora {

inline constexpr const char* kDictionaryPath = "VorlaneEx.DIC";
inline constexpr int kDictionaryRecords = 10000;
inline constexpr int kDictionaryRecordSize = 1024;

struct CompanyProfile {
    char m_szFeature[256];
    char m_szBusiness[256];
    char m_szIndustry[64];
    char m_szMarket[64];
};

[[nodiscard]] bool DictionaryExists();
[[nodiscard]] bool DictionaryHasEntry(int code);
// Creates and fills the file from the list when it does not exist. Returns 0, or the system's
// error (errno) when the file is there but cannot be updated or cannot be created.
[[nodiscard]] int CreateDictionaryIfMissing(const CStockList& list);
// Writes the stock's record. Returns 0, or the system's error (errno) when the record could not
// be written (a code outside 1..9999 is no record and gives EINVAL).
[[nodiscard]] int WriteProfileToDictionary(int code, const CompanyProfile& profile,
                                           const CMarketTable& markets);
[[nodiscard]] int MarketNumberOfName(const char* text, const CMarketTable& markets);
[[nodiscard]] int IndustryNumberOfName(const char* text);

}  // namespace tickora
