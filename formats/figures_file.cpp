// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/figures_file.h"

#include <algorithm>
#include <cstring>

#include "catalog/app_settings.h"
#include "formats/atomic_file.h"

namespace tickora {

std::string FiguresFileName(const CStockList& list, const char* folder) {
    const std::optional<QuoteDay> day = list.QuoteDayOfList();
    if (!day || folder == nullptr) {
        return {};
    }
    char name[64];
    std::snprintf(name, sizeof name, "FN%02d%02d%02d.DAT", day->year - 2000, day->month, day->day);
    // The folder is stored in Shift-JIS; the file system names it in UTF-8. An empty folder means
    // the working folder, never the root of the file system.
    const std::string base = OutputFolderPath(folder);
    return base.empty() ? std::string() : base + "/" + name;
}

std::string WriteFiguresFile(const CStockList& list, int count, const char* folder, int* error,
                             Whole whole) {
    const std::string path = FiguresFileName(list, folder);
    if (path.empty()) {
        return {};
    }
    const QuoteDay day = *list.QuoteDayOfList();  // the path above exists only with a list

    AtomicFile file;
    if (!file.Open(path)) {
        if (error != nullptr) {
            *error = file.Error();
        }
        return {};
    }
    std::fprintf(file.Get(), "%02d%02d%02d\r\n", day.year - 2000, day.month, day.day);
    std::fprintf(file.Get(), "%d\r\n", count);
    for (int i = 0; i < list.m_nBlocks; ++i) {
        if (const CQuoteBlock* block = list.GetBlock(i)) {
            WriteFiguresLines(*block, file.Get());
        }
    }
    // The day's file that this one replaces stays as its backup.
    if (file.Commit(KeepOld::kAsBackup, whole)) {
        return path;
    }
    if (error != nullptr) {
        *error = file.Error();
    }
    return {};
}

void WriteFiguresLines(const CQuoteBlock& block, std::FILE* out) {
    const int used = std::min(block.m_nStocks, kStocksPerBlock);
    for (int slot = 0; slot < used; ++slot) {
        WriteFiguresLine(block.m_aStocks[slot], out);
    }
}

void WriteFiguresLine(const CStockRecord& stock, std::FILE* out) {
    const double* f = stock.m_adFigures;
    // Figures 3 and 5 can be zero or negative for a stock that has figures, so they do not decide.
    if (!(f[0] > 0 || f[1] > 0 || f[3] > 0)) {
        return;
    }
    char name[sizeof stock.m_szName + 1] = {};
    std::memcpy(name, stock.m_szName, sizeof stock.m_szName);
    std::fprintf(out, "%04d,%d,%s,%.2f,%.2f,%.2f,%.2f,%.2f\r\n", stock.m_nCode, 0, name, f[0], f[1],
                 f[2], f[3], f[4]);
}

}  // namespace tickora
