// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/save_note.h"

#include <cerrno>

#include "app/outcome_ja.h"
#include "files/local_file.h"
#include "formats/atomic_file.h"

namespace tickora::gui {
namespace {

std::string Stocks(int count) {
    return Thousands(count) + " 銘柄";
}

std::string SystemWords(int error) {
    if (error == kTooManyVersions) {
        return "完全か分からない前の版がすでに " + std::to_string(kMostNumberedBackups) +
               " 個あり、これ以上は残せないため置き換えませんでした。.bak.1 などを確かめて、"
               "要らない版を移すか消してください";
    }
    // The program's own words for what it refuses to open; the system's are shown as they came.
    if (error == ELOOP) {
        return "シンボリックリンクはたどりません";
    }
    if (error == kNotRegularFile) {
        return "通常のファイルではありません";
    }
    return LocalFileErrorText(error);
}

std::string ReadFaultJa(const SaveResult& result) {
    switch (result.fault) {
        case QuoteReadFault::kCannotOpen:
            return SystemWords(result.error);
        case QuoteReadFault::kTooLarge:
            return "大きすぎます";
        case QuoteReadFault::kNotQuoteFile:
            return "株取虫ファイルの見出しではありません";
        case QuoteReadFault::kBadLine:
            return Thousands(result.faultLine) + " 行目が株取虫ファイルの行ではありません";
        case QuoteReadFault::kNone:
            break;
    }
    return {};
}

// What was written, and what the reader of the note should know of it.
std::string WrittenJa(const SaveResult& result) {
    std::string text;
    if (result.end == SaveEnd::kUnchanged) {
        text = "株取虫ファイル " + result.path + " は保存済みの内容と同じです (" +
               Stocks(result.stocks) + ")。書き換えていません";
    } else if (result.end == SaveEnd::kRewritten) {
        // The file and its stocks first: the status bar may show no more than that.
        text = LayoutNameJa(result.layout) + " で保存しました: " + result.path + " (" +
               Stocks(result.stocks) + ")。保存済みの" + LayoutNameJa(result.sourceLayout) +
               "のファイル" +
               (result.source == result.path ? std::string() : " " + result.source + " ") +
               "から書き直しました";
    } else {
        text = "株取虫ファイルを保存しました: " + result.path + " (" + Stocks(result.stocks) + ")";
    }
    if (result.replacedStocks > result.stocks) {
        text += "。置き換えたファイルの " + Stocks(result.replacedStocks) + "より少なくなりました";
        if (!result.wholeBackup.empty()) {
            text += "。その日の完全なファイルは " + result.wholeBackup + " にあります";
        }
    }
    if (result.namesCut > 0) {
        text += "。" + Stocks(result.namesCut) +
                "の銘柄名は保存済みのファイルにあった先頭 12 バイトだけです";
    }
    if (result.marketsUnknown > 0) {
        text += "。" + Stocks(result.marketsUnknown) + "の市場は market.csv にありません";
    }
    if (!result.setAside.empty()) {
        text += "。完全か分からない前の版を " + result.setAside + " に残しました";
    }
    return text;
}

}  // namespace

std::string LayoutNameJa(int layout) {
    switch (layout) {
        case 1:
            return "株取虫32";
        case 2:
            return "株取虫DOS";
        default:
            return "株取虫もどき";
    }
}

std::string SaveNoteJa(const SaveResult& result) {
    switch (result.end) {
        case SaveEnd::kWritten:
        case SaveEnd::kRewritten:
        case SaveEnd::kUnchanged:
            return WrittenJa(result);
        case SaveEnd::kNoList:
            return "fetchlist.csv に銘柄がないため、保存するものがありません";
        case SaveEnd::kJobRunning:
            return "処理の実行中は保存できません";
        case SaveEnd::kFolderBusy:
            return "保存しませんでした: " + PhraseJa(result.why);
        case SaveEnd::kNothingStored:
            return "保存しませんでした: この起動ではまだ株価を取得しておらず、保存済みの " +
                   result.path + " もありません";
        case SaveEnd::kUnreadable:
            return "保存しませんでした: 保存済みの " + result.source + " を読めません (" +
                   ReadFaultJa(result) + ")。ファイルはそのままです";
        case SaveEnd::kOtherDay:
            return "保存しませんでした: " + result.source +
                   " は別の日の株価です。ファイルはそのままです";
        case SaveEnd::kNotWritten:
            if (!result.why.empty()) {
                return "株取虫ファイルを書けませんでした: " + result.why +
                       " がフォルダのため、どのファイルが完全かを記録できません。"
                       "何も置き換えていません";
            }
            return "株取虫ファイルを書けませんでした: " + result.path + ": " +
                   SystemWords(result.error);
    }
    return {};
}

}  // namespace tickora::gui
