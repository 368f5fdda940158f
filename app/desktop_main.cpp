// SPDX-License-Identifier: GPL-3.0-or-later
// The program tickora: its command line before any window, the working folder and the connection
// settings, then the window of jobs or, with --chart, the chart alone; and the pictures of either
// that the tests and the manual's screenshots take.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "app/chart_window.h"
#include "app/command_table.h"
#include "app/desktop_args.h"
#include "app/main_frame.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/tickora_app.h"
#include "app/tool_icons.h"
#include "catalog/market_table.h"
#include "catalog/stock_list.h"
#include "files/file_io.h"
#include "jobs/job_runner.h"
#include "jobs/tickora_doc.h"
#include "jobs/workdir.h"

namespace tickora::gui {

namespace {

// --help, --version and a command line that cannot be taken are answered without a window.
std::optional<int> AnswerWithoutWindow(const DesktopArgs& args) {
    if (!args.ok) {
        std::fprintf(stderr, "tickora: %s\nTry 'tickora --help'.\n", args.error.c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(DesktopUsageText().c_str(), stdout);
        return 0;
    }
    if (args.version) {
        std::printf("Tickora %s\n", std::string(kVersionText).c_str());
        return 0;
    }
    return std::nullopt;
}

bool EnterDesktopWorkdir(const DesktopArgs& args) {
    const EnteredWorkdir workdir = EnterWorkdir(args.workdir);
    if (!workdir.Ok()) {
        std::fprintf(stderr, "tickora: cannot use the working folder %s: %s\n",
                     workdir.choice.folder.c_str(),
                     workdir.choice.ok ? workdir.enterError.message().c_str()
                                       : workdir.choice.error.c_str());
        return false;
    }
    return true;
}

// The site access of the connection settings, with the values that could not be taken, each
// already told on stderr.
SiteSetup LoadDesktopConnection(const DesktopArgs& args) {
    SiteSetup setup = LoadSiteAccess(args.connection);
    // A bad value must not keep the window from opening: the user fixes it in the dialog. The
    // values that could be read are in force meanwhile.
    for (const std::string& message : setup.errors) {
        std::fprintf(stderr, "tickora: %s\n", message.c_str());
    }
    return setup;
}

// A picture of widget written whole to path, in the format its suffix names (PNG without one),
// through the same door as every other file the program writes.
bool SaveScreenshot(QWidget& widget, const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    const QByteArray suffix = QFileInfo(path).suffix().toLatin1();
    if (!buffer.open(QIODevice::WriteOnly) ||
        !widget.grab().save(&buffer, suffix.isEmpty() ? "PNG" : suffix.constData())) {
        return false;
    }
    return ReplaceFile(path.toStdString(), std::string_view(bytes.constData(), bytes.size())) == 0;
}

// Only the chart, for a launcher or a script: the window of jobs is not opened.
int RunChartOnly(QApplication& application, int code, const QString& screenshot) {
    LoadProgramResources();
    QApplication::setWindowIcon(ProgramIcon());
    InstallJapaneseTranslations();
    // The list names the stock in the title; it is only read, never set up.
    CMarketTable markets;
    CStockList stocks;
    if (markets.Load("market.csv") != 0) {
        (void)stocks.Load(markets, "", kFetchListPath);
    }
    CChartWindow chart(nullptr, &stocks);
    (void)chart.OpenCode(code);
    chart.show();
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(1000, &chart, [&chart, screenshot] {
            if (!SaveScreenshot(chart, screenshot)) {
                std::fprintf(stderr, "tickora: cannot write %s\n",
                             screenshot.toLocal8Bit().constData());
            }
            chart.close();
        });
    }
    return application.exec() == 0 ? 0 : 1;
}

// A picture of the window once start-up (and an auto-started fetch) has settled.
void ScreenshotWhenSettled(CTickoraApp& app, const QString& screenshot) {
    CMainFrame* frame = app.Frame();
    CTickoraDoc* doc = app.Document();
    auto* poll = new QTimer(frame);
    auto* shown = new QElapsedTimer;
    shown->start();
    QObject::connect(poll, &QTimer::timeout, frame, [frame, doc, poll, shown, screenshot] {
        if (shown->elapsed() < 1000 || doc->IsJobRunning()) {
            return;
        }
        poll->stop();
        delete shown;
        if (!SaveScreenshot(*frame, screenshot)) {
            std::fprintf(stderr, "tickora: cannot write %s\n",
                         screenshot.toLocal8Bit().constData());
        }
        frame->close();
    });
    poll->start(200);
}

}  // namespace

int RunDesktop(int argc, char** argv) {
    // Everything the command line decides is settled before QApplication, which needs a display.
    const DesktopArgs args = ParseDesktopArgs(std::vector<std::string>(argv, argv + argc));
    if (const std::optional<int> status = AnswerWithoutWindow(args)) {
        return *status;
    }
    if (!EnterDesktopWorkdir(args)) {
        return 2;
    }
    const SiteSetup connection = LoadDesktopConnection(args);

    // Qt's own options (-platform, -style, ...) are handed on; ours are not.
    std::vector<std::string> toolkitArgs = args.toolkitArgs;
    std::vector<char*> toolkitArgv;
    for (std::string& arg : toolkitArgs) {
        toolkitArgv.push_back(arg.data());
    }
    toolkitArgv.push_back(nullptr);
    int toolkitArgc = static_cast<int>(toolkitArgs.size());
    QApplication application(toolkitArgc, toolkitArgv.data());
    const QString screenshot = QString::fromStdString(args.screenshot);
    const bool quitWhenShown = args.quitWhenShown;

    if (args.chartCode >= 0) {
        return RunChartOnly(application, args.chartCode, screenshot);
    }

    CTickoraApp app(connection.access, args.connection);
    if (!app.InitInstance()) {
        (void)app.ExitInstance();
        return 1;
    }
    QObject::connect(&app, &CTickoraApp::finished, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!connection.errors.empty()) {
        app.Frame()->ShowStatusText(QStringLiteral("接続設定に誤りがあります: ") +
                                    FromUtf8(PhraseJa(connection.errors.front())));
    }
    if (!screenshot.isEmpty()) {
        ScreenshotWhenSettled(app, screenshot);
    }
    if (quitWhenShown) {
        // A zero timer runs after the events that show and paint the window are handled.
        QTimer::singleShot(0, app.Frame(), [&app] { app.Frame()->close(); });
    }
    application.exec();
    const int exitStatus = app.ExitStatus();
    (void)app.ExitInstance();
    return exitStatus;
}

}  // namespace tickora::gui
