// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The form inside the main window: progress bar, "Fetch", "Cancel" and the two counters. It is
// the document's view: workers call it from their own thread, and every such call runs on the
// GUI thread while the worker waits, as the synchronous control messages of the form always did.
#include <QWidget>
#include <atomic>
#include <optional>

#include "app/options_dlgs.h"
#include "jobs/job_outcome.h"
#include "jobs/tickora_view.h"

class QLabel;
class QSettings;
class QProgressBar;
class QPushButton;

namespace tickora {
class CTickoraDoc;
}

namespace tickora::gui {

// The user's own settings of the desktop program (~/.config/tickora/tickora.conf): choices that
// belong to the user, not to a working folder.
[[nodiscard]] QSettings UserSettings();

class CTickoraView : public QWidget, public ITickoraView {
    Q_OBJECT

  public:
    explicit CTickoraView(QWidget* parent = nullptr);

    void SetDocument(CTickoraDoc* doc) { m_pDoc = doc; }
    [[nodiscard]] CTickoraDoc* GetDocument() const { return m_pDoc; }

    // While the program is closing, the options dialogs asked by a worker answer "cancel"
    // without showing, so that the job ends promptly.
    void SetClosing(bool closing) { m_bClosing = closing; }
    [[nodiscard]] bool IsClosing() const { return m_bClosing; }

    // A job starts: the form starts clean, counters at 0 and the bar at its start, so that
    // nothing of the previous job is read as this one's.
    void ShowRunning() override;
    void ShowIdle() override;
    void ShowCounts(int first, int second) override;
    void SetProgressRange(int n) override;
    void SetProgressStep(int step) override;
    void StepProgress() override;
    void SetProgressPos(int pos) override;
    bool AskListOptions(JobOptions& options) override;
    bool AskCodeOptions(JobOptions& options, bool showAllStocks) override;
    bool AskProfileOptions(JobOptions& options) override;
    // While a routine of several jobs runs (毎日の更新), a job's end is not the form's: it stays
    // running, and the job's outcome and an unattended quit are not passed on.
    void HoldJobEnds(bool hold) { m_holdJobEnds = hold; }
    // What the list job's dialog was last answered, so that the job can run again without asking.
    [[nodiscard]] std::optional<JobOptions> LastListAnswer() const { return m_lastListAnswer; }
    void ShowMessage(const std::string& sjisText) override;
    void SetTitle(const std::string& title) override;
    void PostQuit() override;
    void ShowOutcome(const JobOutcome& outcome) override;

    [[nodiscard]] QProgressBar* ProgressBar() const { return m_pProgress; }
    [[nodiscard]] QPushButton* FetchButton() const { return m_pFetch; }
    [[nodiscard]] QPushButton* CancelButton() const { return m_pCancel; }
    [[nodiscard]] QLabel* FirstCounter() const { return m_pFirst; }
    [[nodiscard]] QLabel* SecondCounter() const { return m_pSecond; }

    // The last job's summary or why a command did nothing, below the form's own controls: wrapped
    // over as many lines as the form has room for, the whole of it also the tool tip. warning
    // shows it in the warning colour.
    void SetSummary(const QString& text, const QString& toolTip, bool warning);
    [[nodiscard]] QLabel* Summary() const { return m_pSummary; }
    // Where the form's own controls lie, the summary left out: what the form must keep whole.
    [[nodiscard]] QRect ControlsRect() const;

  signals:
    // The document title changed (on the GUI thread).
    void titleChanged(const QString& title);
    // The worker asked the program to end (queued: the worker does not wait for it).
    void quitRequested();
    // The Fetch button; the application routes it like the menu command.
    void fetchClicked();
    // A job has ended and this is what it did (on the GUI thread, while the worker waits).
    void jobEnded(const tickora::JobOutcome& outcome);

  public slots:
    void OnCancelButton();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    // Enter on the form is Fetch while Fetch can be pressed: a new user who answers every question
    // with Enter starts with it too.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The dialog of the list job or of the profile job, on the GUI thread.
    bool AskHtmlOptions(JobOptions& options, HtmlOptionsJob job);
    // Runs f on the GUI thread: directly when already there, otherwise queued while the caller
    // waits for it to finish.
    template <class F>
    void OnGuiThread(F&& f);
    // Runs the dialog `ask` on the GUI thread and returns whether the user accepted it; false,
    // with no dialog, once the window is closing.
    template <class F>
    bool AskOnGuiThread(F&& ask);

    CTickoraDoc* m_pDoc = nullptr;
    std::atomic<bool> m_bClosing{false};
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pFetch = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLabel* m_pFirst = nullptr;
    QLabel* m_pSecond = nullptr;
    QLabel* m_pSummary = nullptr;
    int m_nSummaryTop = 0;   // below the buttons
    int m_nSummaryLeft = 0;  // as far in as the counters' captions
    int m_nStep = 1;
    std::optional<JobOptions> m_lastListAnswer;  // GUI thread only
    std::atomic<bool> m_holdJobEnds{false};      // set on the GUI thread, read by the worker
};

}  // namespace tickora::gui
