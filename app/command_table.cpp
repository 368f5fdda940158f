// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_table.h"

#include <algorithm>
#include <array>

namespace tickora::gui {
namespace {

// The texts of the framework's own commands are those the Japanese framework has always shown.
constexpr std::array kCommands = {
    CommandInfo{kIdFetch, "Fetch", "金融情報サイトから当日の株価データを取得する\n株価データ取得",
                "", true},
    CommandInfo{kIdMakeFetchList, "fetchlist.csv生成...",
                "取得リストファイルfetchlist.csv生成\nfetchlist.csv生成", "", true},
    CommandInfo{kIdMakeKdtMenu, "KDTファイル生成...",
                "ＶｏｒｌａｎｅのKDTファイル生成\nKDTファイル生成", "", false},
    CommandInfo{kIdMakeKdt, "", "", "Alt+K", true},
    CommandInfo{kIdHistoryJob, "株価履歴取得...",
                "銘柄を指定して株価履歴を取得し、KDTファイルに保存する\n株価履歴取得", "", true},
    CommandInfo{kIdRetryFailed, "失敗した銘柄を再取得...",
                "前回の株価履歴取得または基本情報取得で取得できなかった銘柄だけを取得し直す\n"
                "失敗した銘柄を再取得",
                "", true},
    CommandInfo{kIdDaily, "毎日の更新",
                "株価取得・業績情報取得・株価履歴の差分更新・失敗分の再取得・検証を続けて実行する\n"
                "毎日の更新",
                "", true},
    CommandInfo{kIdOpenOutputFolder, "出力フォルダを開く",
                "出力先ディレクトリをファイルマネージャで開く\n出力フォルダを開く", "", true},
    CommandInfo{kIdGetProfiles, "基本情報取得...", "基本情報を取得する\n基本情報取得", "", true},
    CommandInfo{kIdGetPerformance, "業績情報取得...", "業績情報を取得する\n業績情報取得", "", true},
    CommandInfo{kIdSaveQuoteFile, "株取虫ファイル保存(&S)\tCtrl+S",
                "取得した株価データを株取虫ファイルとして保存\n保存", "Ctrl+S", true},
    CommandInfo{kIdAppExit, "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)", "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示\n終了", "",
                true},
    CommandInfo{kIdEditUndo, "元に戻す(&U)\tCtrl+Z", "直前に行った動作を元に戻す\n元に戻す",
                "Ctrl+Z;Alt+Backspace", false},
    CommandInfo{kIdEditCut, "切り取り(&T)\tCtrl+X",
                "選択範囲を切り取って、ｸﾘｯﾌﾟﾎﾞｰﾄﾞに移動する\n切り取り", "Ctrl+X;Shift+Del", false},
    CommandInfo{kIdEditCopy, "ｺﾋﾟｰ(&C)\tCtrl+C", "選択範囲をｺﾋﾟｰして、ｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存する\nｺﾋﾟｰ",
                "Ctrl+C;Ctrl+Ins", false},
    CommandInfo{kIdEditPaste, "貼り付け(&P)\tCtrl+V", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を挿入する\n貼り付け",
                "Ctrl+V;Shift+Ins", false},
    CommandInfo{kIdSettings, "初期設定...", "初期設定\n初期設定", "", true},
    CommandInfo{kIdConnectionSettings, "接続設定...",
                "金融情報サイトのアドレス、再試行、間隔、タイムアウト、同時接続数\n接続設定", "",
                true},
    CommandInfo{kIdViewToolBar, "ﾂｰﾙ ﾊﾞｰ(&T)", "ﾂｰﾙ ﾊﾞｰの表示/非表示\nﾂｰﾙ ﾊﾞｰの表示/非表示", "",
                true},
    CommandInfo{kIdViewStatusBar, "ｽﾃｰﾀｽ ﾊﾞｰ(&S)", "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示\nｽﾃｰﾀｽ ﾊﾞｰの表示/非表示",
                "", true},
    CommandInfo{kIdViewResults, "結果(&R)", "最後に実行した処理の結果の表示/非表示\n結果", "",
                true},
    CommandInfo{kIdViewRuns, "履歴(&H)...", "この作業フォルダで実行した処理の結果の一覧\n履歴", "",
                true},
    CommandInfo{kIdViewChart, "チャート(&C)...", "銘柄の株価履歴をチャートで見る\nチャート", "",
                true},
    CommandInfo{kIdViewQuotes, "株価一覧(&Q)...", "取得した当日の株価を表で見る\n株価一覧", "",
                true},
    CommandInfo{
        kIdCheckData, "データを検証(&K)",
        "保存した当日の株価と株価履歴を取引所のルールと照らし合わせ、結果の 検証 に表示する\n"
        "データを検証",
        "", true},
    CommandInfo{kIdAppAbout, "Tickora のﾊﾞｰｼﾞｮﾝ情報(&A)...",
                "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示\nﾊﾞｰｼﾞｮﾝ情報", "", true},
    CommandInfo{kIdUsersGuide, "ユーザーズガイド",
                "ブラウザでユーザーズガイドを見る\nユーザーズガイド", "", true},
    CommandInfo{kIdGuideWindow, "", "", "F1", true},
    CommandInfo{kIdFileNew, "", "", "Ctrl+N", true},
    CommandInfo{kIdFileOpen, "", "", "Ctrl+O", true},
    CommandInfo{kIdFilePrint, "", "", "Ctrl+P", true},
};

constexpr std::array<int, 13> kFileItems = {
    kIdFetch,       kIdMakeFetchList,  kIdMakeKdtMenu,      kIdHistoryJob,
    kIdGetProfiles, kIdGetPerformance, kIdRetryFailed,      kIdDaily,
    kSeparator,     kIdSaveQuoteFile,  kIdOpenOutputFolder, kSeparator,
    kIdAppExit};
constexpr std::array<int, 8> kEditItems = {kIdEditUndo, kSeparator,           kIdEditCut,
                                           kIdEditCopy, kIdEditPaste,         kSeparator,
                                           kIdSettings, kIdConnectionSettings};
constexpr std::array<int, 8> kViewItems = {kIdViewToolBar, kIdViewStatusBar, kSeparator,
                                           kIdViewResults, kIdViewRuns,      kIdViewChart,
                                           kIdViewQuotes,  kIdCheckData};
constexpr std::array<int, 2> kHelpItems = {kIdAppAbout, kIdUsersGuide};

constexpr std::array kMenus = {
    MenuInfo{"ﾌｧｲﾙ(&F)", kFileItems},
    MenuInfo{"編集(&E)", kEditItems},
    MenuInfo{"表示(&V)", kViewItems},
    MenuInfo{"ﾍﾙﾌﾟ(&H)", kHelpItems},
};

constexpr std::array<int, 8> kToolBar = {kIdFetch,         kIdMakeFetchList, kIdMakeKdtMenu,
                                         kIdSaveQuoteFile, kSeparator,       kIdSettings,
                                         kSeparator,       kIdAppAbout};

}  // namespace

std::span<const CommandInfo> Commands() {
    return kCommands;
}
std::span<const MenuInfo> Menus() {
    return kMenus;
}
std::span<const int> ToolBarButtons() {
    return kToolBar;
}

const CommandInfo* FindCommand(int id) {
    const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                                 [id](const CommandInfo& c) { return c.id == id; });
    return it == kCommands.end() ? nullptr : &*it;
}

std::string_view StatusPrompt(const CommandInfo& command) {
    return command.prompt.substr(0, command.prompt.find('\n'));
}

std::string_view ToolTip(const CommandInfo& command) {
    const auto nl = command.prompt.find('\n');
    return nl == std::string_view::npos ? std::string_view{} : command.prompt.substr(nl + 1);
}

std::string_view MenuLabel(const CommandInfo& command) {
    return command.menuText.substr(0, command.menuText.find('\t'));
}

}  // namespace tickora::gui
