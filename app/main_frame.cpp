// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>
#include <algorithm>

#include "app/command_table.h"
#include "app/form_view.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/results_panel.h"
#include "app/tool_icons.h"

namespace tickora::gui {

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(ProgramIcon());
    m_pView = new CTickoraView(this);
    setCentralWidget(m_pView);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateResultsPanel();
    SetDocTitle(FromUtf8(kUntitled));
    connect(m_pView, &CTickoraView::titleChanged, this, &CMainFrame::SetDocTitle);
    connect(m_pView, &CTickoraView::fetchClicked, this, [this] { emit command(kIdFetch); });

    m_closeTimer.setInterval(50);
    connect(&m_closeTimer, &QTimer::timeout, this, [this] {
        if (!m_jobRunning || !m_jobRunning()) {
            m_closeTimer.stop();
            close();
        }
    });
    // The frame fits the form (shrinking only), then takes the size the user left it at.
    adjustSize();
    RestoreLayout();
}

namespace {

// A first start opens wide enough for a summary of a few lines below the form.
constexpr QSize kFirstSize(680, 460);

}  // namespace

void CMainFrame::RestoreLayout() {
    QSettings remembered = UserSettings();
    remembered.beginGroup(QStringLiteral("window"));
    const QByteArray geometry = remembered.value(QStringLiteral("geometry")).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        resize(size().expandedTo(kFirstSize));
    }
    (void)restoreState(remembered.value(QStringLiteral("state")).toByteArray());
}

void CMainFrame::SaveLayout() const {
    QSettings remembered = UserSettings();
    remembered.beginGroup(QStringLiteral("window"));
    remembered.setValue(QStringLiteral("geometry"), saveGeometry());
    remembered.setValue(QStringLiteral("state"), saveState());
}

void CMainFrame::CreateActions() {
    for (const CommandInfo& info : Commands()) {
        auto* action = new QAction(this);
        action->setObjectName(QStringLiteral("command%1").arg(info.id));
        action->setData(info.id);
        action->setText(FromUtf8(MenuLabel(info)));
        action->setStatusTip(FromUtf8(StatusPrompt(info)));
        action->setToolTip(FromUtf8(ToolTip(info)));
        QList<QKeySequence> keys;
        for (const QString& key :
             FromUtf8(info.accelerators).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            keys.append(QKeySequence(key, QKeySequence::PortableText));
        }
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setEnabled(info.handled);
        // Every command is reachable from the window, in a menu or not (Alt+K, Ctrl+N, ...).
        addAction(action);
        const int id = info.id;
        if (id == kIdViewToolBar || id == kIdViewStatusBar || id == kIdViewResults) {
            action->setCheckable(true);
            action->setChecked(true);
        } else {
            connect(action, &QAction::triggered, this, [this, id] { emit command(id); });
        }
        m_actions.insert(id, action);
    }
}

void CMainFrame::CreateMenus() {
    for (const MenuInfo& menuInfo : Menus()) {
        QMenu* menu = menuBar()->addMenu(FromUtf8(menuInfo.title));
        for (const int id : menuInfo.items) {
            if (id == kSeparator) {
                menu->addSeparator();
            } else {
                menu->addAction(m_actions.value(id));
            }
        }
    }
}

void CMainFrame::CreateToolBar() {
    m_pToolBar = new QToolBar(QStringLiteral("ﾂｰﾙ ﾊﾞｰ"), this);
    m_pToolBar->setObjectName(QStringLiteral("toolBar"));
    m_pToolBar->setIconSize(QSize(16, 16));
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_pToolBar->setFloatable(true);
    for (const int id : ToolBarButtons()) {
        if (id == kSeparator) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* action = m_actions.value(id);
        action->setIcon(ToolBarIcon(id));
        m_pToolBar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, m_pToolBar);
    QAction* toggle = m_actions.value(kIdViewToolBar);
    connect(toggle, &QAction::toggled, m_pToolBar, &QToolBar::setVisible);
    connect(m_pToolBar, &QToolBar::visibilityChanged, toggle, [this, toggle](bool visible) {
        // Minimising the window hides the tool bar too; only a real hide unticks the item.
        if (!isMinimized()) {
            toggle->setChecked(visible || !isVisible());
        }
    });
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    for (const char* text : {"ｶﾅ", "CAP", "NUM", "SCRL"}) {
        auto* indicator = new QLabel(QString::fromUtf8(text), bar);
        indicator->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        indicator->setAlignment(Qt::AlignCenter);
        indicator->setMinimumWidth(indicator->fontMetrics().horizontalAdvance(indicator->text()) +
                                   8);
        // The lock states are not known on every display server: shown as the off state.
        indicator->setEnabled(false);
        bar->addPermanentWidget(indicator);
        m_indicators.append(indicator);
    }
    m_pWorkFolder = new QLabel(bar);
    m_pWorkFolder->setObjectName(QStringLiteral("workFolder"));
    m_pWorkFolder->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->insertPermanentWidget(0, m_pWorkFolder);
    bar->installEventFilter(this);
    SetWorkFolder(QDir::currentPath());
    m_pNoteIcon = new QLabel(bar);
    m_pNoteIcon->setObjectName(QStringLiteral("statusIcon"));
    m_pNoteIcon->hide();
    bar->addWidget(m_pNoteIcon);
    m_pNote = new QLabel(bar);
    m_pNote->setObjectName(QStringLiteral("statusNote"));
    // A summary longer than the window is cut with "…", never wrapped over the form: the whole
    // of it is the label's tool tip.
    m_pNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_pNote->installEventFilter(this);
    bar->addWidget(m_pNote, 1);
    connect(bar, &QStatusBar::messageChanged, this, &CMainFrame::ShowReadyWhenIdle);
    bar->showMessage(FromUtf8(kReadyText));
    QAction* toggle = m_actions.value(kIdViewStatusBar);
    connect(toggle, &QAction::toggled, bar, &QStatusBar::setVisible);
}

void CMainFrame::CreateResultsPanel() {
    m_pResultsDock = new QDockWidget(QStringLiteral("結果"), this);
    m_pResultsDock->setObjectName(QStringLiteral("resultsDock"));
    m_pResults = new CResultsPanel(m_pResultsDock);
    m_pResultsDock->setWidget(m_pResults);
    addDockWidget(Qt::BottomDockWidgetArea, m_pResultsDock);
    m_pResultsDock->hide();
    QAction* toggle = m_actions.value(kIdViewResults);
    toggle->setChecked(false);
    connect(toggle, &QAction::toggled, m_pResultsDock, &QDockWidget::setVisible);
    connect(m_pResultsDock, &QDockWidget::visibilityChanged, toggle, [this, toggle](bool shown) {
        if (!isMinimized()) {
            toggle->setChecked(shown || (!m_pResultsDock->isHidden() && !isVisible()));
        }
    });
}

void CMainFrame::SetWorkFolder(const QString& folder) {
    m_strWorkFolder = QDir::toNativeSeparators(folder);
    m_pWorkFolder->setToolTip(QStringLiteral("作業フォルダ: ") + m_strWorkFolder);
    ElideWorkFolder();
}

void CMainFrame::ElideWorkFolder() {
    // The summary has its own place on the form: the folder may take the bar's room but for the
    // indicators and a short note.
    QStatusBar* bar = statusBar();
    int indicators = 0;
    for (const QLabel* indicator : m_indicators) {
        indicators += indicator->sizeHint().width() + bar->layout()->spacing() + 4;
    }
    const QFontMetrics metrics = m_pWorkFolder->fontMetrics();
    const int note = metrics.horizontalAdvance(QLatin1Char('0')) * 16;
    const int frame =
        m_pWorkFolder->sizeHint().width() - metrics.horizontalAdvance(m_pWorkFolder->text());
    const int room = std::max(metrics.horizontalAdvance(QLatin1Char('0')) * 12,
                              bar->width() - indicators - note - frame);
    m_pWorkFolder->setText(metrics.elidedText(m_strWorkFolder, Qt::ElideMiddle, room));
}

void CMainFrame::ShowOutcome(const JobOutcome& outcome) {
    // A job whose options dialog was dismissed did nothing: the last job's summary comes back.
    if (outcome.end == JobEnd::kNotRun && outcome.endCause.empty() && outcome.warnings.empty()) {
        if (m_lastOutcome) {
            const JobOutcome last = *m_lastOutcome;
            ShowOutcome(last);
        } else {
            ShowNote({});
        }
        return;
    }
    m_lastOutcome = outcome;
    const bool warning = NeedsAttention(outcome);
    QString text = FromUtf8(SummaryJa(outcome));
    const std::string neverAsked = NeverAskedJa(outcome);
    if (!neverAsked.empty()) {
        text += QStringLiteral("。") + FromUtf8(neverAsked);
    }
    ShowNote(text);
    if (warning) {
        MarkNoteAsWarning(outcome.end != JobEnd::kCompleted);
    }
    // The whole line as a tool tip that wraps, never wider than the screen.
    m_pNote->setToolTip(Qt::convertFromPlainText(
        text + QStringLiteral("\n(詳しくは 表示 > 結果)"), Qt::WhiteSpaceNormal));
    ShowSummaryOnForm();
    m_pResults->ShowOutcome(outcome);
    // What the check found is read in 結果 whether or not the run needs attention.
    if (warning || !outcome.WritesFiles() || !outcome.findings.empty()) {
        m_pResultsDock->show();
    }
    if (!outcome.quoteDate.empty() && !outcome.Written().empty()) {
        SetDocTitle(FromUtf8(outcome.quoteDate));
    }
}

void CMainFrame::ShowReadyWhenIdle(const QString& message) {
    // A note stands where "ﾚﾃﾞｨ" would; the prompts still show over it for a while.
    if (message.isEmpty() && m_strNote.isEmpty()) {
        statusBar()->showMessage(FromUtf8(kReadyText));
    }
}

void CMainFrame::ShowNote(const QString& text, const QString& details) {
    m_strNote = text;
    m_bNoteWarning = false;
    m_pNoteIcon->hide();
    m_pNote->setStyleSheet({});
    ElideNote();
    m_pNote->setToolTip(details.isEmpty() ? text : text + QLatin1Char('\n') + details);
    ShowSummaryOnForm();
    if (text.isEmpty()) {
        statusBar()->showMessage(FromUtf8(kReadyText));
    } else {
        statusBar()->clearMessage();
    }
}

void CMainFrame::ShowWarningNote(const QString& text, bool critical) {
    ShowNote(text);
    MarkNoteAsWarning(critical);
}

void CMainFrame::MarkNoteAsWarning(bool critical) {
    m_bNoteWarning = true;
    const QStyle::StandardPixmap sign =
        critical ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning;
    const int side = m_pNote->fontMetrics().height();
    m_pNoteIcon->setPixmap(style()->standardIcon(sign).pixmap(side, side));
    m_pNoteIcon->show();
    m_pNote->setStyleSheet(QStringLiteral("color: #b00000;"));
    ShowSummaryOnForm();
}

void CMainFrame::ShowSummaryOnForm() {
    m_pView->SetSummary(m_strNote, m_pNote->toolTip(), m_bNoteWarning);
}

QString CMainFrame::Note() const {
    return m_strNote;
}

void CMainFrame::ElideNote() {
    m_pNote->setText(
        m_pNote->fontMetrics().elidedText(m_strNote, Qt::ElideRight, m_pNote->width()));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pNote && event->type() == QEvent::Resize) {
        ElideNote();
    }
    if (watched == statusBar() && event->type() == QEvent::Resize) {
        ElideWorkFolder();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::ShowStatusText(const QString& text) {
    ShowNote(text);
}

void CMainFrame::showEvent(QShowEvent* event) {
    KeepTheFormWhole();
    QMainWindow::showEvent(event);
}

void CMainFrame::KeepTheFormWhole() {
    // The form places its controls by the font it had when it was made; a desktop theme may
    // hand it a larger one before the window appears. Its minimum then grows to hold every
    // control, and the window's minimum follows from the layout, so that no size the user drags
    // to puts the status bar over the buttons.
    const QRect controls = m_pView->ControlsRect();
    const QSize needed(controls.right() + controls.left() + 1,
                       controls.bottom() + controls.top() + 1);
    m_pView->setMinimumSize(m_pView->minimumSize().expandedTo(needed));
}

void CMainFrame::SetDocTitle(const QString& title) {
    m_strTitle = title;
    setWindowTitle(title + QStringLiteral(" - ") + FromUtf8(kAppTitle));
}

void CMainFrame::SetJobHooks(std::function<bool()> jobRunning, std::function<void()> stopJob) {
    m_jobRunning = std::move(jobRunning);
    m_stopJob = std::move(stopJob);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_jobRunning && m_jobRunning()) {
        // The worker still uses the document, this view and the stock list: ask it to stop and
        // close once it has, keeping the window responsive to its last synchronous calls.
        if (!m_bClosePending) {
            m_bClosePending = true;
            m_pView->SetClosing(true);
            if (m_stopJob) {
                m_stopJob();
            }
            statusBar()->showMessage(QStringLiteral("処理の終了を待っています..."));
            m_closeTimer.start();
        }
        event->ignore();
        return;
    }
    m_closeTimer.stop();
    m_pView->SetClosing(true);
    SaveLayout();
    event->accept();
    emit closed();
}

}  // namespace tickora::gui
