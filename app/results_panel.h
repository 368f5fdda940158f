// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the last job did, kept in view until the next one: its summary, what it never asked for,
// and its failures grouped by cause, each with its stocks, page or file and what was done.
#include <QWidget>

class QLabel;
class QTreeWidget;

namespace tickora {
struct JobOutcome;
}

namespace tickora::gui {

class CResultsPanel : public QWidget {
    Q_OBJECT

  public:
    explicit CResultsPanel(QWidget* parent = nullptr);

    void ShowOutcome(const JobOutcome& outcome);

    [[nodiscard]] QLabel* SummaryLabel() const { return m_pSummary; }
    [[nodiscard]] QLabel* NeverAskedLabel() const { return m_pNeverAsked; }
    [[nodiscard]] QTreeWidget* Failures() const { return m_pFailures; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The columns share the panel's width so that 対処 is always in view: each takes what its
    // texts need up to its share, the room a column does not need goes to the others (対処 and
    // the cause first, the address last), and a text cut short is whole in its tool tip.
    void FitColumns();

    int m_contentWidths[4] = {};  // what the texts of each column need
    QLabel* m_pSummary;
    QLabel* m_pNeverAsked;
    QTreeWidget* m_pFailures;
};

}  // namespace tickora::gui
