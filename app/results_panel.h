// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the last job did, kept in view until the next one: its summary, what it never asked for,
// and its failures grouped by cause, each with its stocks, page or file and what was done.
#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QTreeWidget;

namespace tickora {
class CStockList;
struct JobOutcome;
}

namespace tickora::gui {

// The name the list gives code, in UTF-8; empty for a code it does not hold.
[[nodiscard]] std::string StockNameOf(const CStockList& stocks, int code);

class CResultsPanel : public QWidget {
    Q_OBJECT

  public:
    explicit CResultsPanel(QWidget* parent = nullptr);

    void ShowOutcome(const JobOutcome& outcome);
    // Names the stocks of the findings (UTF-8; empty for a code the list does not hold).
    void SetStockNames(std::function<std::string(int)> nameOf) { m_nameOf = std::move(nameOf); }
    // The stock's name from the list (UTF-8); empty when unknown.
    [[nodiscard]] std::string StockName(int code) const { return m_nameOf ? m_nameOf(code) : ""; }

    [[nodiscard]] QLabel* SummaryLabel() const { return m_pSummary; }
    [[nodiscard]] QLabel* NeverAskedLabel() const { return m_pNeverAsked; }
    [[nodiscard]] QTreeWidget* Failures() const { return m_pFailures; }
    // 検証: the day's check's findings, warnings first, shown for a check or a run that checked.
    [[nodiscard]] QLabel* ChecksTitle() const { return m_pChecksTitle; }
    [[nodiscard]] QTreeWidget* Findings() const { return m_pFindings; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The columns share the panel's width so that 対処 is always in view: each takes what its
    // texts need up to its share, the room a column does not need goes to the others (対処 and
    // the cause first, the address last), and a text cut short is whole in its tool tip.
    void FitColumns();
    void ShowFindings(const JobOutcome& outcome);
    void FitFindingColumns();

    int m_contentWidths[4] = {};  // what the texts of each column need
    QLabel* m_pSummary;
    QLabel* m_pNeverAsked;
    QTreeWidget* m_pFailures;
    QLabel* m_pChecksTitle;
    QTreeWidget* m_pFindings;
    std::function<std::string(int)> m_nameOf;
};

}  // namespace tickora::gui
