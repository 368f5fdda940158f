// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ﾌｧｲﾙ › 毎日の更新: the day's routine of the command line's `daily`, run from the window. The
// folder's lock is taken on the GUI thread, so that a refusal is told at once; the routine then
// runs on a thread of its own, each of its jobs on the document's worker as any job runs, while
// the window stays alive. Its end shows one section per step in 結果.
#include <QObject>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "catalog/work_lock.h"
#include "jobs/daily_job.h"
#include "jobs/tickora_view.h"

namespace tickora {
class CTickoraDoc;
struct StartupObjects;
}  // namespace tickora

namespace tickora::gui {

class CMainFrame;
class CTickoraView;

class CDailyCommand : public QObject {
    Q_OBJECT

  public:
    CDailyCommand(CTickoraDoc& doc, StartupObjects& objects, CMainFrame& frame);
    // Cancels a routine still running and waits for it.
    ~CDailyCommand() override;

    // On the GUI thread: refuses in the status bar what any job over the list refuses (a job
    // running, an empty list, a missing output folder, another job holding the folder), else
    // starts the routine. True when it started.
    bool Start();
    // From the moment Start took the lock until the sections are shown.
    [[nodiscard]] bool IsRunning() const { return m_running.load(); }
    // The Cancel button's wish: the step in progress ends as Cancel ends it, and no later step
    // runs.
    void Cancel();
    // Serves the window's events until the routine has ended and shown its sections.
    void WaitForEnd();
    // The pause before the retry round (the routine's default unless a test asks otherwise).
    void SetRetryPause(std::chrono::milliseconds pause) { m_retryPause = pause; }
    [[nodiscard]] const std::optional<DailyOutcome>& LastOutcome() const { return m_outcome; }

  signals:
    // The routine has ended and 結果 shows its sections (on the GUI thread).
    void ended(int exitStatus);

  private:
    void Run(DailyRequest request);  // the routine's own thread
    JobOutcome RunOneStep(const DailyStep& step);
    void Finish();  // GUI thread, once the routine's thread has ended

    CTickoraDoc& m_doc;
    StartupObjects& m_objects;
    CMainFrame& m_frame;
    WorkLock m_held;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancel{false};
    std::chrono::milliseconds m_retryPause{kDailyRetryPause};
    std::optional<DailyOutcome> m_outcome;
};

// The commands that would start a job, touch what the routine's jobs read (the settings, the
// list, the day's quotes) or write the folder while the routine holds it: refused until it ends.
[[nodiscard]] bool RefusedDuringRoutine(int id);

}  // namespace tickora::gui
