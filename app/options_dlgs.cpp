// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/options_dlgs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/command_table.h"
#include "app/dialog_buttons.h"
#include "app/dialog_title.h"
#include "app/qt_text.h"

namespace tickora::gui {
namespace {

// How each job words the dialog.
struct HtmlOptionsWording {
    QString objectName;
    QString title;
    QStringList statics;
    QString addedText;
};

HtmlOptionsWording WordingOf(HtmlOptionsJob job) {
    if (job == HtmlOptionsJob::kList) {
        return {QStringLiteral("listOptionsDlg"), QStringLiteral("fetchlist.csvを生成"),
                {QStringLiteral("fetchlist.csvを生成します。"),
                 QStringLiteral("取得には時間がかかります。")},
                QStringLiteral("追加された銘柄のみ更新")};
    }
    return {QStringLiteral("profileOptionsDlg"), QStringLiteral("銘柄基本情報の取得"),
            {QStringLiteral("VorlaneEx.DICを作成または更新します。"),
             QStringLiteral("取得には時間がかかります。")},
            QStringLiteral("追加された銘柄の更新")};
}

}  // namespace

CHtmlOptionsDlg::CHtmlOptionsDlg(HtmlOptionsJob job, QWidget* parent) : QDialog(parent) {
    const HtmlOptionsWording wording = WordingOf(job);
    setObjectName(wording.objectName);
    setWindowTitle(wording.title);
    KeepTitleWhole(this);
    auto* layout = new QVBoxLayout(this);
    for (const QString& text : wording.statics) {
        layout->addWidget(new QLabel(text, this));
    }
    m_pKeepHtml = new QCheckBox(QStringLiteral("HTMLファイルを残す"), this);
    m_pKeepHtml->setObjectName(QStringLiteral("check1008"));
    m_pAddedOnly = new QCheckBox(wording.addedText, this);
    m_pAddedOnly->setObjectName(QStringLiteral("check1009"));
    m_pUseKeptHtml = new QCheckBox(QStringLiteral("残したHTMLファイルを使う"), this);
    m_pUseKeptHtml->setObjectName(QStringLiteral("check1010"));
    layout->addSpacing(6);
    layout->addWidget(m_pKeepHtml);
    layout->addWidget(m_pAddedOnly);
    layout->addWidget(m_pUseKeptHtml);
    layout->addWidget(OkCancelButtons(this));
}

int CHtmlOptionsDlg::exec() {
    m_pKeepHtml->setChecked(m_bKeepHtml != 0);
    m_pAddedOnly->setChecked(m_bAddedOnly != 0);
    m_pUseKeptHtml->setChecked(m_bUseKeptHtml != 0);
    return QDialog::exec();
}

void CHtmlOptionsDlg::accept() {
    m_bKeepHtml = m_pKeepHtml->isChecked() ? 1 : 0;
    m_bAddedOnly = m_pAddedOnly->isChecked() ? 1 : 0;
    m_bUseKeptHtml = m_pUseKeptHtml->isChecked() ? 1 : 0;
    QDialog::accept();
}

FieldCheck ParseUnsignedField(const QString& text, unsigned min, unsigned max, unsigned* value) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return FieldCheck::kNotANumber;
    }
    unsigned long long number = 0;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return FieldCheck::kNotANumber;
        }
        number = number * 10 + static_cast<unsigned>(c.unicode() - '0');
        if (number > 0xFFFFFFFFull) {
            return FieldCheck::kOutOfRange;
        }
    }
    if (number < min || number > max) {
        return FieldCheck::kOutOfRange;
    }
    *value = static_cast<unsigned>(number);
    return FieldCheck::kOk;
}

QString FieldCheckMessage(FieldCheck check, unsigned min, unsigned max) {
    switch (check) {
        case FieldCheck::kNotANumber:
            return QStringLiteral("正の整数を入力してください。");
        case FieldCheck::kOutOfRange:
            return QStringLiteral("%1 から %2 までの整数を入力してください。").arg(min).arg(max);
        case FieldCheck::kOk:
            break;
    }
    return {};
}

CCodeDlg::CCodeDlg(bool showAllStocks, QWidget* parent)
    : QDialog(parent), m_bShowAllStocks(showAllStocks ? 1 : 0) {
    setObjectName(QStringLiteral("codeDlg"));
    setWindowTitle(QStringLiteral("銘柄指定"));
    KeepTitleWhole(this);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_pCode = new QLineEdit(this);
    m_pCode->setObjectName(QStringLiteral("edit1006"));
    m_pDays = new QLineEdit(this);
    m_pDays->setObjectName(QStringLiteral("edit1007"));
    form->addRow(QStringLiteral("証券コード："), m_pCode);
    form->addRow(QStringLiteral("取得日数："), m_pDays);
    layout->addLayout(form);
    m_pAllStocks = new QCheckBox(QStringLiteral("全銘柄"), this);
    m_pAllStocks->setObjectName(QStringLiteral("check1008"));
    layout->addWidget(m_pAllStocks);
    // Asks only the first page of a stock whose file it brings up to date exactly.
    m_pUpdate = new QCheckBox(QStringLiteral("差分更新"), this);
    m_pUpdate->setObjectName(QStringLiteral("checkUpdate"));
    layout->addWidget(m_pUpdate);
    layout->addWidget(OkCancelButtons(this));
    m_pAllStocks->setHidden(m_bShowAllStocks == 0);
    connect(m_pAllStocks, &QCheckBox::clicked, this, &CCodeDlg::OnAllStocks);
    LoadControls();
}

void CCodeDlg::LoadControls() {
    m_pCode->setText(QString::number(m_nCode));
    m_pDays->setText(QString::number(m_nDays));
    m_pAllStocks->setChecked(m_bAllStocks != 0);
    m_pUpdate->setChecked(m_bUpdate != 0);
    m_pCode->setReadOnly(m_bAllStocks != 0);
}

int CCodeDlg::exec() {
    LoadControls();
    m_pAllStocks->setHidden(m_bShowAllStocks == 0);
    return QDialog::exec();
}

void CCodeDlg::OnAllStocks() {
    if (m_pAllStocks->isChecked()) {
        m_pCode->setText(QStringLiteral("0"));
        m_pCode->setReadOnly(true);
    } else {
        m_pCode->setReadOnly(false);
    }
}

bool CCodeDlg::ExchangeFromControls(QString* message, QLineEdit** refused) {
    unsigned days = 0;
    if (const FieldCheck check = ParseUnsignedField(m_pDays->text(), 10, 3000, &days);
        check != FieldCheck::kOk) {
        *message = FieldCheckMessage(check, 10, 3000);
        *refused = m_pDays;
        return false;
    }
    m_nDays = days;
    m_bAllStocks = m_pAllStocks->isChecked() ? 1 : 0;
    m_bUpdate = m_pUpdate->isChecked() ? 1 : 0;
    unsigned code = 0;
    if (const FieldCheck check = ParseUnsignedField(m_pCode->text(), 0, 9999, &code);
        check != FieldCheck::kOk) {
        *message = FieldCheckMessage(check, 0, 9999);
        *refused = m_pCode;
        return false;
    }
    m_nCode = code;
    return true;
}

void CCodeDlg::accept() {
    QString message;
    QLineEdit* refused = nullptr;
    if (!ExchangeFromControls(&message, &refused)) {
        QMessageBox box(QMessageBox::Warning, FromUtf8(kAppTitle), message, QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("validationMessage"));
        box.exec();
        refused->setFocus();
        refused->selectAll();
        return;
    }
    QDialog::accept();
}

}  // namespace tickora::gui
