// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every dialog closes with the same two buttons, worded as the program has always worded them.
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QString>

namespace tickora::gui {

enum class ButtonPlacement { kStyle, kCentered };

inline QDialogButtonBox* OkCancelButtons(QDialog* dialog,
                                         ButtonPlacement placement = ButtonPlacement::kStyle) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    if (placement == ButtonPlacement::kCentered) {
        buttons->setCenterButtons(true);
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

}  // namespace tickora::gui
