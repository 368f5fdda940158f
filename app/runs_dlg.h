// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// 履歴: the outcomes of the runs kept in the working folder, newest first, from this program and
// from tickora-cli alike. The run picked shows in full below the list.
#include <QDialog>
#include <vector>

#include "jobs/run_history.h"

class QTableWidget;

namespace tickora::gui {

class CResultsPanel;

class CRunsDlg : public QDialog {
    Q_OBJECT

  public:
    CRunsDlg(std::vector<RunRecord> runs, QWidget* parent = nullptr);

    [[nodiscard]] QTableWidget* Table() const { return m_pTable; }
    [[nodiscard]] CResultsPanel* Details() const { return m_pDetails; }

  private:
    void ShowRun(int row);

    std::vector<RunRecord> m_runs;
    QTableWidget* m_pTable;
    CResultsPanel* m_pDetails;
};

// "完了", "中断", "キャンセル", "エラー", "実行せず".
[[nodiscard]] QString EndTextJa(JobEnd end);

// The exit status tickora-cli gives, with what it means: "0 完了", "4 一部失敗", ...
[[nodiscard]] QString ExitStatusTextJa(int status);

// When a run ended, in the local time of this program and without an offset:
// "2026-12-08T08:19:08+0000" is "2026/12/08 17:19:08" in Tokyo. A text that is no such time is
// shown as it came.
[[nodiscard]] QString RunTimeJa(const std::string& endedAt);

}  // namespace tickora::gui
