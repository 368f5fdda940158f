// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/results_panel.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/outcome_ja.h"
#include "app/qt_text.h"

namespace tickora::gui {

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
    m_pSummary->setText(QStringLiteral("まだ処理を実行していません。"));
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
    return QWidget::eventFilter(watched, event);
}

}  // namespace tickora::gui
