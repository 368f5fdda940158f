// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: menu bar, tool bar and status bar around the form. It turns menu items, tool
// bar buttons and accelerators into command ids; the application routes them.
#include <QHash>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <optional>

#include "jobs/job_outcome.h"

class QAction;
class QDockWidget;
class QLabel;
class QToolBar;

namespace tickora::gui {

class CResultsPanel;
class CTickoraView;

class CMainFrame : public QMainWindow {
    Q_OBJECT

  public:
    explicit CMainFrame(QWidget* parent = nullptr);

    [[nodiscard]] CTickoraView* View() const { return m_pView; }
    [[nodiscard]] QToolBar* ToolBar() const { return m_pToolBar; }
    // The action of a command id (menu, tool bar or accelerator); nullptr when none.
    [[nodiscard]] QAction* Action(int id) const { return m_actions.value(id, nullptr); }
    [[nodiscard]] QList<QLabel*> Indicators() const { return m_indicators; }

    // A line that stays in the status bar until the next command: a job's summary (with its
    // failures as the tool tip), or why a command did nothing. Prompts of the menu items still
    // show over it while the pointer is on them.
    void ShowNote(const QString& text, const QString& details = {});
    // As ShowNote, with the warning sign and colour of a job that needs attention: the sign of
    // an error when critical (nothing was done), else of a warning.
    void ShowWarningNote(const QString& text, bool critical);
    [[nodiscard]] QString Note() const;
    // A job has ended: its summary (in Japanese) stays in the status bar, with a warning sign
    // and colour when something failed or it ended early, and the results panel shows it, opened
    // by itself in that case. The title takes the date of the file the job wrote.
    void ShowOutcome(const JobOutcome& outcome);
    // Is the note a warning (a job that failed or ended early)?
    [[nodiscard]] bool NoteIsWarning() const { return m_bNoteWarning; }
    [[nodiscard]] CResultsPanel* Results() const { return m_pResults; }
    [[nodiscard]] QDockWidget* ResultsDock() const { return m_pResultsDock; }
    // The working folder, always in view in the status bar: whole where the bar has room for it
    // beside the note, else cut in its middle; the whole of it is the tool tip.
    void SetWorkFolder(const QString& folder);
    [[nodiscard]] QLabel* WorkFolderLabel() const { return m_pWorkFolder; }

    // The caption is the document title, " - " and the program name.
    void SetDocTitle(const QString& title);
    [[nodiscard]] QString DocTitle() const { return m_strTitle; }

    // Asked before closing: true while a job still runs. The frame then asks it to stop (through
    // stopJob), keeps the window alive and responsive, and closes once jobRunning turns false.
    void SetJobHooks(std::function<bool()> jobRunning, std::function<void()> stopJob);
    [[nodiscard]] bool IsClosePending() const { return m_bClosePending; }

    // A message on the status line that stays until the next prompt replaces it.
    void ShowStatusText(const QString& text);

  signals:
    void command(int id);
    // The window has closed for good.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The window's size and place, and its bars' and panel's, as the user left them (the user's
    // own settings, never the working folder); a first start opens larger than the form needs.
    void RestoreLayout();
    void SaveLayout() const;
    void ElideWorkFolder();
    // The note, its tool tip and its colour on the form too.
    void ShowSummaryOnForm();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void ShowReadyWhenIdle(const QString& message);
    void MarkNoteAsWarning(bool critical);
    void KeepTheFormWhole();

    CTickoraView* m_pView;
    QToolBar* m_pToolBar = nullptr;
    QHash<int, QAction*> m_actions;
    QList<QLabel*> m_indicators;
    QLabel* m_pNote = nullptr;
    QLabel* m_pNoteIcon = nullptr;
    QLabel* m_pWorkFolder = nullptr;
    QString m_strWorkFolder;
    bool m_bNoteWarning = false;
    std::optional<JobOutcome> m_lastOutcome;
    CResultsPanel* m_pResults = nullptr;
    QDockWidget* m_pResultsDock = nullptr;
    void CreateResultsPanel();
    QString m_strNote;  // whole; the label shows as much as its width allows
    void ElideNote();
    QString m_strTitle;
    std::function<bool()> m_jobRunning;
    std::function<void()> m_stopJob;
    bool m_bClosePending = false;
    QTimer m_closeTimer;
};

}  // namespace tickora::gui
