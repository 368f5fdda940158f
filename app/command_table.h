// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's commands as data: identifiers, menu texts, prompts and accelerators. The frame
// builds its menus, tool bar and shortcuts from these tables, and the tests check them.
#include <span>
#include <string_view>

namespace tickora::gui {

enum CommandId : int {
    kIdFetch = 32771,
    kIdMakeFetchList = 32773,
    kIdSettings = 32775,
    kIdMakeKdtMenu = 32776,  // shown, never handled: item and button stay disabled
    kIdUsersGuide = 32780,
    kIdMakeKdt = 32781,  // reached by Alt+K only
    kIdGetProfiles = 32782,
    kIdGetPerformance = 32783,
    kIdConnectionSettings = 32784,  // the site and how it is reached: "connection.toml"
    kIdHistoryJob = 32785,          // the history job's dialog from the menu (Alt+K's command)
    kIdOpenOutputFolder = 32786,
    kIdViewResults = 32787,  // the results of the last job
    kIdViewRuns = 32788,     // the outcomes of earlier runs in this working folder
    kIdViewChart = 32789,    // one stock's stored history
    kIdViewQuotes = 32790,   // the day's quotes as a table
    kIdRetryFailed = 32791,  // the history or profile job again, on the stocks its last run failed
    kIdGuideWindow = 32792,  // F1: the user's guide inside the program
    kIdDaily = 32793,        // the day's routine: quotes, figures, histories, retry, check
    kIdCheckData = 32799,    // the day's check of the stored files, shown under 検証 in 結果
    kIdFileNew = 57600,
    kIdFileOpen = 57601,
    kIdSaveQuoteFile = 57603,
    kIdFilePrint = 57607,
    kIdEditCopy = 57634,
    kIdEditCut = 57635,
    kIdEditUndo = 57643,
    kIdEditPaste = 57637,
    kIdAppAbout = 57664,
    kIdAppExit = 57665,
    kIdViewToolBar = 59392,
    kIdViewStatusBar = 59393,
};

inline constexpr int kSeparator = 0;

struct CommandInfo {
    int id;
    // Menu item text as stored: mnemonic with '&', a tab before the accelerator text; empty when
    // the command has no menu item. UTF-8.
    std::string_view menuText;
    // Status-line prompt and tool tip separated by '\n'; empty when the command has none.
    std::string_view prompt;
    // Accelerators in QKeySequence portable form, separated by ';'.
    std::string_view accelerators;
    // Commands without a handler are shown disabled.
    bool handled;
};

struct MenuInfo {
    std::string_view title;
    std::span<const int> items;  // command ids in order; kSeparator for a separator
};

[[nodiscard]] std::span<const CommandInfo> Commands();
[[nodiscard]] std::span<const MenuInfo> Menus();
[[nodiscard]] std::span<const int> ToolBarButtons();  // kSeparator for a gap
[[nodiscard]] const CommandInfo* FindCommand(int id);

// The two halves of a prompt; each empty when absent.
[[nodiscard]] std::string_view StatusPrompt(const CommandInfo& command);
[[nodiscard]] std::string_view ToolTip(const CommandInfo& command);
// The menu text before the tab, and the accelerator text after it.
[[nodiscard]] std::string_view MenuLabel(const CommandInfo& command);

inline constexpr std::string_view kReadyText = "ﾚﾃﾞｨ";
inline constexpr std::string_view kAppTitle = "Tickora";
inline constexpr std::string_view kUntitled = "無題";
inline constexpr std::string_view kVersionText = "v1.1.5";
inline constexpr std::string_view kCopyrightText = "Copyright © 2026 Tickora";
inline constexpr std::string_view kLicenceText =
    "このプログラムはフリーソフトウェアです。GNU 一般公衆利用許諾書 (GNU General Public "
    "License) バージョン 3 またはそれ以降のバージョン (GPL-3.0-or-later) の条件の下で再配布・"
    "改変できます。このプログラムは無保証です。詳しくは "
    "<a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">GPL-3.0</a> をご覧ください。";
// What the status line says when no browser could show the guide and the program shows it.
inline constexpr std::string_view kNoBrowserText =
    "ブラウザを起動できないため、ユーザーズガイドをこのプログラムの中で開きました (F1 "
    "でも開けます)";

}  // namespace tickora::gui
