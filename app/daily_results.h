// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The day's routine in the window's words: the status bar's line for the whole routine, and in
// 結果 one section per step, each with its state and its job's outcome as 結果 shows a job's.
#include <string>

#include "jobs/daily_job.h"

namespace tickora::gui {

class CMainFrame;

// "株価", "業績", "株価履歴", "再取得", "検証".
[[nodiscard]] std::string StageNameJa(DailyStage stage);
// "実行", "省略", "未実行 (中止)", "再取得なし".
[[nodiscard]] std::string SectionStateJa(SectionState state);
// The section's heading: "株価履歴 — 実行: 60/60 銘柄、…"; the retry round names its job and the
// stocks it asked again: "再取得 — 実行 (株価履歴取得): 1/1 銘柄、… (最初は終了コード 4、再取得した
// 銘柄: 1301)".
[[nodiscard]] std::string SectionLineJa(const DailySection& section);
// The routine's line: "毎日の更新: 終了コード 4 一部失敗 (再取得: 業績情報取得)"; a check's
// findings are counted, never read as a failure.
[[nodiscard]] std::string DailySummaryJa(const DailyOutcome& daily);

// The status bar's line (in the warning colour when the status is not 0) and the sections in 結果,
// which opens by itself.
void ShowDailyOutcome(CMainFrame& frame, const DailyOutcome& daily);

}  // namespace tickora::gui
