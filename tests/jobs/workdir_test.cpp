// SPDX-License-Identifier: GPL-3.0-or-later
// Which working folder a start picks, and the per-user folder it sets up on first use.
#include "jobs/workdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

using test::ReadFileBytes;
using test::ScopedWorkDir;
using test::WriteFileBytes;

namespace fs = std::filesystem;

struct ChoiceCase {
    const char* name;
    const char* commandLine;
    const char* tickoraHome;
    const char* currentHolds;  // a file laid in the current folder, or nullptr
    const char* xdgDataHome;   // relative to the test folder when it starts without '/'
    WorkdirSource source;
    const char* folder;  // expected, relative to the test folder
};

TEST(ChooseWorkdir, CommandLineThenEnvironmentThenAFolderInUseThenThePerUserFolder) {
    ScopedWorkDir dir;
    const fs::path root = dir.Path();
    fs::create_directories(root / "cwd");
    WriteFileBytes(root / "installed.csv", "1,T, market\r\n");
    const ChoiceCase cases[] = {
        {"option", "w", "h", "Tickora.ini", nullptr, WorkdirSource::kCommandLine, "cwd/w"},
        {"absolute option", "/abs/w", "h", nullptr, nullptr, WorkdirSource::kCommandLine, "/abs/w"},
        {"TICKORA_HOME", "", "h", "market.csv", nullptr, WorkdirSource::kEnvironment, "cwd/h"},
        {"settings here", "", "", "Tickora.ini", nullptr, WorkdirSource::kCurrentFolder, "cwd"},
        {"market here", "", "", "market.csv", nullptr, WorkdirSource::kCurrentFolder, "cwd"},
        {"only a list here", "", "", "fetchlist.csv", nullptr, WorkdirSource::kUserFolder,
         "home/.local/share/tickora"},
        {"XDG_DATA_HOME", "", "", nullptr, "/xdg", WorkdirSource::kUserFolder, "xdg/tickora"},
        {"relative XDG_DATA_HOME is ignored", "", "", nullptr, "xdg", WorkdirSource::kUserFolder,
         "home/.local/share/tickora"},
    };
    for (const ChoiceCase& c : cases) {
        fs::remove_all(root / "cwd");
        fs::create_directories(root / "cwd");
        if (c.currentHolds != nullptr) {
            WriteFileBytes(root / "cwd" / c.currentHolds, "x");
        }
        WorkdirInputs inputs;
        inputs.commandLine = c.commandLine;
        inputs.tickoraHome = c.tickoraHome;
        if (c.xdgDataHome != nullptr) {
            inputs.xdgDataHome =
                c.xdgDataHome[0] == '/' ? (root.string() + c.xdgDataHome) : c.xdgDataHome;
        }
        inputs.home = (root / "home").string();
        inputs.currentFolder = root / "cwd";
        inputs.installedMarket = root / "installed.csv";

        const WorkdirChoice choice = ChooseWorkdir(inputs);
        ASSERT_TRUE(choice.ok) << c.name << ": " << choice.error;
        EXPECT_EQ(choice.source, c.source) << c.name;
        const fs::path expected = c.folder[0] == '/' ? fs::path(c.folder) : root / c.folder;
        EXPECT_EQ(choice.folder, expected) << c.name;
        if (c.source == WorkdirSource::kUserFolder) {
            EXPECT_EQ(ReadFileBytes(expected / "market.csv"), "1,T, market\r\n") << c.name;
        }
    }
}

TEST(ChooseWorkdir, ThePerUserFolderGetsTheMarketTableOnceAndKeepsTheUsersOwn) {
    ScopedWorkDir dir;
    WriteFileBytes(dir.Path() / "installed.csv", "installed");
    WorkdirInputs inputs;
    inputs.home = (dir.Path() / "home").string();
    inputs.currentFolder = dir.Path();
    inputs.installedMarket = dir.Path() / "installed.csv";

    WorkdirChoice choice = ChooseWorkdir(inputs);
    ASSERT_TRUE(choice.ok) << choice.error;
    EXPECT_TRUE(choice.marketCopied);
    WriteFileBytes(choice.folder / "market.csv", "edited by the user");
    choice = ChooseWorkdir(inputs);
    EXPECT_FALSE(choice.marketCopied);
    EXPECT_EQ(ReadFileBytes(choice.folder / "market.csv"), "edited by the user");
    EXPECT_EQ(std::distance(fs::directory_iterator(choice.folder), fs::directory_iterator()), 1)
        << "no side file is left";

    // No installed table: the folder is still made, and start-up says "market.csv not found.".
    inputs.home = (dir.Path() / "other").string();
    inputs.installedMarket.clear();
    choice = ChooseWorkdir(inputs);
    ASSERT_TRUE(choice.ok);
    EXPECT_TRUE(fs::is_directory(choice.folder));
    EXPECT_FALSE(fs::exists(choice.folder / "market.csv"));

    // Nowhere to go.
    inputs.home.clear();
    choice = ChooseWorkdir(inputs);
    EXPECT_FALSE(choice.ok);
    EXPECT_NE(choice.error.find("HOME is not set"), std::string::npos) << choice.error;

    // A per-user folder that cannot be made: a file is in its way.
    WriteFileBytes(dir.Path() / "blocked", "");
    inputs.xdgDataHome = (dir.Path() / "blocked").string();
    choice = ChooseWorkdir(inputs);
    EXPECT_FALSE(choice.ok);
    EXPECT_NE(choice.error.find("cannot create the working folder"), std::string::npos)
        << choice.error;
}

TEST(ChooseWorkdir, TheBuildTreeHoldsTheInstalledFilesBesideItsPrograms) {
    // The test binary lies in <build>/tests, as the programs lie in <prefix>/bin.
    EXPECT_FALSE(InstalledDataFile("tickora/market.csv").empty());
    EXPECT_FALSE(InstalledDataFile("doc/tickora/Documents/index.html").empty());
    EXPECT_TRUE(InstalledDataFile("tickora/absent.csv").empty());
}

}  // namespace
}  // namespace tickora
