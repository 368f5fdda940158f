// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form_view.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSettings>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/command_table.h"
#include "app/options_dlgs.h"
#include "app/qt_text.h"
#include "app/tool_icons.h"
#include "jobs/tickora_doc.h"

namespace tickora::gui {
namespace {

// Dialog units of the form template, turned into pixels with the font the form shows: the
// horizontal unit is a quarter of the average Latin letter, stretched when the longer counter
// caption would not fit its 77 units in a CJK font; the vertical unit an eighth of a line.
struct DialogUnits {
    double x;
    double y;
    [[nodiscard]] QRect Rect(int left, int top, int width, int height) const {
        return QRect(
            static_cast<int>(std::lround(left * x)), static_cast<int>(std::lround(top * y)),
            static_cast<int>(std::lround(width * x)), static_cast<int>(std::lround(height * y)));
    }
};

DialogUnits UnitsFor(const QFont& font, const QString& widestCaption) {
    const QFontMetricsF metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    double x = metrics.horizontalAdvance(letters) / letters.size() / 4.0;
    x = std::max(x, (metrics.horizontalAdvance(widestCaption) + 2.0) / 77.0);
    const double y = metrics.height() / 8.0;
    return {x, y};
}

}  // namespace

CTickoraView::CTickoraView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("formView"));
    const QString firstCaption = QStringLiteral("抽出できた銘柄数：");
    const QString secondCaption = QStringLiteral("抽出できなかった銘柄数：");
    const DialogUnits du = UnitsFor(font(), secondCaption);

    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(QStringLiteral("progress1000"));
    m_pProgress->setTextVisible(false);
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pProgress->setGeometry(du.Rect(31, 59, 156, 14));

    m_pFetch = new QPushButton(QStringLiteral("Fetch"), this);
    m_pFetch->setObjectName(QStringLiteral("button1001"));
    m_pFetch->setGeometry(du.Rect(30, 91, 50, 14));
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setObjectName(QStringLiteral("button1002"));
    m_pCancel->setGeometry(du.Rect(129, 91, 50, 14));

    auto* icon = new QLabel(this);
    const QRect iconRect = du.Rect(27, 19, 20, 20);
    const int side = std::min(iconRect.width(), iconRect.height());
    icon->setPixmap(ProgramIcon().pixmap(side, side));
    icon->setGeometry(iconRect.x(), iconRect.y(), side, side);

    auto* first = new QLabel(firstCaption, this);
    first->setGeometry(du.Rect(66, 18, 70, 8).adjusted(0, 0, 0, 2));
    auto* second = new QLabel(secondCaption, this);
    second->setGeometry(du.Rect(66, 33, 77, 8).adjusted(0, 0, 0, 2));
    m_pFirst = new QLabel(QStringLiteral("0"), this);
    m_pFirst->setObjectName(QStringLiteral("static1004"));
    m_pFirst->setGeometry(du.Rect(153, 18, 23, 8).adjusted(0, 0, 0, 2));
    m_pSecond = new QLabel(QStringLiteral("0"), this);
    m_pSecond->setObjectName(QStringLiteral("static1005"));
    m_pSecond->setGeometry(du.Rect(153, 33, 23, 8).adjusted(0, 0, 0, 2));

    // The summary stands below the buttons, across the form, and grows with the window.
    m_pSummary = new QLabel(this);
    m_pSummary->setObjectName(QStringLiteral("formSummary"));
    m_pSummary->setWordWrap(true);
    m_pSummary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_nSummaryTop = du.Rect(0, 110, 0, 0).y();
    m_nSummaryLeft = du.Rect(10, 0, 0, 0).x();

    const QRect whole = du.Rect(0, 0, 216, 127);
    setMinimumSize(whole.size());
    resize(whole.size());

    // The window opens with Fetch in focus, so that Enter reaches the form.
    m_pFetch->setFocus();
    connect(m_pFetch, &QPushButton::clicked, this, &CTickoraView::fetchClicked);
    connect(m_pCancel, &QPushButton::clicked, this, &CTickoraView::OnCancelButton);
    ShowIdle();
}

void CTickoraView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_pSummary->setGeometry(m_nSummaryLeft, m_nSummaryTop, width() - 2 * m_nSummaryLeft,
                            std::max(0, height() - m_nSummaryTop - m_nSummaryLeft / 2));
}

void CTickoraView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        m_pFetch->isEnabled()) {
        m_pFetch->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

QRect CTickoraView::ControlsRect() const {
    QRect controls;
    for (const QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child != m_pSummary) {
            controls = controls.united(child->geometry());
        }
    }
    return controls;
}

void CTickoraView::SetSummary(const QString& text, const QString& toolTip, bool warning) {
    m_pSummary->setText(text);
    m_pSummary->setToolTip(toolTip);
    m_pSummary->setStyleSheet(warning ? QStringLiteral("color: #b00000;") : QString());
}

QSettings UserSettings() {
    return QSettings(QStringLiteral("tickora"), QStringLiteral("tickora"));
}

template <class F>
void CTickoraView::OnGuiThread(F&& f) {
    if (QThread::currentThread() == thread()) {
        f();
    } else {
        QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }
}

template <class F>
bool CTickoraView::AskOnGuiThread(F&& ask) {
    bool accepted = false;
    OnGuiThread([&] {
        if (!m_bClosing) {
            accepted = ask();
        }
    });
    return accepted;
}

void CTickoraView::ShowRunning() {
    OnGuiThread([this] {
        m_pFetch->setEnabled(false);
        m_pCancel->setEnabled(true);
        m_pFirst->setText(QStringLiteral("0"));
        m_pSecond->setText(QStringLiteral("0"));
        m_pProgress->setValue(m_pProgress->minimum());
    });
}

void CTickoraView::ShowIdle() {
    if (m_holdJobEnds) {
        return;
    }
    OnGuiThread([this] {
        m_pFetch->setEnabled(true);
        m_pCancel->setEnabled(false);
    });
}

void CTickoraView::ShowCounts(int first, int second) {
    OnGuiThread([this, first, second] {
        char text[64];
        std::snprintf(text, sizeof text, "%d", first);
        m_pFirst->setText(QString::fromLatin1(text));
        std::snprintf(text, sizeof text, "%d", second);
        m_pSecond->setText(QString::fromLatin1(text));
    });
}

void CTickoraView::SetProgressRange(int n) {
    // The range message carried the count in 16 bits.
    const int high = n & 0xFFFF;
    OnGuiThread([this, high] {
        m_pProgress->setRange(0, high);
        m_pProgress->setValue(0);
    });
}

void CTickoraView::SetProgressStep(int step) {
    OnGuiThread([this, step] { m_nStep = step; });
}

void CTickoraView::StepProgress() {
    OnGuiThread([this] {
        // A step past the end wraps to the start, as the common progress control does.
        int value = m_pProgress->value() + m_nStep;
        if (value > m_pProgress->maximum()) {
            value = m_pProgress->minimum() + (value - m_pProgress->maximum());
        }
        m_pProgress->setValue(value);
    });
}

void CTickoraView::SetProgressPos(int pos) {
    OnGuiThread([this, pos] { m_pProgress->setValue(pos); });
}

bool CTickoraView::AskHtmlOptions(JobOptions& options, HtmlOptionsJob job) {
    return AskOnGuiThread([&] {
        CHtmlOptionsDlg dlg(job, window());
        if (dlg.exec() != QDialog::Accepted) {
            return false;
        }
        options.keepHtml = dlg.m_bKeepHtml != 0;
        options.addedOnly = dlg.m_bAddedOnly != 0;
        options.useKeptHtml = dlg.m_bUseKeptHtml != 0;
        return true;
    });
}

bool CTickoraView::AskListOptions(JobOptions& options) {
    if (!AskHtmlOptions(options, HtmlOptionsJob::kList)) {
        return false;
    }
    OnGuiThread([this, &options] { m_lastListAnswer = options; });
    return true;
}

bool CTickoraView::AskCodeOptions(JobOptions& options, bool showAllStocks) {
    return AskOnGuiThread([&] {
        CCodeDlg dlg(showAllStocks, window());
        // The user's choices of the last time, kept in the user's own settings: the settings
        // record of the working folder has no room for them.
        QSettings remembered = UserSettings();
        remembered.beginGroup(QStringLiteral("history"));
        dlg.m_nCode = options.code;
        dlg.m_nDays = options.days;
        dlg.m_bAllStocks =
            showAllStocks &&
                    remembered.value(QStringLiteral("allStocks"), options.allStocks).toBool()
                ? 1
                : 0;
        dlg.m_bUpdate = remembered.value(QStringLiteral("update"), options.update).toBool() ? 1 : 0;
        if (dlg.exec() != QDialog::Accepted) {
            return false;
        }
        remembered.setValue(QStringLiteral("allStocks"), dlg.m_bAllStocks != 0);
        remembered.setValue(QStringLiteral("update"), dlg.m_bUpdate != 0);
        options.code = dlg.m_nCode;
        options.days = dlg.m_nDays;
        options.allStocks = dlg.m_bAllStocks != 0;
        options.update = dlg.m_bUpdate != 0;
        return true;
    });
}

bool CTickoraView::AskProfileOptions(JobOptions& options) {
    return AskHtmlOptions(options, HtmlOptionsJob::kProfiles);
}

void CTickoraView::ShowMessage(const std::string& sjisText) {
    OnGuiThread([this, &sjisText] {
        if (m_bClosing) {
            return;
        }
        QMessageBox box(QMessageBox::NoIcon, FromUtf8(kAppTitle), FromSjis(sjisText),
                        QMessageBox::Ok, window());
        box.setObjectName(QStringLiteral("documentMessage"));
        box.exec();
    });
}

void CTickoraView::SetTitle(const std::string& title) {
    OnGuiThread([this, &title] { emit titleChanged(FromSjis(title)); });
}

void CTickoraView::ShowOutcome(const JobOutcome& outcome) {
    if (m_holdJobEnds) {
        return;
    }
    OnGuiThread([this, &outcome] { emit jobEnded(outcome); });
}

void CTickoraView::PostQuit() {
    if (m_holdJobEnds) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { emit quitRequested(); }, Qt::QueuedConnection);
}

void CTickoraView::OnCancelButton() {
    if (m_pDoc != nullptr) {
        m_pDoc->CancelJob();
    }
}

}  // namespace tickora::gui
