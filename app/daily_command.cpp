// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/daily_command.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QThread>
#include <algorithm>

#include "app/command_table.h"
#include "app/daily_results.h"
#include "app/form_view.h"
#include "app/main_frame.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "jobs/daily_step.h"
#include "jobs/job_runner.h"
#include "jobs/job_steps.h"
#include "jobs/output_folder.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"

namespace tickora::gui {

namespace {

// Why the routine cannot start, in the order any job over the list finds it; empty when it can.
std::string StartRefusal(const StartupObjects& objects) {
    switch (RefusalOf(objects, JobRequest{Job::kFetch})) {
        case StartupRefusal::kNone:
            return {};
        case StartupRefusal::kCannotRun:
            return objects.cannotRun;
        case StartupRefusal::kEmptyList:
            return kEmptyListRefusal;
        case StartupRefusal::kNoOutputFolder:
            return OutputFolderRefusal(MissingOutputFolder(objects.settings));
        case StartupRefusal::kIrregularFile:
            return objects.irregularFile;
        case StartupRefusal::kNoMarket:
            return "market.csv not found.";
    }
    return {};
}

}  // namespace

bool RefusedDuringRoutine(int id) {
    static constexpr int kRefused[] = {
        kIdFetch,
        kIdMakeFetchList,
        kIdMakeKdt,
        kIdHistoryJob,
        kIdGetProfiles,
        kIdGetPerformance,
        kIdRetryFailed,
        kIdDaily,
        kIdSaveQuoteFile,
        kIdSettings,
        kIdConnectionSettings,
        kIdFileNew,
    };
    return std::find(std::begin(kRefused), std::end(kRefused), id) != std::end(kRefused);
}

CDailyCommand::CDailyCommand(CTickoraDoc& doc, StartupObjects& objects, CMainFrame& frame)
    : m_doc(doc), m_objects(objects), m_frame(frame) {
    // The form's Cancel reaches the step's worker by itself; the routine hears it here, between
    // the steps and in the pause too.
    connect(frame.View()->CancelButton(), &QPushButton::clicked, this, [this] {
        if (IsRunning()) {
            Cancel();
        }
    });
}

CDailyCommand::~CDailyCommand() {
    Cancel();
    if (m_thread.joinable()) {
        WaitForEnd();
    }
}

bool CDailyCommand::Start() {
    std::string refusal;
    if (IsRunning() || m_doc.IsJobRunning()) {
        refusal = "a job is running";
    } else {
        refusal = StartRefusal(m_objects);
    }
    WorkLockResult taken;
    if (refusal.empty()) {
        taken = TakeWorkFolder(false, {});
        refusal = taken.Message();
    }
    if (!refusal.empty()) {
        m_frame.ShowNote(FromUtf8(PhraseJa(refusal)));
        return false;
    }
    m_held = std::move(taken.lock);
    m_cancel = false;
    m_running = true;
    m_outcome.reset();
    // A step's end is not the routine's: the form stays running, and each step's outcome waits
    // for the routine's sections.
    m_frame.View()->HoldJobEnds(true);
    m_frame.View()->ShowRunning();
    m_frame.ShowNote(QStringLiteral("毎日の更新を実行しています"));
    DailyRequest request;
    request.retryPause = m_retryPause;
    m_thread = std::thread([this, request] { Run(request); });
    return true;
}

void CDailyCommand::Cancel() {
    m_cancel = true;
    if (IsRunning()) {
        m_doc.CancelJob();
    }
}

void CDailyCommand::WaitForEnd() {
    // The step's worker calls the form on this thread, and the end is posted to it.
    while (IsRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void CDailyCommand::Run(DailyRequest request) {
    request.kdt.days = DaysOfStoredHistories(m_objects.stocks);
    DailyHooks hooks;
    hooks.cancelled = [this] { return m_cancel.load(); };
    hooks.pause = [this](std::chrono::milliseconds pause) {
        return PauseUnlessCancelled(pause, [this] { return m_cancel.load(); });
    };
    DailyOutcome daily;
    {
        // The steps keep one connection to the site from the first to the last.
        SharedConnections shared(m_doc);
        daily = RunDailyRoutine(
            request, [this](const DailyStep& step) { return RunOneStep(step); }, hooks);
    }
    QMetaObject::invokeMethod(
        this,
        [this, daily = std::move(daily)] {
            m_outcome = daily;
            Finish();
        },
        Qt::QueuedConnection);
}

JobOutcome CDailyCommand::RunOneStep(const DailyStep& step) {
    const std::string job = DailyJobName(step.job);
    QMetaObject::invokeMethod(
        &m_frame,
        [this, job] {
            m_frame.ShowNote(
                QStringLiteral("毎日の更新: %1を実行しています").arg(FromUtf8(JobNameJa(job))));
        },
        Qt::QueuedConnection);
    RunWatch watch;
    watch.cancelRequested = [this] { return m_cancel.load(); };
    return RunDailyStep(m_doc, step, m_held, watch, FrontEnd::kDesktop);
}

void CDailyCommand::Finish() {
    m_thread.join();
    m_frame.View()->HoldJobEnds(false);
    m_held = WorkLock{};
    m_frame.View()->ShowIdle();
    if (m_outcome) {
        ShowDailyOutcome(m_frame, *m_outcome);
    }
    m_running = false;
    emit ended(m_outcome ? m_outcome->exitStatus : kExitEndedEarly);
}

}  // namespace tickora::gui
