#pragma once
// Small steps that several job bodies share.
#include <string>
#include <vector>

#include "catalog/stock_list.h"
#include "web/download.h"

namespace tickora {

// The stocks of a block, in slot order.
[[nodiscard]] std::vector<int> CodesOf(const CQuoteBlock& block);
// "50 stocks of block 3".
[[nodiscard]] std::string BlockItem(const CQuoteBlock& block);
// "<path>: <the system's words for error>".
[[nodiscard]] std::string FileCause(const std::string& path, int error);
// Whether something lies at path; a path that cannot even be examined counts as absent.
[[nodiscard]] bool PathExists(const std::string& path);
// Why a profile page was not read: ParseProfilePage's result in words, with the path of a kept
// page that is missing.
[[nodiscard]] std::string ProfileCause(int parsed, const std::string& path);
// "%04d".
[[nodiscard]] std::string CodeText(int code);

// Failed transfers in a row after which a job that goes on past a failed page stops anyway:
// the site or the network is gone, and every further page would fail the same way (a minute
// each when the site stalls).
inline constexpr int kTransferFailuresInARow = 3;

}  // namespace tickora
