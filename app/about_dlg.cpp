// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/command_table.h"
#include "app/qt_text.h"
#include "app/tool_icons.h"

namespace tickora::gui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDlg"));
    setWindowTitle(FromUtf8(kAppTitle) + QStringLiteral(" のﾊﾞｰｼﾞｮﾝ情報"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    row->addWidget(icon);
    auto* text = new QLabel(FromUtf8(kAppTitle) + QLatin1Char(' ') + FromUtf8(kVersionText), this);
    text->setObjectName(QStringLiteral("versionText"));
    row->addWidget(text, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace tickora::gui
