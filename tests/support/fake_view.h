// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The view the job tests give the document: records every call as a short text ("range 2",
// "setstep 1", "step", "counts 3 1", "pos 0", "idle", "ask list", ...), answers the options
// dialogs as a test tells it, and runs a test's hooks on the worker so that a test can press
// Cancel, or throw as a failing view would, at a known point.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/tickora_view.h"

namespace tickora::test {

class FakeView : public ITickoraView {
  public:
    void ShowRunning() override;
    void ShowIdle() override;
    void ShowCounts(int first, int second) override;
    void SetProgressRange(int n) override;
    void SetProgressStep(int step) override;
    // Runs onStep with the 1-based number of the step.
    void StepProgress() override;
    void SetProgressPos(int pos) override;
    // Without answersDialogs each dialog is dismissed and leaves no trace; with it, each is
    // recorded and answered OK with the options below.
    bool AskListOptions(ListOptions& options) override;
    bool AskCodeOptions(CodeOptions& options, bool showAllStocks) override;
    bool AskProfileOptions(ProfileOptions& options) override;
    void ShowMessage(const std::string& text) override;
    void SetTitle(const std::string& title) override;
    void PostQuit() override;
    // Runs onItemsDone.
    void ShowItemsDone(int done, int total, const std::string& unit) override;

    [[nodiscard]] std::vector<std::string> Calls() const;
    // Whether a call starts with prefix.
    [[nodiscard]] bool Contains(const std::string& prefix) const;
    void Clear();

    // The answers of the dialogs; set before the job starts.
    bool answersDialogs = false;
    ListOptions listOptions;
    CodeOptions codeOptions;
    ProfileOptions profileOptions;
    std::function<void(int step)> onStep;
    std::function<void(int done)> onItemsDone;

  private:
    void Record(std::string call);
    bool Answer(const char* call, bool answer);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    int m_steps = 0;
};

}  // namespace tickora::test
