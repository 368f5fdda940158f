// SPDX-License-Identifier: GPL-3.0-or-later
// The form called from a worker thread: every call runs on the GUI thread while the worker waits,
// and the options dialogs a worker asks for are shown by the GUI thread.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <atomic>
#include <thread>

#include "app/form_view.h"
#include "app/options_dlgs.h"
#include "tests/support/gui_test_util.h"
#include "text/sjis.h"

namespace tickora::gui {
namespace {

using test::Accept;
using test::Reject;
using test::WaitUntil;
using test::WhenModal;

// Runs body on a worker thread and serves the GUI thread's events until it returns.
template <class F>
void OnWorker(F body) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        body();
        done = true;
    });
    const bool finished = WaitUntil([&] { return done.load(); }, 20000);
    worker.join();
    ASSERT_TRUE(finished);
}

TEST(ViewFromWorker, ButtonsCountersAndProgressChangeOnTheGuiThread) {
    CTickoraView view;
    QThread* guiThread = QThread::currentThread();
    std::atomic<int> offThreadChanges{0};
    QObject::connect(view.ProgressBar(), &QProgressBar::valueChanged, [&] {
        if (QThread::currentThread() != guiThread) {
            ++offThreadChanges;
        }
    });

    std::atomic<bool> runningSeen{false};
    std::atomic<int> valueAfterSteps{-1};
    std::atomic<bool> countsSeen{false};
    OnWorker([&] {
        view.ShowRunning();
        // The call has returned: the GUI thread has already done it.
        runningSeen = !view.FetchButton()->isEnabled() && view.CancelButton()->isEnabled();
        view.SetProgressRange(20);
        view.SetProgressStep(1);
        for (int i = 0; i < 20; ++i) {
            view.StepProgress();
        }
        valueAfterSteps = view.ProgressBar()->value();
        view.ShowCounts(1234, 5);
        countsSeen = view.FirstCounter()->text() == QStringLiteral("1234");
        view.SetProgressPos(0);
        view.ShowIdle();
    });
    EXPECT_TRUE(runningSeen);
    EXPECT_EQ(valueAfterSteps, 20);
    EXPECT_TRUE(countsSeen);
    EXPECT_EQ(view.ProgressBar()->maximum(), 20);
    EXPECT_EQ(view.ProgressBar()->value(), 0);
    EXPECT_EQ(view.FirstCounter()->text(), QStringLiteral("1234"));
    EXPECT_EQ(view.SecondCounter()->text(), QStringLiteral("5"));
    EXPECT_TRUE(view.FetchButton()->isEnabled());
    EXPECT_FALSE(view.CancelButton()->isEnabled());
    EXPECT_EQ(offThreadChanges, 0);
}

TEST(ViewFromWorker, RangeKeepsSixteenBits) {
    CTickoraView view;
    view.SetProgressRange(0x10000 + 7);
    EXPECT_EQ(view.ProgressBar()->maximum(), 7);
}

TEST(ViewFromWorker, ListOptionsDialogAnswersTheWorker) {
    CTickoraView view;
    WhenModal(QStringLiteral("listOptionsDlg"), [](QWidget* w) {
        auto* dlg = static_cast<CListOptionsDlg*>(w);
        EXPECT_EQ(dlg->thread(), QThread::currentThread());
        dlg->m_pKeepHtml->click();
        dlg->m_pUseKeptHtml->click();
        Accept(dlg);
    });
    bool accepted = false;
    JobOptions options;
    OnWorker([&] { accepted = view.AskListOptions(options); });
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(options.keepHtml);
    EXPECT_FALSE(options.addedOnly);
    EXPECT_TRUE(options.useKeptHtml);

    WhenModal(QStringLiteral("listOptionsDlg"), Reject);
    OnWorker([&] { accepted = view.AskListOptions(options); });
    EXPECT_FALSE(accepted);
}

TEST(ViewFromWorker, CodeDialogStartsFromTheJobsValues) {
    CTickoraView view;
    WhenModal(QStringLiteral("codeDlg"), [](QWidget* w) {
        auto* dlg = static_cast<CCodeDlg*>(w);
        EXPECT_EQ(dlg->m_pCode->text(), QStringLiteral("1301"));
        EXPECT_EQ(dlg->m_pDays->text(), QStringLiteral("200"));
        EXPECT_TRUE(dlg->m_pAllStocks->isHidden());
        dlg->m_pCode->setText(QStringLiteral("7203"));
        dlg->m_pDays->setText(QStringLiteral("3000"));
        dlg->accept();
    });
    JobOptions options;
    bool accepted = false;
    OnWorker([&] { accepted = view.AskCodeOptions(options, false); });
    EXPECT_TRUE(accepted);
    EXPECT_EQ(options.code, 7203u);
    EXPECT_EQ(options.days, 3000u);
    EXPECT_FALSE(options.allStocks);

    WhenModal(QStringLiteral("codeDlg"), [](QWidget* w) {
        auto* dlg = static_cast<CCodeDlg*>(w);
        EXPECT_FALSE(dlg->m_pAllStocks->isHidden());
        dlg->m_pAllStocks->click();
        dlg->accept();
    });
    JobOptions all;
    OnWorker([&] { accepted = view.AskCodeOptions(all, true); });
    EXPECT_TRUE(accepted);
    EXPECT_TRUE(all.allStocks);
    EXPECT_EQ(all.code, 0u);
}

TEST(ViewFromWorker, ClosingAnswersCancelWithoutShowingADialog) {
    CTickoraView view;
    view.SetClosing(true);
    bool listAccepted = true;
    bool codeAccepted = true;
    OnWorker([&] {
        JobOptions list;
        JobOptions code;
        listAccepted = view.AskListOptions(list);
        codeAccepted = view.AskCodeOptions(code, true);
    });
    EXPECT_FALSE(listAccepted);
    EXPECT_FALSE(codeAccepted);
}

TEST(ViewMessages, ShiftJisMessageIsShownDecoded) {
    CTickoraView view;
    QString text;
    QString caption;
    WhenModal(QStringLiteral("documentMessage"), [&](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        text = box->text();
        caption = box->windowTitle();
        Accept(box);
    });
    view.ShowMessage(Utf8ToSjis("辞書ファイルVorlaneEx.DICがありません。"));
    EXPECT_EQ(text.toStdString(), "辞書ファイルVorlaneEx.DICがありません。");
    EXPECT_EQ(caption.toStdString(), "Tickora");
}

TEST(ViewMessages, QuitRequestFromTheWorkerReachesTheGuiThread) {
    CTickoraView view;
    int quits = 0;
    QObject::connect(&view, &CTickoraView::quitRequested, [&] { ++quits; });
    OnWorker([&] { view.PostQuit(); });
    EXPECT_TRUE(WaitUntil([&] { return quits == 1; }, 2000));
}

}  // namespace
}  // namespace tickora::gui
