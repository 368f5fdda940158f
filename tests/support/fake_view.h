// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The view the job tests give the document: records every call as a short text ("range 2",
// "setstep 1", "step", "counts 3 1", "pos 0", "idle", "ask list", ...), answers the options
// dialogs as a test tells it, and runs a test's hooks on the worker so that a test can press
// Cancel, hold the worker in a dialog, or throw as a failing view would, at a known point.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "jobs/tickora_view.h"

namespace tickora::test {

class FakeView : public ITickoraView {
  public:
    // Runs onRunning.
    void ShowRunning() override;
    void ShowIdle() override;
    // Runs onCounts.
    void ShowCounts(int first, int second) override;
    void SetProgressRange(int n) override;
    void SetProgressStep(int step) override;
    // Runs onStep with the 1-based number of the step.
    void StepProgress() override;
    void SetProgressPos(int pos) override;
    // Each dialog is recorded, then runs onDialog; without answersDialogs it is dismissed, with
    // it answered OK with the options below.
    bool AskListOptions(JobOptions& options) override;
    bool AskCodeOptions(JobOptions& options, bool showAllStocks) override;
    bool AskProfileOptions(JobOptions& options) override;
    void ShowMessage(const std::string& text) override;
    void SetTitle(const std::string& title) override;
    void PostQuit() override;
    // Runs onItemsDone.
    void ShowItemsDone(int done, int total, const std::string& unit) override;

    [[nodiscard]] std::vector<std::string> Calls() const;
    // The calls that start with prefix, in order: Calls("counts ") are the counters shown.
    [[nodiscard]] std::vector<std::string> Calls(std::string_view prefix) const;
    // The calls without the counters, the steps and the messages: the states, the bar's setup
    // and the dialogs a job goes through.
    [[nodiscard]] std::vector<std::string> Protocol() const;
    // The last call that starts with prefix ("" for the last call of all), or "" when there was
    // none: what the form shows at the end, such as Last("counts ") or Last() == "idle".
    [[nodiscard]] std::string Last(std::string_view prefix = "") const;
    // Whether a call starts with prefix.
    [[nodiscard]] bool Contains(const std::string& prefix) const;
    // How many calls are exactly call.
    [[nodiscard]] int Count(std::string_view call) const;
    void Clear();

    // What the code dialog was shown each time it was asked, and on which thread.
    struct CodeDialog {
        JobOptions shown;
        bool showAllStocks = false;
        std::thread::id thread;
    };
    [[nodiscard]] std::vector<CodeDialog> CodeDialogs() const;

    // The answers of the dialogs; set before the job starts.
    bool answersDialogs = false;
    JobOptions listOptions;
    JobOptions codeOptions;
    JobOptions profileOptions;
    // Runs on the thread that starts the job, before its worker exists.
    std::function<void()> onRunning;
    std::function<void(int step)> onStep;
    std::function<void(int first, int second)> onCounts;
    // Runs on the asking thread with the dialog's call ("ask code") before it is answered, so
    // that a test can hold the worker in a dialog.
    std::function<void(std::string_view dialog)> onDialog;
    std::function<void(int done)> onItemsDone;

  private:
    void Record(std::string call);
    bool Answer(const char* call);
    [[nodiscard]] std::vector<std::string> Select(
        const std::function<bool(const std::string&)>& keep) const;

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<CodeDialog> m_codeDialogs;
    int m_steps = 0;
};

// The view of the fault tests: answers every options dialog with the preset choices, so a test
// can tell that the job went back to idle.
class FaultView final : public FakeView {
  public:
    FaultView() { answersDialogs = true; }
};

}  // namespace tickora::test
