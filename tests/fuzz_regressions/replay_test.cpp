// SPDX-License-Identifier: GPL-3.0-or-later
// Every input a fuzz target once failed on, and every seed, replayed through the same entry
// functions under the normal build, so a fixed fault stays fixed without a fuzzing run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/entries.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;

using Entry = void (*)(const std::uint8_t*, std::size_t);

struct Target {
    const char* name;
    Entry entry;
};

const Target kTargets[] = {
    {"toolkit", fuzz::Toolkit},          {"market_table", fuzz::MarketTableFile},
    {"stock_list", fuzz::StockListFile}, {"app_settings", fuzz::AppSettingsFile},
    {"quote_page", fuzz::QuotePage},     {"figures_page", fuzz::FiguresPage},
    {"list_pages", fuzz::ListPage},      {"history_page", fuzz::HistoryPage},
    {"profile_page", fuzz::ProfilePage},
};

std::vector<fs::path> FilesUnder(const fs::path& folder) {
    std::vector<fs::path> files;
    if (fs::is_directory(folder)) {
        for (const auto& item : fs::directory_iterator(folder)) {
            if (item.is_regular_file()) {
                files.push_back(item.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

void Replay(const Target& target, const fs::path& file) {
    SCOPED_TRACE(file.string());
    const std::string bytes = test::ReadFileBytes(file);
    try {
        target.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
}

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, SavedFindingsStayFixed) {
    for (const fs::path& file :
         FilesUnder(test::SourcePath("fuzz/regressions") / GetParam().name)) {
        Replay(GetParam(), file);
    }
}

TEST_P(FuzzReplay, SeedsKeepTheirPromises) {
    const std::vector<fs::path> seeds =
        FilesUnder(test::SourcePath("fuzz/corpus") / GetParam().name);
    EXPECT_FALSE(seeds.empty()) << "every target has seeds";
    for (const fs::path& file : seeds) {
        Replay(GetParam(), file);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tickora
