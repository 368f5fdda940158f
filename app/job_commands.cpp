// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's job commands: each builds a request, asks what a user can answer first (an empty
// list, a missing output folder), hands it to the document and shows the outcome when it ends.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/command_table.h"
#include "app/desktop_notice.h"
#include "app/first_start.h"
#include "app/form_view.h"
#include "app/job_chain.h"
#include "app/main_frame.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/retry_dlg.h"
#include "app/save_note.h"
#include "app/tickora_app.h"
#include "catalog/work_lock.h"
#include "jobs/job_runner.h"
#include "jobs/retry_plan.h"
#include "jobs/run_history.h"
#include "jobs/startup.h"
#include "jobs/tickora_doc.h"
#include "text/sjis.h"

namespace tickora::gui {

namespace {

// A job that ran this long has likely lost the user's eye: its end is told by the desktop.
constexpr qint64 kNoticeAfterMs = 10000;

// The job commands, and the job each asks for.
struct JobCommand {
    int id;
    Job job;
};

constexpr JobCommand kJobCommands[] = {
    {kIdFetch, Job::kFetch},          {kIdMakeFetchList, Job::kFetchList},
    {kIdMakeKdt, Job::kKdt},          {kIdHistoryJob, Job::kKdt},
    {kIdGetProfiles, Job::kProfiles}, {kIdGetPerformance, Job::kPerformance},
    {kIdCheckData, Job::kCheck},
};

}  // namespace

std::optional<Job> CTickoraApp::JobOfCommand(int id) {
    for (const JobCommand& command : kJobCommands) {
        if (command.id == id) {
            return command.job;
        }
    }
    return std::nullopt;
}

void CTickoraApp::UnattendedFetch() {
    if (!m_bRunning || !m_pDoc || !m_pFrame || m_pFrame->IsClosePending() ||
        !m_pFrame->isVisible()) {
        m_bWaitingForFolder = false;
        return;
    }
    if (m_pDoc->IsJobRunning()) {
        // A job of this window holds the folder; the command says so, as it would to a user.
        m_bWaitingForFolder = false;
        OnCommand(kIdFetch);
        return;
    }
    WorkLockResult taken = TakeWorkFolder(false, {});
    if (taken.Taken()) {
        m_bWaitingForFolder = false;
        m_pDoc->HandOverWorkLock(std::move(taken.lock));
        OnCommand(kIdFetch);
        if (!m_pDoc->IsJobRunning()) {
            m_pDoc->HandOverWorkLock(WorkLock{});  // not started: the folder is free again
        }
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!m_bWaitingForFolder) {
        m_bWaitingForFolder = true;
        m_lockWaitEnd = now + m_lockWait;
        std::fprintf(stderr, "tickora: %s; waiting for it to end\n", taken.Message().c_str());
    }
    if (taken.status == WorkLockStatus::kBusy && now < m_lockWaitEnd) {
        m_pFrame->ShowNote(QStringLiteral("作業フォルダが空くのを待っています: ") +
                           QString::fromStdString(taken.Message()));
        QTimer::singleShot(100, this, [this] { UnattendedFetch(); });
        return;
    }
    m_bWaitingForFolder = false;
    std::fprintf(stderr, "tickora: %s\n", taken.Message().c_str());
    m_exitStatus = taken.status == WorkLockStatus::kBusy ? kExitLocked : kExitEndedEarly;
    m_pFrame->close();
}

bool CTickoraApp::StartJobCommand(int id, std::optional<JobRequest> request) {
    CMainFrame* frame = m_pFrame.get();
    const bool idle = !m_pDoc->IsJobRunning();
    if (id == kIdFetch && idle && m_pObjects->stocks.GetBlock(0) == nullptr) {
        if (OfferToBuildList(frame)) {
            m_chain.FetchAfterList();
            return StartJobCommand(kIdMakeFetchList);
        }
        frame->ShowNote(QStringLiteral("fetchlist.csv に銘柄がないため、取得するものがありません"));
        return false;
    }
    const Job job = request ? request->job : JobOfCommand(id).value_or(Job::kFetch);
    if (WritesToOutputFolder(job) && idle && m_pObjects->settings.m_bExitAfterFetch == 0) {
        OfferVisibleOutputFolderOnce();
    }
    // A missing output folder is found before any page is asked, not after the last one.
    if (WritesToOutputFolder(job) && idle) {
        const QString folder = FromUtf8(m_pObjects->settings.OutputDirPath());
        const QString whole = QDir::toNativeSeparators(QDir(folder).absolutePath());
        if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
            if (!OfferToCreateFolder(frame, whole)) {
                frame->ShowNote(
                    QStringLiteral("出力先ディレクトリ %1 がないため、取得しませんでした")
                        .arg(whole));
                return false;
            }
            if (!QDir().mkpath(folder)) {
                frame->ShowNote(
                    QStringLiteral("出力先ディレクトリ %1 を作成できません").arg(whole));
                return false;
            }
        }
    }
    const QString title = frame->DocTitle();
    const bool started = m_pDoc->Start(request ? std::move(*request) : JobRequest{job});
    if (!started) {
        // A job command while a job runs starts nothing: every job shares the stock list, the
        // page buffer and the work files, and another process may hold the working folder. The
        // document says why; the status bar shows that, never a box to click away.
        frame->SetDocTitle(title);
        if (!m_pDoc->LastRefusal().empty()) {
            frame->ShowNote(FromUtf8(PhraseJa(m_pDoc->LastRefusal())));
        }
        return false;
    }
    // Every run starts clean: the last summary goes, and the performance job's title waits for
    // the date of its file. Jobs that write no dated file leave the day's title as it was.
    frame->ShowNote({});
    if (id == kIdGetPerformance) {
        frame->SetDocTitle(FromUtf8(kUntitled));
    }
    m_jobClock.start();
    return true;
}

void CTickoraApp::OnJobEnded(const JobOutcome& outcome) {
    m_pFrame->ShowOutcome(outcome);
    const bool closing = View() == nullptr || View()->IsClosing() || m_pFrame->IsClosePending();
    if (m_jobClock.isValid() && m_jobClock.elapsed() > kNoticeAfterMs && !closing &&
        !m_pFrame->isActiveWindow() && outcome.end != JobEnd::kNotRun) {
        (void)NotifyDesktop(FromUtf8(JobNameJa(outcome.job)) + QStringLiteral("が終わりました"),
                            m_pFrame->Note());
    }
    m_jobClock.invalidate();
    m_chain.JobEnded(outcome, View() != nullptr ? View()->LastListAnswer() : std::nullopt,
                     m_pObjects->stocks.GetBlock(0) != nullptr);
    // An unattended run never waits for a click.
    if (closing || m_pObjects->settings.m_bExitAfterFetch != 0) {
        m_chain.Forget();
    } else if (SiteUnreachable(outcome)) {
        // After the worker has gone: it waits for this call to return.
        QTimer::singleShot(0, this, [this] { OfferAfterJob(true); });
    } else if (std::optional<ChainedJob> next = m_chain.TakeNext()) {
        QTimer::singleShot(0, this, [this, next] { StartChained(next); });
    }
}

void CTickoraApp::WaitForWorkerToGo() {
    while (m_pDoc->IsJobRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void CTickoraApp::StartChained(std::optional<ChainedJob> job) {
    if (!job || !m_bRunning || !m_pFrame || m_pFrame->IsClosePending()) {
        return;
    }
    WaitForWorkerToGo();
    if (job->list) {
        (void)StartJobCommand(kIdMakeFetchList, JobRequest{Job::kFetchList, *job->list});
    } else {
        OnCommand(job->command);
    }
}

void CTickoraApp::OfferAfterJob(bool unreachable) {
    if (!unreachable || !m_pFrame || m_pFrame->IsClosePending()) {
        return;
    }
    // The worker is on its last steps: the connection settings refuse while it lives.
    WaitForWorkerToGo();
    const SiteHosts hosts = m_access.hosts;
    const int port = TrialSitePort(hosts);
    const bool trialPossible = port > 0 && !m_pTrial->Running();
    switch (OfferForUnreachableSite(m_pFrame.get(), FromUtf8(hosts.quote), trialPossible)) {
        case UnreachableChoice::kConnectionSettings:
            OnConnectionSettings();
            break;
        case UnreachableChoice::kStartTrialSite: {
            QString why;
            if (!m_pTrial->Start(port, &why)) {
                m_pFrame->ShowNote(QStringLiteral("試用サイトを起動できません: ") + why);
                break;
            }
            m_pFrame->ShowNote(
                QStringLiteral("試用の模擬サイト %1 を起動しました (Tickora の終了時に止めます)")
                    .arg(FromUtf8(hosts.quote)));
            // What the user asked for goes on, with the answers already given.
            StartChained(m_chain.TakeInterrupted());
            return;
        }
        case UnreachableChoice::kClose:
            break;
    }
    m_chain.Forget();
}

void CTickoraApp::OnSaveQuoteFile() {
    const SaveResult result = m_pDoc->OnSaveQuoteFile();
    const QString note = FromUtf8(SaveNoteJa(result));
    // Nothing written, or fewer stocks than before: the note says so in the warning colour.
    if (result.Refused()) {
        m_pFrame->ShowWarningNote(note, true);
    } else if (result.replacedStocks > result.stocks || !result.setAside.empty()) {
        m_pFrame->ShowWarningNote(note, false);
    } else {
        m_pFrame->ShowNote(note);
    }
}

void CTickoraApp::OfferVisibleOutputFolderOnce() {
    CAppSettings& settings = m_pObjects->settings;
    const QString visible = VisibleOutputFolder();
    if (visible.isEmpty() ||
        !OffersVisibleOutputFolder(QDir::currentPath(),
                                   QFileInfo::exists(QStringLiteral("Tickora.ini")),
                                   settings.OutputDirPath())) {
        return;
    }
    // Either answer is kept, so that it is asked once.
    const std::string folder =
        OfferVisibleOutputFolder(m_pFrame.get(), visible, QDir::currentPath())
            ? Utf8ToSjis(visible.toStdString())
            : std::string(".");
    std::memset(settings.m_szOutputDir, 0, sizeof settings.m_szOutputDir);
    std::memcpy(settings.m_szOutputDir, folder.data(),
                std::min(folder.size(), sizeof settings.m_szOutputDir - 1));
    (void)QDir().mkpath(FromUtf8(settings.OutputDirPath()));
    (void)SaveSettings(settings);
}

void CTickoraApp::OnRetryFailed() {
    if (m_pDoc->IsJobRunning()) {
        m_pFrame->ShowNote(QStringLiteral("処理の実行中は再取得できません"));
        return;
    }
    // The later of the two jobs' last runs, as the command line finds its job's: the one the
    // user has just seen fail.
    static constexpr RetryJob kJobs[] = {RetryJob::kKdtAll, RetryJob::kProfiles};
    RetryPlan plan = PlanRetry(kJobs);
    if (plan.last.found == LastRun::Found::kNone) {
        m_pFrame->ShowNote(
            QStringLiteral("この作業フォルダには全銘柄の株価履歴取得・基本情報取得の記録がないため"
                           "、再取得するものがありません"));
        return;
    }
    if (plan.last.found == LastRun::Found::kUnreadable) {
        // Never "nothing failed": what the last run left to do cannot be told.
        m_pFrame->ShowNote(
            QStringLiteral("実行記録 %1 の最新の記録が読めないため、前回失敗した銘柄がわからず、"
                           "再取得しませんでした。通常どおり実行し直してください")
                .arg(FromUtf8(AbsolutePath(kRunHistoryName))));
        return;
    }
    if (plan.codes.empty()) {
        m_pFrame->ShowNote(NothingToRetryJa(plan));
        return;
    }
    // Said before anything is asked; only what the run did not keep is asked.
    CRetryDlg dlg(plan, m_pFrame.get());
    if (dlg.exec() != QDialog::Accepted) {
        m_pFrame->ShowNote(QStringLiteral("再取得しませんでした"));
        return;
    }
    plan = dlg.Plan();
    const bool kdt = plan.last.job == RetryJob::kKdtAll;
    // The dialog has asked what the run did not keep: the run again, with nothing left to ask.
    JobRequest request = plan.Request(FrontEnd::kDesktop);
    request.options = plan.options;
    request.options->allStocks = kdt;
    if (!StartJobCommand(kdt ? kIdMakeKdt : kIdGetProfiles, std::move(request))) {
        return;
    }
    m_pFrame->ShowNote(RetrySentenceJa(plan, true));
}

}  // namespace tickora::gui
