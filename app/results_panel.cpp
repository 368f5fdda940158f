// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/results_panel.h"

#include <QColor>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "catalog/stock_list.h"
#include "jobs/outcome_text.h"
#include "text/sjis.h"

namespace tickora::gui {

std::string StockNameOf(const CStockList& stocks, int code) {
    for (int b = 0; b < stocks.m_nBlocks; ++b) {
        const CQuoteBlock& block = *stocks.GetBlock(b);
        for (int s = 0; s < block.m_nStocks; ++s) {
            if (block.m_aStocks[s].m_nCode == code) {
                return SjisToUtf8(block.m_aStocks[s].m_szName);
            }
        }
    }
    return {};
}

CResultsPanel::CResultsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("resultsPanel"));
    auto* layout = new QVBoxLayout(this);
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(QStringLiteral("resultsSummary"));
    m_pSummary->setWordWrap(true);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pSummary);
    m_pNeverAsked = new QLabel(this);
    m_pNeverAsked->setObjectName(QStringLiteral("resultsNeverAsked"));
    QFont bold = m_pNeverAsked->font();
    bold.setBold(true);
    m_pNeverAsked->setFont(bold);
    m_pNeverAsked->hide();
    layout->addWidget(m_pNeverAsked);
    m_pFailures = new QTreeWidget(this);
    m_pFailures->setObjectName(QStringLiteral("resultsFailures"));
    m_pFailures->setHeaderLabels({QStringLiteral("原因 / 項目"), QStringLiteral("銘柄コード"),
                                  QStringLiteral("ページ・ファイル"), QStringLiteral("対処")});
    m_pFailures->setRootIsDecorated(true);
    m_pFailures->setUniformRowHeights(true);
    m_pFailures->header()->setStretchLastSection(true);
    m_pFailures->setMinimumHeight(m_pFailures->fontMetrics().height() * 6);
    m_pFailures->setTextElideMode(Qt::ElideMiddle);
    for (int column = 0; column < 4; ++column) {
        m_contentWidths[column] = m_pFailures->header()->sectionSizeHint(column);
    }
    m_pFailures->viewport()->installEventFilter(this);
    layout->addWidget(m_pFailures, 1);
    m_pChecksTitle = new QLabel(this);
    m_pChecksTitle->setObjectName(QStringLiteral("resultsChecksTitle"));
    m_pChecksTitle->setFont(bold);
    m_pChecksTitle->setWordWrap(true);
    layout->addWidget(m_pChecksTitle);
    m_pFindings = new QTreeWidget(this);
    m_pFindings->setObjectName(QStringLiteral("resultsFindings"));
    m_pFindings->setHeaderLabels({QStringLiteral("重要度"), QStringLiteral("銘柄"),
                                  QStringLiteral("日付"), QStringLiteral("内容"),
                                  QStringLiteral("想定"), QStringLiteral("実際")});
    m_pFindings->setRootIsDecorated(false);
    m_pFindings->setUniformRowHeights(true);
    m_pFindings->setMinimumHeight(m_pFindings->fontMetrics().height() * 6);
    m_pFindings->setTextElideMode(Qt::ElideMiddle);
    m_pFindings->viewport()->installEventFilter(this);
    layout->addWidget(m_pFindings, 1);
    m_pChecksTitle->hide();
    m_pFindings->hide();
    m_pSummary->setText(QStringLiteral("まだ処理を実行していません。"));
}

void CResultsPanel::ShowFindings(const JobOutcome& outcome) {
    // Rows beyond these are counted, not listed: a damaged market may give one for every stock.
    constexpr std::size_t kRowsShown = 2000;
    m_pFindings->clear();
    const bool checked = !outcome.WritesFiles() || !outcome.findings.empty();
    m_pChecksTitle->setVisible(checked);
    m_pFindings->setVisible(checked);
    if (!checked) {
        return;
    }
    const std::vector<const CheckFinding*> ordered = FindingsInOrder(outcome);
    QString title = QStringLiteral("検証: ") + FromUtf8(FindingsCountJa(outcome));
    if (!ordered.empty()) {
        title += QStringLiteral("。データの誤りの疑いで、処理の失敗ではありません");
    }
    if (ordered.size() > kRowsShown) {
        title += QStringLiteral(" (先頭の %1 件を表示)").arg(FromUtf8(Thousands(kRowsShown)));
    }
    m_pChecksTitle->setText(title);
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < ordered.size() && i < kRowsShown; ++i) {
        const CheckFinding& finding = *ordered[i];
        const std::string name = m_nameOf ? m_nameOf(finding.code) : std::string();
        const FindingRowJa row = FindingRowOf(finding, name);
        const QString line = FromUtf8(FindingLineJa(finding, name));
        const QString texts[] = {FromUtf8(row.severity), FromUtf8(row.stock),
                                 FromUtf8(row.date),     FromUtf8(row.kind),
                                 FromUtf8(row.expected), FromUtf8(row.found)};
        auto* item = new QTreeWidgetItem;
        for (int column = 0; column < 6; ++column) {
            item->setText(column, texts[column]);
            item->setToolTip(column, line);
        }
        if (finding.severity == Severity::kWarning) {
            item->setForeground(0, QColor(0xb0, 0x00, 0x00));
        }
        items.append(item);
    }
    m_pFindings->addTopLevelItems(items);
    for (int column = 0; column < 4; ++column) {
        m_pFindings->resizeColumnToContents(column);
    }
    FitFindingColumns();
}

void CResultsPanel::FitFindingColumns() {
    // 想定 and 実際 share what the short columns leave, so that both stay in view; a text cut
    // short is whole in its row's tool tip.
    int left = m_pFindings->viewport()->width();
    for (int column = 0; column < 4; ++column) {
        left -= m_pFindings->columnWidth(column);
    }
    m_pFindings->setColumnWidth(4, std::max(left / 2, 60));
}

void CResultsPanel::ShowOutcome(const JobOutcome& outcome) {
    m_pSummary->setText(FromUtf8(SummaryJa(outcome)));
    const QString neverAsked = FromUtf8(NeverAskedJa(outcome));
    m_pNeverAsked->setText(neverAsked);
    m_pNeverAsked->setVisible(!neverAsked.isEmpty());
    m_pFailures->clear();
    for (const FailureGroupJa& group : FailureGroupsJa(outcome)) {
        auto* top = new QTreeWidgetItem(m_pFailures);
        top->setText(0, FromUtf8(group.cause) + QStringLiteral(" (%1 件)").arg(group.rows.size()));
        top->setToolTip(0, FromUtf8(group.cause));
        for (const FailureRowJa& row : group.rows) {
            auto* item = new QTreeWidgetItem(top);
            const QString texts[] = {FromUtf8(row.what), FromUtf8(row.codes), FromUtf8(row.where),
                                     FromUtf8(row.action)};
            for (int column = 0; column < 4; ++column) {
                item->setText(column, texts[column]);
                item->setToolTip(column, texts[column]);
            }
        }
        top->setExpanded(group.rows.size() <= 20);
    }
    // Measured once: a run of thousands of failures is not measured again at every resize.
    // The last column is measured unstretched: stretched, its width says nothing of its texts.
    m_pFailures->header()->setStretchLastSection(false);
    for (int column = 0; column < 4; ++column) {
        m_pFailures->resizeColumnToContents(column);
        m_contentWidths[column] = m_pFailures->columnWidth(column);
    }
    // Stretched again from nothing: a stretched section never shrinks below its width.
    m_pFailures->setColumnWidth(3, m_pFailures->header()->minimumSectionSize());
    m_pFailures->header()->setStretchLastSection(true);
    FitColumns();
    // A check that could read every file has no failures to list, only its findings.
    m_pFailures->setVisible(outcome.WritesFiles() || !outcome.failures.empty());
    ShowFindings(outcome);
}

namespace {

// Each column's share of the panel's width, and the order in which the room a column leaves
// goes to the others.
constexpr double kShares[] = {0.36, 0.14, 0.22, 0.28};
constexpr int kFirstServed[] = {3, 0, 1, 2};

}  // namespace

void CResultsPanel::FitColumns() {
    const int width = m_pFailures->viewport()->width();
    int widths[4] = {};
    int left = width;
    for (int column = 0; column < 4; ++column) {
        const int share = std::max(static_cast<int>(width * kShares[column]), 24);
        widths[column] = std::min(m_contentWidths[column], share);
        left -= widths[column];
    }
    for (const int column : kFirstServed) {
        const int more = std::clamp(m_contentWidths[column] - widths[column], 0, std::max(left, 0));
        widths[column] += more;
        left -= more;
    }
    // 対処 is the last section: it stretches over what the others leave.
    for (int column = 0; column < 3; ++column) {
        m_pFailures->setColumnWidth(column, widths[column]);
    }
}

bool CResultsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pFailures->viewport() && event->type() == QEvent::Resize) {
        FitColumns();
    }
    if (watched == m_pFindings->viewport() && event->type() == QEvent::Resize) {
        FitFindingColumns();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tickora::gui
