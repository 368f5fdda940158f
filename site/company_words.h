// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The vocabulary the synthetic market builds its companies from (UTF-8). Every character lies in
// JIS X 0208, so each text survives the trip UTF-8 -> Shift-JIS -> EUC-JP -> Shift-JIS unchanged.
#include <span>
#include <string_view>

namespace tickora::site {

// The 33 industry sectors, numbered 1 to 33 in this order.
[[nodiscard]] std::span<const std::string_view> IndustryNames();

// Name stems: places, family names and house words that companies are named after.
[[nodiscard]] std::span<const std::string_view> NameStems();

// The endings a company of industry (1 to 33) is named with, such as "水産" or "銀行".
[[nodiscard]] std::span<const std::string_view> IndustrySuffixes(int industry);

// Words for the feature text of a profile: what the company is known for.
[[nodiscard]] std::span<const std::string_view> IndustryProducts(int industry);

// Regions a company is "based in" for its feature text.
[[nodiscard]] std::span<const std::string_view> Regions();

// The industry of a code by the exchange's traditional code bands (1 to 33).
[[nodiscard]] int IndustryOfCodeBand(int code);

}  // namespace tickora::site
