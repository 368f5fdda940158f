// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/quotes_dlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/dialog_title.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"

namespace tickora::gui {
namespace {

class NumberCell : public QTableWidgetItem {
  public:
    NumberCell(double value, const QString& text) : QTableWidgetItem(text) {
        setData(Qt::UserRole, value);
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(Qt::UserRole).toDouble() < other.data(Qt::UserRole).toDouble();
    }
};

bool Extracted(const CStockRecord& stock) {
    return stock.m_bFound && stock.m_nCode > 0 && stock.m_dClose > 0;
}

// A stock that did not trade that day has its close (the last price) and no open, high or low;
// the quote file writes the close in their place.
bool Untraded(const CStockRecord& stock) {
    return !(stock.m_dOpen > 0 && stock.m_dHigh > 0 && stock.m_dLow > 0) && stock.m_dVolume <= 0;
}

// What 状態 says of a stock: nothing for a day's quote.
QString StateOf(const CStockRecord& stock) {
    if (!Extracted(stock)) {
        return QStringLiteral("抽出できず");
    }
    return Untraded(stock) ? QStringLiteral("売買なし") : QString();
}

const QString kNoPrice = QStringLiteral("－");

}  // namespace

QString PriceText(double value) {
    // An index keeps the two decimals the quote file's averages may have, grouped as prices are.
    const auto cents = static_cast<long long>(std::llround(std::fabs(value) * 100));
    const int fraction = static_cast<int>(cents % 100);
    QString text = (value < 0 && cents != 0 ? QStringLiteral("-") : QString()) +
                   FromUtf8(Thousands(cents / 100));
    if (fraction != 0) {
        text += QStringLiteral(".%1").arg(fraction, 2, 10, QLatin1Char('0'));
    }
    return text;
}

CQuotesDlg::CQuotesDlg(const CStockList& stocks, const CMarketTable& markets, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("quotesDlg"));
    setWindowTitle(QStringLiteral("株価一覧 - 当日の株価"));
    setSizeGripEnabled(true);
    KeepTitleWhole(this);
    auto* layout = new QVBoxLayout(this);
    m_pCounts = new QLabel(this);
    m_pCounts->setObjectName(QStringLiteral("quotesCounts"));
    layout->addWidget(m_pCounts);
    m_pTable = new QTableWidget(0, 10, this);
    m_pTable->setObjectName(QStringLiteral("quotesTable"));
    m_pTable->setHorizontalHeaderLabels(
        {QStringLiteral("コード"), QStringLiteral("市場"), QStringLiteral("銘柄名"),
         QStringLiteral("日付"), QStringLiteral("始値"), QStringLiteral("高値"),
         QStringLiteral("安値"), QStringLiteral("終値"), QStringLiteral("出来高"),
         QStringLiteral("状態")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->verticalHeader()->hide();
    int extracted = 0;
    int missed = 0;
    for (int b = 0; b < stocks.m_nBlocks; ++b) {
        const CQuoteBlock* block = stocks.GetBlock(b);
        for (int s = 0; s < block->m_nStocks; ++s) {
            const CStockRecord& stock = block->m_aStocks[s];
            const int row = m_pTable->rowCount();
            m_pTable->insertRow(row);
            char market[32] = {};
            markets.GetName(stock.m_nMarket, market);
            const bool ok = Extracted(stock);
            ++(ok ? extracted : missed);
            m_pTable->setItem(row, 0, new NumberCell(stock.m_nCode, QStringLiteral("%1").arg(
                                                                     stock.m_nCode, 4, 10, QLatin1Char('0'))));
            m_pTable->setItem(row, 1, new QTableWidgetItem(FromSjis(market)));
            m_pTable->setItem(row, 2, new QTableWidgetItem(FromSjis(stock.m_szName)));
            const QString date = ok ? QStringLiteral("%1/%2").arg(stock.m_nMonth).arg(stock.m_nDay)
                                    : QString();
            m_pTable->setItem(row, 3, new NumberCell(stock.m_nMonth * 100 + stock.m_nDay, date));
            const double values[] = {stock.m_dOpen, stock.m_dHigh, stock.m_dLow, stock.m_dClose,
                                     stock.m_dVolume};
            for (int v = 0; v < 5; ++v) {
                QString text = ok ? PriceText(values[v]) : QString();
                if (ok && v < 3 && Untraded(stock)) {
                    text = kNoPrice;
                }
                m_pTable->setItem(row, 4 + v, new NumberCell(ok ? values[v] : -1, text));
            }
            m_pTable->setItem(row, kQuoteStateColumn, new QTableWidgetItem(StateOf(stock)));
            if (!ok) {
                for (int c = 0; c < 10; ++c) {
                    m_pTable->item(row, c)->setBackground(QColor(0xff, 0xe0, 0xe0));
                }
            }
        }
    }
    m_pCounts->setText(QStringLiteral("抽出できた銘柄数：%1　抽出できなかった銘柄数：%2　(行をダブルクリックでチャート)")
                           .arg(extracted)
                           .arg(missed));
    // By code, from the smallest, as the list is read.
    m_pTable->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    m_pTable->setSortingEnabled(true);
    m_pTable->resizeColumnsToContents();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_pTable, 1);
    connect(m_pTable, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        emit chartRequested(m_pTable->item(row, 0)->data(Qt::UserRole).toInt());
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(820, 520);
}

}  // namespace tickora::gui
