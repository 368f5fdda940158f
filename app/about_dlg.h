// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About box: the program icon, its name and version, and OK.
#include <QDialog>

namespace tickora::gui {

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tickora::gui
