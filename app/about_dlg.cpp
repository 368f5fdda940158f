// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/command_table.h"
#include "app/dialog_title.h"
#include "app/qt_text.h"
#include "app/tool_icons.h"

namespace tickora::gui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDlg"));
    setWindowTitle(FromUtf8(kAppTitle) + QStringLiteral(" のﾊﾞｰｼﾞｮﾝ情報"));
    KeepTitleWhole(this);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    auto* text = new QLabel(FromUtf8(kAppTitle) + QLatin1Char(' ') + FromUtf8(kVersionText), this);
    text->setObjectName(QStringLiteral("versionText"));
    texts->addWidget(text);
    auto* copyright = new QLabel(FromUtf8(kCopyrightText), this);
    copyright->setObjectName(QStringLiteral("copyrightText"));
    texts->addWidget(copyright);
    auto* licence = new QLabel(FromUtf8(kLicenceText), this);
    licence->setObjectName(QStringLiteral("licenceText"));
    licence->setWordWrap(true);
    licence->setOpenExternalLinks(true);
    licence->setTextFormat(Qt::RichText);
    texts->addWidget(licence);
    row->addLayout(texts, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(std::max(minimumWidth(), 420));
}

}  // namespace tickora::gui
