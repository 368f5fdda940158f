// SPDX-License-Identifier: GPL-3.0-or-later
// A first start as a new user makes it: an empty home, started from a folder that holds nothing
// of Tickora's (the desktop menu starts programs in the home folder). The desktop program and the
// terminal each set up ~/.local/share/tickora with the installed market table and fetch there.
#include <gtest/gtest.h>

#if defined(TICKORA_BINARY) && defined(TICKORA_CLI_BINARY)

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/app_settings.h"
#include "jobs/workdir.h"
#include "site/site_server.h"
#include "tests/support/processes.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScopedWorkDir;
using test::WriteFileBytes;

// Runs program in folder with this process's environment less everything that would name a
// working folder, a site or a display, and with home as HOME. The exit status, or -1.
int RunAsNewUser(const std::vector<std::string>& args, const fs::path& folder,
                 const fs::path& home) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name.rfind("TICKORA_", 0) == 0 || name == "HOME" || name == "XDG_DATA_HOME" ||
            name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM") {
            continue;
        }
        env.push_back(entry);
    }
    env.push_back("HOME=" + home.string());
    env.push_back("QT_QPA_PLATFORM=offscreen");
    const int devNull = open("/dev/null", O_WRONLY);
    const pid_t pid = test::Spawn(args, devNull, STDERR_FILENO, folder, &env);
    close(devNull);
    return test::WaitExit(pid, std::chrono::seconds(60)).value_or(-1);
}

class FirstStart : public ::testing::Test {
  protected:
    void SetUp() override {
        site::SiteOptions options;
        options.port = 0;
        options.stocks = 60;
        m_site = std::make_unique<site::SiteServer>(options);
        ASSERT_TRUE(m_site->Start());
        fs::create_directories(m_menuFolder);
        m_installedMarket = InstalledDataFile("tickora/market.csv");
        ASSERT_FALSE(m_installedMarket.empty());
    }
    void TearDown() override { m_site->Stop(); }

    fs::path UserFolder(const std::string& home) const {
        return m_dir.Path() / home / ".local" / "share" / "tickora";
    }

    ScopedWorkDir m_dir;
    fs::path m_menuFolder = m_dir.Path() / "menu";  // holds nothing of Tickora's
    fs::path m_installedMarket;
    std::unique_ptr<site::SiteServer> m_site;
};

TEST_F(FirstStart, TheDesktopProgramSetsUpThePerUserFolderAndFetchesThere) {
    const fs::path home = m_dir.Path() / "gui-home";
    ASSERT_EQ(RunAsNewUser({TICKORA_BINARY, "--quit-when-shown"}, m_menuFolder, home), 0);
    const fs::path folder = UserFolder("gui-home");
    ASSERT_EQ(ReadFileBytes(folder / "market.csv"), ReadFileBytes(m_installedMarket));
    EXPECT_TRUE(fs::is_empty(m_menuFolder)) << "nothing lands where the menu started it";

    // The user's next start fetches by itself and ends: auto-start and exit after fetch.
    WriteFileBytes(folder / "fetchlist.csv", m_site->FetchListCsv());
    CAppSettings settings;
    std::strcpy(settings.m_szOutputDir, ".");
    settings.m_bAutoStart = 1;
    settings.m_bExitAfterFetch = 1;
    ASSERT_TRUE(settings.Save((folder / "Tickora.ini").c_str()));
    ASSERT_EQ(RunAsNewUser({TICKORA_BINARY, "--site", m_site->Url()}, m_menuFolder, home), 0);
    EXPECT_TRUE(!test::DailyFilesIn(folder).empty());
}

TEST_F(FirstStart, TheTerminalSetsUpThePerUserFolderAndFetchesThere) {
    const fs::path home = m_dir.Path() / "cli-home";
    ASSERT_EQ(RunAsNewUser({TICKORA_CLI_BINARY, "--site", m_site->Url(), "fetchlist"}, m_menuFolder,
                           home),
              0);
    const fs::path folder = UserFolder("cli-home");
    ASSERT_EQ(ReadFileBytes(folder / "market.csv"), ReadFileBytes(m_installedMarket));
    ASSERT_TRUE(fs::exists(folder / "fetchlist.csv"));
    ASSERT_EQ(
        RunAsNewUser({TICKORA_CLI_BINARY, "--site", m_site->Url(), "fetch"}, m_menuFolder, home),
        0);
    EXPECT_TRUE(!test::DailyFilesIn(folder).empty());
    EXPECT_TRUE(fs::is_empty(m_menuFolder));
}

}  // namespace
}  // namespace tickora

#endif
