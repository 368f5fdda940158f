// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/daily_job.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <thread>

#include "files/local_file.h"
#include "formats/kdt_file.h"
#include "jobs/check_outcome.h"
#include "jobs/run_history.h"
#include "pages/history_page.h"
#include "text/named_values.h"

namespace tickora {
namespace {

constexpr NamedValue<DailyStage> kStageWords[] = {{DailyStage::kFetch, "fetch"},
                                                  {DailyStage::kPerformance, "performance"},
                                                  {DailyStage::kKdt, "kdt"},
                                                  {DailyStage::kRetry, "retry"},
                                                  {DailyStage::kCheck, "check"}};

constexpr NamedValue<DailyJob> kJobNames[] = {{DailyJob::kFetch, "fetch"},
                                              {DailyJob::kPerformance, "performance"},
                                              {DailyJob::kKdt, "kdt"},
                                              {DailyJob::kCheck, "check"}};

// 1 is worse than 4, which is worse than 0.
int Rank(int status) {
    return status == kExitDone ? 0 : status == kExitItemsFailed ? 1 : 2;
}

int Worse(int a, int b) {
    return Rank(b) > Rank(a) ? b : a;
}

// The outcome of a step that ran no job: its job named, as a summary and the JSON name it.
JobOutcome NoJob(const char* job) {
    JobOutcome outcome;
    outcome.job = job;
    outcome.end = JobEnd::kNotRun;
    return outcome;
}

// The jobs the retry round runs again, in the routine's order.
struct RetryPlanned {
    DailyStep step;
    int firstStatus = kExitDone;
    std::vector<int> codes;
};

class Routine {
  public:
    Routine(const DailyRequest& request, const DailyStepRunner& runStep, const DailyHooks& hooks)
        : m_request(request), m_runStep(runStep), m_hooks(hooks) {}

    DailyOutcome Run() {
        const std::pair<DailyStage, DailyJob> first[] = {
            {DailyStage::kFetch, DailyJob::kFetch},
            {DailyStage::kPerformance, DailyJob::kPerformance},
            {DailyStage::kKdt, DailyJob::kKdt}};
        for (const auto& [stage, job] : first) {
            if (Runs(stage)) {
                DailyStep step;
                step.stage = stage;
                step.job = job;
                step.code = m_request.kdt;
                RunStep(step);
            }
        }
        if (Runs(DailyStage::kRetry)) {
            RetryRound();
        }
        if (Runs(DailyStage::kCheck)) {
            Check();
        }
        m_daily.exitStatus = ExitStatusOf(m_daily);
        return std::move(m_daily);
    }

  private:
    bool Cancelled() {
        if (!m_daily.cancelled && m_hooks.cancelled && m_hooks.cancelled()) {
            m_daily.cancelled = true;
        }
        return m_daily.cancelled;
    }

    void Note(const std::string& line) const {
        if (m_hooks.note) {
            m_hooks.note(line);
        }
    }

    // Whether the stage is to run now; a section says why when it is not.
    bool Runs(DailyStage stage) {
        SectionState state = SectionState::kRan;
        if (m_request.skip.contains(stage)) {
            state = SectionState::kLeftOut;
        } else if (Cancelled()) {
            state = SectionState::kNotReached;
        } else {
            return true;
        }
        DailySection section;
        section.stage = stage;
        section.state = state;
        section.outcome = NoJob(DailyStageWord(stage));
        m_daily.sections.push_back(std::move(section));
        return false;
    }

    DailySection& RunStep(const DailyStep& step) {
        Note(std::string("daily: ") + (step.stage == DailyStage::kRetry ? "retry of " : "") +
             DailyJobName(step.job));
        DailySection section;
        section.stage = step.stage;
        try {
            section.outcome = m_runStep(step);
        } catch (const std::exception& e) {
            // A step that raised is that step's end, not the routine's.
            section.outcome = NoJob(DailyJobName(step.job));
            section.outcome.end = JobEnd::kException;
            section.outcome.endCause = e.what();
        }
        if (section.outcome.Cancelled()) {
            m_daily.cancelled = true;
        }
        m_daily.sections.push_back(std::move(section));
        return m_daily.sections.back();
    }

    // The first run of a job in the routine, when it ran.
    const JobOutcome* FirstRun(DailyStage stage) const {
        for (const DailySection& section : m_daily.sections) {
            if (section.stage == stage && section.state == SectionState::kRan) {
                return &section.outcome;
            }
        }
        return nullptr;
    }

    std::vector<RetryPlanned> PlanRound() const {
        std::vector<RetryPlanned> planned;
        const std::pair<DailyStage, DailyJob> retried[] = {
            {DailyStage::kFetch, DailyJob::kFetch},
            {DailyStage::kPerformance, DailyJob::kPerformance},
            {DailyStage::kKdt, DailyJob::kKdt}};
        for (const auto& [stage, job] : retried) {
            const JobOutcome* first = FirstRun(stage);
            if (first == nullptr) {
                continue;
            }
            RetryPlanned retry;
            retry.step.stage = DailyStage::kRetry;
            retry.step.job = job;
            retry.step.code = m_request.kdt;
            retry.firstStatus = ExitStatusOf(*first);
            if (job == DailyJob::kKdt) {
                // As --retry-failed plans it: the stocks it failed and those it never reached.
                retry.codes = StocksToRetry(*first);
                if (!retry.codes.empty()) {
                    retry.step.onlyStocks = retry.codes;
                }
            }
            if (retry.firstStatus != kExitDone || !retry.codes.empty()) {
                planned.push_back(std::move(retry));
            }
        }
        return planned;
    }

    void RetryRound() {
        std::vector<RetryPlanned> planned = PlanRound();
        if (planned.empty()) {
            DailySection section;
            section.stage = DailyStage::kRetry;
            section.state = SectionState::kNothingToRetry;
            section.outcome = NoJob("retry");
            m_daily.sections.push_back(std::move(section));
            return;
        }
        std::string what;
        for (const RetryPlanned& retry : planned) {
            what += (what.empty() ? "" : ", ") + std::string(DailyJobName(retry.step.job));
            if (!retry.codes.empty()) {
                what += " (" + std::to_string(retry.codes.size()) +
                        (retry.codes.size() == 1 ? " stock)" : " stocks)");
            }
        }
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(m_request.retryPause).count();
        Note("daily: retry round in " + std::to_string(seconds) + " s: " + what);
        const bool waited = !m_hooks.pause || m_hooks.pause(m_request.retryPause);
        if (!waited) {
            m_daily.cancelled = true;
        }
        for (RetryPlanned& retry : planned) {
            if (Cancelled()) {
                DailySection section;
                section.stage = DailyStage::kRetry;
                section.state = SectionState::kNotReached;
                section.outcome = NoJob(DailyJobName(retry.step.job));
                section.firstStatus = retry.firstStatus;
                section.retriedCodes = retry.codes;
                m_daily.sections.push_back(std::move(section));
                continue;
            }
            DailySection& section = RunStep(retry.step);
            section.firstStatus = retry.firstStatus;
            section.retriedCodes = std::move(retry.codes);
        }
    }

    // The newest run of a job in the routine: its retry when it had one.
    const JobOutcome* LastRun(DailyJob job) const {
        const JobOutcome* last = nullptr;
        for (const DailySection& section : m_daily.sections) {
            if (section.state == SectionState::kRan && section.outcome.job == DailyJobName(job)) {
                last = &section.outcome;
            }
        }
        return last;
    }

    void Check() {
        DailyStep step;
        step.stage = DailyStage::kCheck;
        step.job = DailyJob::kCheck;
        // The day of the file the fetch wrote; without one, the check's own default.
        if (const JobOutcome* fetch = LastRun(DailyJob::kFetch)) {
            step.check.date = DateOfQuoteDate(fetch->quoteDate);
        }
        // A history the update wrote or brought up to date was reported current: found stale,
        // it is a warning.
        if (!m_request.skip.contains(DailyStage::kKdt)) {
            std::set<int> current;
            for (const DailySection& section : m_daily.sections) {
                if (section.state == SectionState::kRan && section.outcome.job == "kdt") {
                    current.merge(HistoriesReportedCurrent(section.outcome));
                }
            }
            step.check.reportedCurrent = std::move(current);
        }
        RunStep(step);
    }

    const DailyRequest& m_request;
    const DailyStepRunner& m_runStep;
    const DailyHooks& m_hooks;
    DailyOutcome m_daily;
};

// Whether a section that ran was run again by the retry round.
bool RetriedLater(const DailyOutcome& daily, const DailySection& first) {
    if (first.stage == DailyStage::kRetry) {
        return false;
    }
    return std::any_of(daily.sections.begin(), daily.sections.end(), [&](const DailySection& s) {
        return s.stage == DailyStage::kRetry && s.state == SectionState::kRan &&
               s.outcome.job == first.outcome.job;
    });
}

}  // namespace

const char* DailyStageWord(DailyStage stage) {
    return NameIn(kStageWords, stage, "");
}

std::optional<DailyStage> DailyStageNamed(std::string_view word) {
    for (const auto& entry : kStageWords) {
        if (word == entry.name) {
            return entry.value;
        }
    }
    return std::nullopt;
}

const char* DailyJobName(DailyJob job) {
    return NameIn(kJobNames, job, "");
}

DailyOutcome RunDailyRoutine(const DailyRequest& request, const DailyStepRunner& runStep,
                             const DailyHooks& hooks) {
    return Routine(request, runStep, hooks).Run();
}

int SectionStatus(const DailySection& section) {
    switch (section.state) {
        case SectionState::kRan:
            break;
        case SectionState::kNotReached:
            return kExitEndedEarly;
        case SectionState::kLeftOut:
        case SectionState::kNothingToRetry:
            return kExitDone;
    }
    const int status = ExitStatusOf(section.outcome);
    // A retry of the histories asks only the stocks that failed: when it ran to its end, what
    // failed again are items of a whole that the first run wrote, even where it wrote nothing.
    if (section.stage == DailyStage::kRetry && !section.retriedCodes.empty() &&
        section.outcome.end == JobEnd::kCompleted && status != kExitDone) {
        return kExitItemsFailed;
    }
    return status;
}

int ExitStatusOf(const DailyOutcome& daily) {
    if (daily.cancelled) {
        return kExitEndedEarly;
    }
    int worst = kExitDone;
    for (const DailySection& section : daily.sections) {
        if (section.state == SectionState::kRan && !RetriedLater(daily, section)) {
            worst = Worse(worst, SectionStatus(section));
        }
    }
    return worst;
}

unsigned DaysOfStoredHistories(const CStockList& stocks) {
    std::uintmax_t longest = 0;
    for (int b = 0; b < stocks.m_nBlocks; ++b) {
        const CQuoteBlock& block = *stocks.GetBlock(b);
        for (int i = 0; i < block.m_nStocks; ++i) {
            // Only the size is asked, of a regular file that is no link: nothing is opened.
            std::error_code error;
            const std::filesystem::path path = KdtFileName(block.m_aStocks[i].m_nCode, true);
            if (std::filesystem::symlink_status(path, error).type() !=
                std::filesystem::file_type::regular) {
                continue;
            }
            const std::uintmax_t size = std::filesystem::file_size(path, error);
            if (!error) {
                longest = std::max(longest, size / kKdtRecordSize);
            }
        }
    }
    constexpr unsigned kDefaultDays = JobOptions{}.days;
    if (longest == 0) {
        return kDefaultDays;
    }
    const std::uintmax_t pages = (longest + kKdtDaysPerPage - 1) / kKdtDaysPerPage;
    return static_cast<unsigned>(std::clamp<std::uintmax_t>(
        pages * kKdtDaysPerPage, static_cast<std::uintmax_t>(kHistoryMinDays),
        static_cast<std::uintmax_t>(kHistoryMaxDays)));
}

JobOutcome RunCheckJob(const CheckInputs& inputs, bool keepInHistory) {
    JobOutcome outcome = CheckOutcome(CheckDay(inputs));
    if (!keepInHistory) {
        return outcome;
    }
    int error = 0;
    try {
        error = AppendRunHistory(outcome, false);
    } catch (const std::exception&) {
        error = ENOMEM;
    }
    if (error != 0) {
        outcome.warnings.push_back(AbsolutePath(kRunHistoryName) + ": " +
                                   LocalFileErrorText(error) + " (this run is not in the history)");
    }
    return outcome;
}

bool PauseUnlessCancelled(std::chrono::milliseconds pause, const std::function<bool()>& cancelled) {
    constexpr std::chrono::milliseconds kPoll{20};
    const auto end = std::chrono::steady_clock::now() + pause;
    while (!(cancelled && cancelled())) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kPoll));
    }
    return false;
}

std::optional<CalendarDate> DateOfQuoteDate(const std::string& quoteDate) {
    CalendarDate date;
    char tail = 0;
    if (std::sscanf(quoteDate.c_str(), "%d/%d/%d%c", &date.year, &date.month, &date.day, &tail) !=
            3 ||
        !IsValidDate(date)) {
        return std::nullopt;
    }
    return date;
}

}  // namespace tickora
