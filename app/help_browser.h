// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's guide inside the program: F1 opens it, and ユーザーズガイド falls back to it where no
// web browser can be started. The guide is the one the browser would get (the working folder's
// own, else the installed one), read through the working folder's one door to files.
#include <QWidget>
#include <optional>
#include <string>

class QLabel;
class QTextBrowser;

namespace tickora::gui {

class CHelpBrowser : public QWidget {
    Q_OBJECT

  public:
    explicit CHelpBrowser(QWidget* parent = nullptr);

    // Shows the guide at path; false, with why in the window, when it cannot be read.
    bool OpenGuide(const std::string& path);
    [[nodiscard]] QTextBrowser* Browser() const { return m_pBrowser; }
    [[nodiscard]] QString Message() const;

  private:
    QTextBrowser* m_pBrowser;
    QLabel* m_pMessage;
};

// The guide's text, at most a few megabytes of a regular file (never through a link); nothing,
// with the errno in error, when it cannot be read.
[[nodiscard]] std::optional<std::string> ReadGuideFile(const std::string& path, int* error);

}  // namespace tickora::gui
