// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/chart_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <filesystem>

#include "app/form_view.h"
#include "app/qt_text.h"
#include "catalog/stock_list.h"
#include "jobs/job_outcome.h"

namespace tickora::gui {
namespace {

const char* const kPeriodNames[] = {"日足", "週足", "月足"};

QString AverageName(BarPeriod period, int length) {
    switch (period) {
        case BarPeriod::kWeek:
            return QStringLiteral("%1週").arg(length);
        case BarPeriod::kMonth:
            return QStringLiteral("%1か月").arg(length);
        case BarPeriod::kDay:
            break;
    }
    return QStringLiteral("%1日").arg(length);
}

}  // namespace

std::string StoredHistoryPath(int code) {
    for (const bool inDataFolder : {true, false}) {
        const std::string path = KdtFileName(code, inDataFolder);
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            return path;
        }
    }
    return {};
}

CChartWindow::CChartWindow(QWidget* parent, const CStockList* stocks)
    : QWidget(parent, Qt::Window), m_pStocks(stocks) {
    setObjectName(QStringLiteral("chartWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(QStringLiteral("チャート - Tickora"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("証券コード："), this));
    m_pCode = new QLineEdit(this);
    m_pCode->setObjectName(QStringLiteral("chartCode"));
    m_pCode->setValidator(new QIntValidator(0, 9999, m_pCode));
    m_pCode->setMaximumWidth(m_pCode->fontMetrics().horizontalAdvance(QStringLiteral("000000")) +
                             12);
    row->addWidget(m_pCode);
    auto* open = new QPushButton(QStringLiteral("表示"), this);
    row->addWidget(open);
    row->addSpacing(12);
    AddPeriodButtons(row);
    row->addSpacing(12);
    AddAverageBoxes(row);
    row->addStretch(1);
    layout->addLayout(row);
    m_pMessage = new QLabel(this);
    m_pMessage->setObjectName(QStringLiteral("chartMessage"));
    m_pMessage->setWordWrap(true);
    layout->addWidget(m_pMessage);
    m_pReadout = new QLabel(this);
    m_pReadout->setObjectName(QStringLiteral("chartReadout"));
    m_pReadout->setMinimumHeight(m_pReadout->fontMetrics().height());
    layout->addWidget(m_pReadout);
    m_pChart = new CChartView(this);
    layout->addWidget(m_pChart, 1);
    SetPeriod(static_cast<BarPeriod>(m_pPeriods->checkedId()));
    m_pScroll = new QScrollBar(Qt::Horizontal, this);
    m_pScroll->setObjectName(QStringLiteral("chartScroll"));
    layout->addWidget(m_pScroll);
    connect(m_pChart, &CChartView::readoutChanged, m_pReadout, &QLabel::setText);
    connect(m_pChart, &CChartView::viewChanged, this, [this](int first, int visible, int total) {
        const QSignalBlocker quiet(m_pScroll);
        m_pScroll->setRange(0, std::max(total - visible, 0));
        m_pScroll->setPageStep(std::max(visible, 1));
        m_pScroll->setValue(first);
    });
    connect(m_pScroll, &QScrollBar::valueChanged, m_pChart, &CChartView::ScrollTo);
    auto openTyped = [this] {
        bool ok = false;
        const int code = m_pCode->text().toInt(&ok);
        if (ok) {
            (void)OpenCode(code);
        }
    };
    connect(open, &QPushButton::clicked, this, openTyped);
    connect(m_pCode, &QLineEdit::returnPressed, this, openTyped);
    resize(900, 560);
}

void CChartWindow::AddPeriodButtons(QLayout* row) {
    m_pPeriods = new QButtonGroup(this);
    m_pPeriods->setExclusive(true);
    for (int i = 0; i < 3; ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("chartPeriod%1").arg(i));
        button->setText(QString::fromUtf8(kPeriodNames[i]));
        button->setCheckable(true);
        button->setAutoRaise(false);
        m_pPeriods->addButton(button, i);
        row->addWidget(button);
    }
    // The user's choice of the last time.
    const int chosen =
        std::clamp(UserSettings().value(QStringLiteral("chart/period"), 0).toInt(), 0, 2);
    m_pPeriods->button(chosen)->setChecked(true);
    connect(m_pPeriods, &QButtonGroup::idClicked, this, [this](int id) {
        SetPeriod(static_cast<BarPeriod>(id));
        UserSettings().setValue(QStringLiteral("chart/period"), id);
    });
}

void CChartWindow::AddAverageBoxes(QLayout* row) {
    QSettings remembered = UserSettings();
    for (int which = 0; which < 3; ++which) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QStringLiteral("chartAverage%1").arg(which));
        box->setStyleSheet(
            QStringLiteral("QCheckBox { color: %1; }").arg(AverageColour(which).name()));
        box->setChecked(
            remembered.value(QStringLiteral("chart/average%1").arg(which), true).toBool());
        connect(box, &QCheckBox::toggled, this, [this, which](bool shown) {
            m_pChart->ShowAverage(which, shown);
            UserSettings().setValue(QStringLiteral("chart/average%1").arg(which), shown);
        });
        m_pAverages[which] = box;
        row->addWidget(box);
    }
}

void CChartWindow::NameAverageBoxes() {
    const std::array<int, 3> lengths = AverageLengths(m_pChart->Period());
    for (int which = 0; which < 3; ++which) {
        m_pAverages[which]->setText(
            AverageName(m_pChart->Period(), lengths[static_cast<std::size_t>(which)]));
        m_pChart->ShowAverage(which, m_pAverages[which]->isChecked());
    }
}

void CChartWindow::SetPeriod(BarPeriod period) {
    m_pPeriods->button(static_cast<int>(period))->setChecked(true);
    m_pChart->SetPeriod(period);
    NameAverageBoxes();
}

bool CChartWindow::ListKnown() const {
    return m_pStocks != nullptr && m_pStocks->m_nBlocks > 0;
}

std::string CChartWindow::NameOf(int code) const {
    if (!ListKnown()) {
        return {};
    }
    for (int b = 0; b < m_pStocks->m_nBlocks; ++b) {
        const CQuoteBlock& block = *m_pStocks->GetBlock(b);
        for (int s = 0; s < block.m_nStocks; ++s) {
            if (block.m_aStocks[s].m_nCode == code) {
                return SjisToUtf8(block.m_aStocks[s].m_szName);
            }
        }
    }
    return {};
}

bool CChartWindow::OpenCode(int code) {
    m_pCode->setText(QStringLiteral("%1").arg(code, 4, 10, QLatin1Char('0')));
    const QString shown = m_pCode->text();
    const std::string name = NameOf(code);
    const bool listed = !name.empty();
    setWindowTitle(QStringLiteral("チャート %1%2 - Tickora")
                       .arg(shown, listed ? QLatin1Char(' ') + FromUtf8(name) : QString()));
    const std::string path = StoredHistoryPath(code);
    std::vector<CKdtDay> days;
    const KdtRead read = path.empty() ? KdtRead::kMissing : ReadKdtFile(path, days);
    m_pChart->SetDays(read == KdtRead::kOk ? days : std::vector<CKdtDay>{});
    NameAverageBoxes();
    switch (read) {
        case KdtRead::kOk:
            m_pMessage->setText(QStringLiteral("%1 (%2 日分)%3")
                                    .arg(QString::fromStdString(AbsolutePath(path)))
                                    .arg(days.size())
                                    .arg(ListKnown() && !listed
                                             ? QStringLiteral("。fetchlist.csv にない銘柄です")
                                             : QString()));
            return true;
        case KdtRead::kMissing:
            m_pMessage->setText(
                ListKnown() && !listed
                    ? QStringLiteral("コード %1 は fetchlist.csv にありません (株価履歴取得は "
                                     "fetchlist.csv の銘柄だけを取得します)")
                          .arg(shown)
                    : QStringLiteral(
                          "%1 の株価履歴はまだありません (株価履歴取得... で取得できます)")
                          .arg(shown));
            break;
        case KdtRead::kUnreadable:
            m_pMessage->setText(
                QStringLiteral("%1 を読めません").arg(QString::fromStdString(path)));
            break;
        case KdtRead::kMalformed:
            m_pMessage->setText(QStringLiteral("%1 は株価履歴ファイルとして読めません")
                                    .arg(QString::fromStdString(path)));
            break;
    }
    return false;
}

QString CChartWindow::Message() const {
    return m_pMessage->text();
}

}  // namespace tickora::gui
