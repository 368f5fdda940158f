// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/daily_command.h"

#include <sstream>

#include "cli/cli_steps.h"
#include "cli/workdir_setup.h"
#include "jobs/daily_step.h"
#include "jobs/job_runner.h"
#include "jobs/job_steps.h"
#include "jobs/outcome_json.h"
#include "jobs/outcome_text.h"
#include "web/hosts.h"

namespace tickora::cli {
namespace {

// A check of a whole market with a fault may find thousands; --json carries every one.
constexpr std::size_t kFindingsShown = 100;

// The terminal's step runner: each job on the one document, under the lock the routine holds.
class TerminalSteps {
  public:
    TerminalSteps(const CliStreams& streams, const std::atomic<int>& interrupts, int baseline,
                  StartupObjects& objects, const WorkLock& held)
        : m_streams(streams),
          m_interrupts(interrupts),
          m_baseline(baseline),
          m_held(held),
          m_doc(objects.settings, objects.markets, objects.stocks) {}

    CTickoraDoc& Doc() { return m_doc; }

    JobOutcome operator()(const DailyStep& step) {
        TerminalView view(m_streams.err, m_streams.errIsTerminal, DailyJobName(step.job),
                          m_streams.columns);
        m_doc.SetView(&view);
        JobOutcome outcome = RunDailyStep(m_doc, step, m_held,
                                          WatchOf(view, m_interrupts, m_baseline),
                                          FrontEnd::kTerminal);
        m_doc.SetView(nullptr);
        return outcome;
    }

  private:
    const CliStreams& m_streams;
    const std::atomic<int>& m_interrupts;
    const int m_baseline;
    const WorkLock& m_held;
    CTickoraDoc m_doc;
    // The steps keep one connection to the site from the first to the last.
    SharedConnections m_shared{m_doc};
};

std::string Indented(const std::string& text) {
    std::string indented;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        indented += "  " + line + "\n";
    }
    return indented;
}

// A run of check that never reached the files: the message, and with --json the outcome "not run".
int CheckNotRun(const CliOptions& options, const CliStreams& streams, int status,
                const std::string& message, const std::string& cause) {
    std::fprintf(streams.err, "%s\n", message.c_str());
    if (options.json) {
        JobOutcome outcome;
        outcome.job = "check";
        outcome.end = JobEnd::kNotRun;
        outcome.endCause = cause;
        std::fprintf(streams.out, "%s\n", OutcomeToJson(outcome, status).c_str());
        std::fflush(streams.out);
    }
    return status;
}

}  // namespace

std::string FormatSummaryWithFindings(const JobOutcome& outcome, const PathView& paths) {
    std::string text = FormatSummary(outcome, paths);
    for (const std::string& line : FindingLines(outcome, kFindingsShown)) {
        text += "  " + line + "\n";
    }
    return text;
}

std::string FormatDailySummary(const DailyOutcome& daily, const PathView& paths) {
    std::string text = DailySummaryLine(daily) + "\n";
    for (const DailySection& section : daily.sections) {
        if (const std::string line = DailySectionLine(section); !line.empty()) {
            text += "  " + line + "\n";
        }
        if (section.state == SectionState::kRan) {
            text += Indented(FormatSummaryWithFindings(section.outcome, paths));
        }
    }
    return text;
}

int RunDaily(const CliOptions& options, const CliStreams& streams,
             const std::atomic<int>& interrupts, int baseline, StartupObjects& objects,
             const WorkLock& held, const SiteAccess& access) {
    TerminalSteps steps(streams, interrupts, baseline, objects, held);
    steps.Doc().SetSiteAccess(access);

    DailyRequest request;
    request.skip = options.skip;
    request.kdt.days = DaysOfStoredHistories(objects.stocks);
    if (options.retryPauseSeconds) {
        request.retryPause = std::chrono::seconds(*options.retryPauseSeconds);
    }
    DailyHooks hooks;
    hooks.cancelled = [&interrupts, baseline] { return interrupts.load() != baseline; };
    hooks.pause = [&hooks](std::chrono::milliseconds pause) {
        return PauseUnlessCancelled(pause, hooks.cancelled);
    };
    hooks.note = [&streams](const std::string& line) {
        std::fprintf(streams.err, "tickora-cli: %s\n", line.c_str());
        std::fflush(streams.err);
    };
    const DailyOutcome daily = RunDailyRoutine(
        request, [&steps](const DailyStep& step) { return steps(step); }, hooks);
    const std::string text =
        options.json ? DailyToJson(daily) + "\n" : FormatDailySummary(daily, PathView{});
    std::fputs(text.c_str(), streams.out);
    std::fflush(streams.out);
    return daily.exitStatus;
}

int RunCheck(const CliOptions& options, const CliStreams& streams) {
    if (!PathExists("market.csv")) {
        return CheckNotRun(options, streams, kExitNoMarket,
                           "market.csv not found.\n" + MarketMissingNote(),
                           "market.csv not found.");
    }
    if (const std::string irregular = IrregularStartupFile(); !irregular.empty()) {
        return CheckNotRun(options, streams, kExitUsage, "tickora-cli: " + irregular, irregular);
    }
    CAppSettings settings;
    settings.Load();
    CMarketTable markets;
    std::vector<std::string> notices;
    (void)markets.Load("market.csv", &notices);
    // The list's URLs are never asked: the default hosts only let it load.
    CStockList stocks;
    (void)stocks.Load(markets, SiteHosts{}.quote.c_str(), kFetchListPath, &notices);
    for (const std::string& notice : notices) {
        std::fprintf(streams.err, "tickora-cli: %s\n", notice.c_str());
    }
    if (stocks.m_nBlocks == 0) {
        return CheckNotRun(options, streams, kExitEndedEarly,
                           std::string("tickora-cli: ") + kEmptyListRefusal +
                               " (build it with 'tickora-cli fetchlist')",
                           kEmptyListRefusal);
    }
    CheckInputs inputs;
    inputs.date = options.checkDate;
    inputs.outputFolder = settings.m_szOutputDir;
    inputs.outputFormat = settings.m_nOutputFormat;
    inputs.markets = &markets;
    inputs.stocks = &stocks;
    const JobOutcome outcome = RunCheckJob(inputs, false);
    const std::string text = options.json ? OutcomeToJson(outcome) + "\n"
                                          : FormatSummaryWithFindings(outcome, PathView{});
    std::fputs(text.c_str(), streams.out);
    std::fflush(streams.out);
    return ExitStatusOf(outcome);
}

}  // namespace tickora::cli
