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
    for (int column = 0; column < 3; ++column) {
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
    for (int column = 0; column < 3; ++column) {
        m_pFailures->resizeColumnToContents(column);
        m_contentWidths[column] = m_pFailures->columnWidth(column);
    }
    FitColumns();
}

namespace {

// The most of the panel's width the first three columns may take; 対処 has the rest.
constexpr double kShares[] = {0.34, 0.14, 0.30};

}  // namespace

void CResultsPanel::FitColumns() {
    const int width = m_pFailures->viewport()->width();
    for (int column = 0; column < 3; ++column) {
        const int share = std::max(static_cast<int>(width * kShares[column]), 24);
        m_pFailures->setColumnWidth(column, std::min(m_contentWidths[column], share));
    }
}

bool CResultsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pFailures->viewport() && event->type() == QEvent::Resize) {
        FitColumns();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tickora::gui
