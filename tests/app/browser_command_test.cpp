// SPDX-License-Identifier: GPL-3.0-or-later
// The browser command of the user's guide: where the guide path goes, the cut before "-nohome",
// and how $BROWSER and desktop entries are turned into such a command.
#include "app/browser_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "jobs/workdir.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/temp_dir.h"

namespace tickora::gui {
namespace {

struct Case {
    const char* command;
    const char* expected;
};

TEST(BrowserCommand, PlacesTheGuidePathOrAppendsItQuoted) {
    const std::string guide = "/home/u/Tickora/Documents/index.html";
    const Case cases[] = {
        // The cut keeps the space before "-", and the join adds one more.
        {"\"C:\\Program Files\\IE\\iexplore.exe\" -nohome",
         "\"C:\\Program Files\\IE\\iexplore.exe\"  \"/home/u/Tickora/Documents/index.html\""},
        {"\"C:\\browser.exe\" \"%1\"",
         "\"C:\\browser.exe\" \"/home/u/Tickora/Documents/index.html\""},
        {"%1", "/home/u/Tickora/Documents/index.html"},
        {"firefox", "firefox \"/home/u/Tickora/Documents/index.html\""},
        {"", " \"/home/u/Tickora/Documents/index.html\""},
        // Whichever comes first wins: a later "%1" is cut away with the rest.
        {"b -nohome \"%1\"", "b  \"/home/u/Tickora/Documents/index.html\""},
        {"b \"%1\" -nohome", "b \"/home/u/Tickora/Documents/index.html\" -nohome"},
        // Only the exact marker counts.
        {"b -nohom", "b -nohom \"/home/u/Tickora/Documents/index.html\""},
        {"b nohome", "b nohome \"/home/u/Tickora/Documents/index.html\""},
        {"b %2 %", "b %2 % \"/home/u/Tickora/Documents/index.html\""},
        {"b -nohomepage", "b  \"/home/u/Tickora/Documents/index.html\""},
        {"b %1 %1", "b /home/u/Tickora/Documents/index.html %1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildBrowserCommand(c.command, guide), c.expected) << c.command;
    }
}

TEST(BrowserCommand, DesktopExecFieldCodesBecomeOneQuotedArgument) {
    const Case cases[] = {
        {"firefox-esr %u", "firefox-esr \"%1\""},
        {"chromium %U", "chromium \"%1\""},
        {"viewer \"%f\"", "viewer \"%1\""},
        {"x %% %i %c %u %u", "x %   \"%1\""},
        {"epiphany", "epiphany"},
        {"b --new-window %u ", "b --new-window \"%1\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DesktopExecToCommand(c.command), c.expected) << c.command;
    }
}

TEST(BrowserCommand, EnvironmentValueTakesItsFirstEntry) {
    const Case cases[] = {
        {"firefox:chromium", "firefox"},
        {"lynx %s", "lynx \"%1\""},
        {"w3m '%s':links", "w3m '%1'"},
        {"/opt/b/browser", "/opt/b/browser"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BrowserFromEnvironmentValue(c.command), c.expected) << c.command;
    }
}

TEST(BrowserCommand, ExecIsReadFromTheDesktopEntryGroupOnly) {
    const std::string file =
        "[Desktop Action new-window]\nExec=wrong --new-window %u\n"
        "[Desktop Entry]\r\nName=B\r\nExec=browser %u\r\n"
        "[Desktop Action private]\nExec=wrong --private %u\n";
    EXPECT_EQ(ExecOfDesktopEntry(file), "browser %u");
    EXPECT_EQ(ExecOfDesktopEntry("[Desktop Entry]\nName=x\n"), "");
}

using Args = std::vector<std::string>;

TEST(BrowserCommand, CommandLineSplitsAtBlanksOutsideQuotes) {
    const std::pair<const char*, Args> cases[] = {
        {"firefox-esr \"/home/a b/index.html\"", {"firefox-esr", "/home/a b/index.html"}},
        {"'/opt/my browser' --flag '/x y'", {"/opt/my browser", "--flag", "/x y"}},
        {"  a   b\tc ", {"a", "b", "c"}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"it's\" 'say \"hi\"'", {"it's", "say \"hi\""}},
        {"", {}},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(SplitCommandLine(line), expected) << line;
    }
}

TEST(BrowserCommand, GuidePathWithSpacesStaysOneArgument) {
    EXPECT_EQ(SplitCommandLine(BuildBrowserCommand(DesktopExecToCommand("firefox-esr %u"),
                                                   "/home/a b/Documents/index.html")),
              (Args{"firefox-esr", "/home/a b/Documents/index.html"}));
    EXPECT_EQ(SplitCommandLine(BuildBrowserCommand("viewer -nohome", "/x y/index.html")),
              (Args{"viewer", "/x y/index.html"}));
    EXPECT_EQ(
        SplitCommandLine(BuildBrowserCommand(BrowserFromEnvironmentValue("w3m '%s'"), "/x y")),
        (Args{"w3m", "/x y"}));
}

TEST(BrowserCommand, LaunchStartsTheBrowserOfTheEnvironmentOnTheGuideItFinds) {
    tickora::test::ScopedWorkDir dir;
    const std::filesystem::path script = dir.Path() / "record browser.sh";
    const std::filesystem::path record = dir.Path() / "args.txt";
    tickora::test::WriteFileBytes(script, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + record.string() +
                                              ".tmp\"\nmv \"" + record.string() + ".tmp\" \"" +
                                              record.string() + "\"\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const char* previous = std::getenv("BROWSER");
    const std::string saved = previous != nullptr ? previous : "";
    auto launch = [&] {
        std::filesystem::remove(record);
        EXPECT_TRUE(LaunchUsersGuide());
        EXPECT_TRUE(test::WaitUntil([&] { return std::filesystem::exists(record); }, 10000));
        return tickora::test::ReadFileBytes(record);
    };
    setenv("BROWSER", ("'" + script.string() + "' --flag %s").c_str(), 1);
    // A working folder without a guide of its own gets the installed one (the build tree's here).
    const std::filesystem::path installed = InstalledDataFile("doc/tickora/Documents/index.html");
    ASSERT_FALSE(installed.empty());
    EXPECT_EQ(launch(), "--flag|" + installed.string() + "|");
    std::filesystem::create_directory(dir.Path() / "Documents");
    tickora::test::WriteFileBytes(dir.Path() / "Documents" / "index.html", "<p>own</p>");
    EXPECT_EQ(launch(), "--flag|" + dir.Path().string() + "/Documents/index.html|");

    setenv("BROWSER", (dir.Path() / "no-such-browser").c_str(), 1);
    EXPECT_FALSE(LaunchUsersGuide());
    if (previous != nullptr) {
        setenv("BROWSER", saved.c_str(), 1);
    } else {
        unsetenv("BROWSER");
    }
}

}  // namespace
}  // namespace tickora::gui
