// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/fetch_list_file.h"

#include <algorithm>
#include <cerrno>

#include "catalog/line_file.h"
#include "files/file_io.h"
#include "formats/atomic_file.h"

namespace tickora {
namespace {

bool HasSymbol(const CListSortKey& key) {
    return key.m_szSymbol[0] != '\0';
}

// Replaces the backup with a copy of the current list. The copy, not a rename, keeps a
// "fetchlist.csv" on disk at every moment, and a failed copy leaves the older backup whole. The
// backup is as private as the list it keeps.
bool BackUpFetchList() {
    std::string list;
    if (const int error = ReadWholeFile(kFetchListPath, kMaxListFileBytes, list, Links::kFollowed);
        error != 0) {
        return error == ENOENT;  // nothing to keep
    }
    return ReplaceFile(kFetchListBackupPath, list, kFetchListPath) == 0;
}

}  // namespace

int CompareListKeys(const CListSortKey& a, const CListSortKey& b) {
    const bool aRegular = a.m_nCode >= 1000 && a.m_nCode <= 9999;
    const bool bRegular = b.m_nCode >= 1000 && b.m_nCode <= 9999;
    if (aRegular == bRegular) {
        return a.m_nCode < b.m_nCode ? -1 : (a.m_nCode > b.m_nCode ? 1 : 0);
    }
    return aRegular ? 1 : -1;
}

FetchListWrite WriteFetchList(std::vector<CListSortKey> keys,
                              const std::function<void(const CListSortKey&, std::FILE*)>& writeLine,
                              int& stocks) {
    std::sort(keys.begin(), keys.end(), [](const CListSortKey& a, const CListSortKey& b) {
        return CompareListKeys(a, b) < 0;
    });
    stocks = static_cast<int>(std::count_if(keys.begin(), keys.end(), HasSymbol));
    if (stocks == 0) {
        // An empty result (the site was down, say) must not wipe out the user's list.
        return FetchListWrite::kNoStocks;
    }
    AtomicFile file;
    if (!file.Open(kFetchListPath)) {
        return FetchListWrite::kFailed;
    }
    for (const CListSortKey& key : keys) {
        if (HasSymbol(key)) {
            writeLine(key, file.Get());
        }
    }
    // The new list is complete in its temporary file; only now is the old one backed up and
    // replaced. Without a backup the old list is not given up.
    if (!BackUpFetchList() || !file.Commit()) {
        return FetchListWrite::kFailed;
    }
    return FetchListWrite::kWritten;
}

}  // namespace tickora
