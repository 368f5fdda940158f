// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A dialog is never narrower than its title: a window manager cuts a long title ("fetchli…vを生成")
// to the width the dialog's controls need, and the user cannot tell the dialogs apart.
#include <QDialog>
#include <QFontMetrics>
#include <algorithm>

namespace tickora::gui {

// Room for the title bar's icon and its buttons beside the title text.
inline constexpr int kTitleBarExtra = 140;

inline void KeepTitleWhole(QDialog* dialog) {
    // The title bar's font is the window manager's; the application's is the closest guess.
    const QFontMetrics metrics(dialog->font());
    const int needed = metrics.horizontalAdvance(dialog->windowTitle()) + kTitleBarExtra;
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), needed));
}

}  // namespace tickora::gui
