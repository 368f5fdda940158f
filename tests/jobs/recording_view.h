// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A view for the job tests: answers the options dialogs with preset choices and records what the
// worker showed, so that tests can assert on the progress protocol and the counters.
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "jobs/tickora_view.h"

namespace tickora::test {

class RecordingView final : public ITickoraView {
  public:
    void ShowRunning() override { Log("running"); }
    void ShowIdle() override { Log("idle"); }
    void ShowCounts(int first, int second) override {
        {
            std::lock_guard lock(m_mutex);
            m_counts.emplace_back(first, second);
        }
        if (onCounts) {
            onCounts(first, second);
        }
    }
    void SetProgressRange(int n) override { Log("range " + std::to_string(n)); }
    void SetProgressStep(int step) override { Log("step " + std::to_string(step)); }
    void StepProgress() override {
        int steps = 0;
        {
            std::lock_guard lock(m_mutex);
            steps = ++m_steps;
        }
        if (onStep) {
            onStep(steps);
        }
    }
    void SetProgressPos(int pos) override { Log("pos " + std::to_string(pos)); }
    bool AskListOptions(ListOptions& options) override {
        Log("ask list");
        options = listOptions;
        return answerOk;
    }
    bool AskCodeOptions(CodeOptions&, bool) override { return false; }
    bool AskProfileOptions(ProfileOptions& options) override {
        Log("ask profile");
        options = profileOptions;
        return answerOk;
    }
    void ShowMessage(const std::string& sjisText) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(sjisText);
    }
    void SetTitle(const std::string&) override {}
    void PostQuit() override { Log("quit"); }

    [[nodiscard]] std::vector<std::string> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    [[nodiscard]] std::vector<std::pair<int, int>> Counts() const {
        std::lock_guard lock(m_mutex);
        return m_counts;
    }
    [[nodiscard]] int Steps() const {
        std::lock_guard lock(m_mutex);
        return m_steps;
    }
    [[nodiscard]] std::vector<std::string> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

    // The answers of the dialogs; set before the job starts.
    bool answerOk = true;
    ListOptions listOptions;
    ProfileOptions profileOptions;
    // Runs on the worker after each counter update: lets a test press Cancel at a known point.
    std::function<void(int, int)> onCounts;
    // Runs on the worker at each progress step, with the number of steps so far.
    std::function<void(int)> onStep;

  private:
    void Log(std::string event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    std::vector<std::pair<int, int>> m_counts;
    std::vector<std::string> m_messages;
    int m_steps = 0;
};

}  // namespace tickora::test
