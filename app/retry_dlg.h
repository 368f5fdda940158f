// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// 失敗した銘柄を再取得...: what the retry follows and what it will ask, said before anything is
// asked: the run (its job and when it ended, in local time), how many stocks, the first of their
// codes and the options it repeats. Only what the run did not keep is asked (a record of an older
// version kept no options); a stock code is never asked, the run names its stocks.
#include <QDialog>
#include <QString>

#include "jobs/retry_plan.h"

class QCheckBox;
class QFormLayout;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tickora::gui {

// "前回 (2026/12/07 19:02:44) の株価履歴取得で失敗した 17 銘柄を再取得します". Stocks the run never
// reached are retried too, and then the sentence says so. started: "…を再取得しています", for the
// status bar once the job runs.
[[nodiscard]] QString RetrySentenceJa(const RetryPlan& plan, bool started = false);
// "前回 (2026/12/07 19:02:44) の株価履歴取得で失敗した銘柄はありません".
[[nodiscard]] QString NothingToRetryJa(const RetryPlan& plan);

class CRetryDlg : public QDialog {
    Q_OBJECT

  public:
    // plan: a plan with stocks to ask (RetryPlan::Ready).
    explicit CRetryDlg(const RetryPlan& plan, QWidget* parent = nullptr);

    // The plan as the user confirmed it: the options the dialog asked, where it asked any.
    [[nodiscard]] RetryPlan Plan() const;

    [[nodiscard]] QLabel* Sentence() const { return m_pSentence; }
    [[nodiscard]] QSpinBox* Days() const { return m_pDays; }
    [[nodiscard]] QPushButton* RetryButton() const { return m_pRetry; }

  private:
    void AddAskedOptions(QFormLayout* form);

    RetryPlan m_plan;
    QLabel* m_pSentence = nullptr;
    QPushButton* m_pRetry = nullptr;
    // Asked only when the run kept no options: the history job's days and update, or the
    // profile job's three switches.
    QSpinBox* m_pDays = nullptr;
    QCheckBox* m_pUpdate = nullptr;
    QCheckBox* m_pKeepHtml = nullptr;
    QCheckBox* m_pAddedOnly = nullptr;
    QCheckBox* m_pUseKeptHtml = nullptr;
};

}  // namespace tickora::gui
