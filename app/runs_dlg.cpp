// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/runs_dlg.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/dialog_title.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/results_panel.h"

namespace tickora::gui {
namespace {

enum Column { kEndedAt, kJob, kEnd, kItems, kFailures, kExitStatus, kColumns };

// A cell whose text holds a number ("571/3,803") and that sorts by that number.
class NumberCell : public QTableWidgetItem {
  public:
    using QTableWidgetItem::QTableWidgetItem;
    bool operator<(const QTableWidgetItem& other) const override {
        return data(Qt::UserRole).toLongLong() < other.data(Qt::UserRole).toLongLong();
    }
};

QTableWidgetItem* NumberItem(long long value, const QString& text) {
    auto* item = new NumberCell(text);
    item->setData(Qt::UserRole, value);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// The time a record gives, as seconds since the epoch; -1 when it gives none.
qint64 EpochOf(const std::string& endedAt) {
    // "2026-12-07T18:31:05+0900": the writer's local time and its offset from UTC.
    if (endedAt.size() != std::string("2026-12-07T18:31:05+0900").size()) {
        return -1;
    }
    const QString text = QString::fromStdString(endedAt);
    static const QRegularExpression kShape(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2})([+-])(\\d{2})(\\d{2})$"));
    const QRegularExpressionMatch match = kShape.match(text);
    if (!match.hasMatch()) {
        return -1;
    }
    QDateTime time =
        QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!time.isValid()) {
        return -1;
    }
    time.setTimeSpec(Qt::UTC);
    const int offset = (match.captured(3).toInt() * 60 + match.captured(4).toInt()) * 60;
    return time.toSecsSinceEpoch() - (match.captured(2) == QLatin1String("+") ? offset : -offset);
}

}  // namespace

QString RunTimeJa(const std::string& endedAt) {
    const qint64 epoch = EpochOf(endedAt);
    if (epoch < 0) {
        return QString::fromStdString(endedAt);
    }
    return QDateTime::fromSecsSinceEpoch(epoch).toLocalTime().toString(
        QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QString ExitStatusTextJa(int status) {
    const char* words = "";
    switch (status) {
        case kExitDone:
            words = " 完了";
            break;
        case kExitEndedEarly:
            words = " 中断";
            break;
        case kExitUsage:
            words = " 指定の誤り";
            break;
        case kExitNoMarket:
            words = " market.csv なし";
            break;
        case kExitItemsFailed:
            words = " 一部失敗";
            break;
        case kExitLocked:
            words = " 作業フォルダが使用中";
            break;
        default:
            break;
    }
    return QString::number(status) + QString::fromUtf8(words);
}

QString EndTextJa(JobEnd end) {
    switch (end) {
        case JobEnd::kCompleted:
            return QStringLiteral("完了");
        case JobEnd::kStopped:
            return QStringLiteral("中断");
        case JobEnd::kCancelled:
            return QStringLiteral("キャンセル");
        case JobEnd::kException:
            return QStringLiteral("エラー");
        case JobEnd::kNotRun:
            return QStringLiteral("実行せず");
    }
    return {};
}

CRunsDlg::CRunsDlg(std::vector<RunRecord> runs, QWidget* parent)
    : QDialog(parent), m_runs(std::move(runs)) {
    setObjectName(QStringLiteral("runsDlg"));
    setWindowTitle(QStringLiteral("履歴 - この作業フォルダで実行した処理"));
    setSizeGripEnabled(true);
    KeepTitleWhole(this);
    auto* layout = new QVBoxLayout(this);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    m_pTable = new QTableWidget(static_cast<int>(m_runs.size()), kColumns, splitter);
    m_pTable->setObjectName(QStringLiteral("runsTable"));
    m_pTable->setHorizontalHeaderLabels({QStringLiteral("終了日時"), QStringLiteral("処理"),
                                         QStringLiteral("結果"), QStringLiteral("件数"),
                                         QStringLiteral("失敗"), QStringLiteral("終了コード")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    // Newest first; the index of the run rides on the first cell, whatever the sort.
    for (int i = 0; i < static_cast<int>(m_runs.size()); ++i) {
        const RunRecord& run = m_runs[m_runs.size() - 1 - static_cast<std::size_t>(i)];
        const JobOutcome& o = run.outcome;
        // Sorted by the moment, whatever offset each record was written with.
        QTableWidgetItem* ended = NumberItem(EpochOf(run.endedAt), RunTimeJa(run.endedAt));
        ended->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        ended->setData(Qt::UserRole + 1, static_cast<int>(m_runs.size()) - 1 - i);
        m_pTable->setItem(i, kEndedAt, ended);
        QString job = FromUtf8(JobNameJa(o.job));
        if (run.retry) {
            job += QStringLiteral(" (再取得)");
        }
        m_pTable->setItem(i, kJob, new QTableWidgetItem(job));
        m_pTable->setItem(i, kEnd, new QTableWidgetItem(EndTextJa(o.end)));
        m_pTable->setItem(i, kItems,
                          NumberItem(o.itemsDone, FromUtf8(Thousands(o.itemsDone) + "/" +
                                                           Thousands(o.itemsTotal))));
        m_pTable->setItem(i, kFailures,
                          NumberItem(static_cast<long long>(o.failures.size()),
                                     QString::number(o.failures.size())));
        m_pTable->setItem(i, kExitStatus,
                          NumberItem(run.exitStatus, ExitStatusTextJa(run.exitStatus)));
        if (NeedsAttention(o)) {
            for (int c = 0; c < kColumns; ++c) {
                m_pTable->item(i, c)->setForeground(QColor(0xb0, 0, 0));
            }
        }
    }
    m_pTable->setSortingEnabled(true);
    m_pTable->resizeColumnsToContents();
    m_pDetails = new CResultsPanel(splitter);
    splitter->addWidget(m_pTable);
    splitter->addWidget(m_pDetails);
    layout->addWidget(splitter, 1);
    if (m_runs.empty()) {
        layout->insertWidget(0, new QLabel(QStringLiteral("この作業フォルダにはまだ実行の記録がありません。"), this));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_pTable, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { ShowRun(row); });
    if (!m_runs.empty()) {
        m_pTable->selectRow(0);
        ShowRun(0);
    }
    resize(720, 480);
}

void CRunsDlg::ShowRun(int row) {
    const QTableWidgetItem* first = m_pTable->item(row, kEndedAt);
    if (first == nullptr) {
        return;
    }
    const int index = first->data(Qt::UserRole + 1).toInt();
    if (index >= 0 && index < static_cast<int>(m_runs.size())) {
        m_pDetails->ShowOutcome(m_runs[static_cast<std::size_t>(index)].outcome);
    }
}

}  // namespace tickora::gui
