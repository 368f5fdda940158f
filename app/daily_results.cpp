// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/daily_results.h"

#include <QDockWidget>
#include <QLabel>
#include <QTreeWidget>
#include <functional>

#include "app/main_frame.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/results_panel.h"
#include "app/runs_dlg.h"
#include "jobs/outcome_text.h"

namespace tickora::gui {

namespace {

std::string Codes(const std::vector<int>& codes) {
    std::string text;
    for (const int code : codes) {
        text += (text.empty() ? "" : ", ") + std::to_string(code);
    }
    return text;
}

// The check's findings counted in the words 結果 uses for a check alone; empty for another job.
std::string FindingsJa(const JobOutcome& outcome) {
    if (outcome.job != "check" || outcome.end == JobEnd::kNotRun) {
        return {};
    }
    return FindingsCountJa(outcome);
}

// At most this many findings are listed one by one under 検証; the check alone lists them all.
constexpr std::size_t kFindingsListed = 200;

// A section's failures grouped by cause, and what its job never asked, under its heading.
void AddSectionRows(QTreeWidgetItem* heading, const JobOutcome& outcome,
                    const std::function<std::string(int)>& nameOf) {
    const std::string neverAsked = NeverAskedJa(outcome);
    if (!neverAsked.empty()) {
        (new QTreeWidgetItem(heading, {FromUtf8(neverAsked)}))->setFirstColumnSpanned(true);
    }
    if (const std::string findings = FindingsJa(outcome); !findings.empty()) {
        (new QTreeWidgetItem(heading, {FromUtf8(findings)}))->setFirstColumnSpanned(true);
    }
    std::size_t listed = 0;
    for (const CheckFinding* finding : FindingsInOrder(outcome)) {
        if (listed++ == kFindingsListed) {
            break;
        }
        const QString line = FromUtf8(FindingLineJa(*finding, nameOf(finding->code)));
        auto* item = new QTreeWidgetItem(heading, {line});
        item->setFirstColumnSpanned(true);
        item->setToolTip(0, line);
    }
    for (const FailureGroupJa& group : FailureGroupsJa(outcome)) {
        auto* cause = new QTreeWidgetItem(heading);
        cause->setText(0,
                       FromUtf8(group.cause) + QStringLiteral(" (%1 件)").arg(group.rows.size()));
        cause->setToolTip(0, FromUtf8(group.cause));
        for (const FailureRowJa& row : group.rows) {
            auto* item = new QTreeWidgetItem(cause);
            const QString texts[] = {FromUtf8(row.what), FromUtf8(row.codes), FromUtf8(row.where),
                                     FromUtf8(row.action)};
            for (int column = 0; column < 4; ++column) {
                item->setText(column, texts[column]);
                item->setToolTip(column, texts[column]);
            }
        }
        cause->setExpanded(group.rows.size() <= 20);
    }
}

}  // namespace

std::string StageNameJa(DailyStage stage) {
    switch (stage) {
        case DailyStage::kFetch:
            return "株価";
        case DailyStage::kPerformance:
            return "業績";
        case DailyStage::kKdt:
            return "株価履歴";
        case DailyStage::kRetry:
            return "再取得";
        case DailyStage::kCheck:
            return "検証";
    }
    return {};
}

std::string SectionStateJa(SectionState state) {
    switch (state) {
        case SectionState::kRan:
            return "実行";
        case SectionState::kLeftOut:
            return "省略";
        case SectionState::kNotReached:
            return "未実行 (中止)";
        case SectionState::kNothingToRetry:
            return "再取得なし";
    }
    return {};
}

std::string SectionLineJa(const DailySection& section) {
    std::string line = StageNameJa(section.stage) + " — " + SectionStateJa(section.state);
    if (section.state != SectionState::kRan) {
        return line;
    }
    // The heading names the step; the job's own name leads only where the step does not tell
    // it (the retry round).
    std::string summary = SummaryJa(section.outcome);
    const std::string named = JobNameJa(section.outcome.job) + ": ";
    if (summary.starts_with(named)) {
        summary.erase(0, named.size());
    }
    if (section.stage == DailyStage::kRetry) {
        line += " (" + JobNameJa(section.outcome.job) + ")";
    }
    line += ": " + summary;
    if (section.stage == DailyStage::kRetry) {
        line += " (最初は終了コード " + std::to_string(section.firstStatus);
        if (!section.retriedCodes.empty()) {
            line += "、再取得した銘柄: " + Codes(section.retriedCodes);
        }
        line += ")";
    }
    return line;
}

std::string DailySummaryJa(const DailyOutcome& daily) {
    std::string line = "毎日の更新: 終了コード " + ExitStatusTextJa(daily.exitStatus).toStdString();
    if (daily.cancelled) {
        line += " (中止しました)";
    }
    std::string retried;
    std::string findings;
    for (const DailySection& section : daily.sections) {
        if (section.stage == DailyStage::kRetry && section.state == SectionState::kRan) {
            retried += (retried.empty() ? "" : "、") + JobNameJa(section.outcome.job);
        }
        if (section.stage == DailyStage::kCheck && section.state == SectionState::kRan) {
            findings = FindingsJa(section.outcome);
        }
    }
    if (!retried.empty()) {
        line += "。再取得: " + retried;
    }
    if (!findings.empty()) {
        line += "。検証: " + findings;
    }
    return line;
}

void ShowDailyOutcome(CMainFrame& frame, const DailyOutcome& daily) {
    const QString summary = FromUtf8(DailySummaryJa(daily));
    if (daily.exitStatus == kExitDone) {
        frame.ShowNote(summary);
    } else {
        frame.ShowWarningNote(summary, false);
    }
    CResultsPanel* panel = frame.Results();
    panel->SummaryLabel()->setText(summary);
    panel->NeverAskedLabel()->hide();
    QTreeWidget* tree = panel->Failures();
    tree->clear();
    for (const DailySection& section : daily.sections) {
        auto* heading = new QTreeWidgetItem(tree);
        const QString line = FromUtf8(SectionLineJa(section));
        heading->setText(0, line);
        heading->setToolTip(0, line);
        heading->setFirstColumnSpanned(true);
        if (section.state == SectionState::kRan && NeedsAttention(section.outcome)) {
            heading->setForeground(0, QColor(0xb0, 0x30, 0x00));
        }
        AddSectionRows(heading, section.outcome,
                       [&frame](int code) { return frame.Results()->StockName(code); });
        heading->setExpanded(true);
    }
    frame.ResultsDock()->show();
}

}  // namespace tickora::gui
