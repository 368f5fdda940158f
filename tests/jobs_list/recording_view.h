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
        Log("counts " + std::to_string(first) + " " + std::to_string(second));
        if (onCounts) {
            onCounts(first, second);
        }
    }
    void SetProgressRange(int n) override { Log("range " + std::to_string(n)); }
    void SetProgressStep(int step) override { Log("setstep " + std::to_string(step)); }
    void StepProgress() override {
        int steps = 0;
        {
            std::lock_guard lock(m_mutex);
            steps = ++m_steps;
            m_events.push_back("step");
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
    void ShowMessage(const std::string& sjisText) override { Log("message " + sjisText); }
    void SetTitle(const std::string&) override {}
    void PostQuit() override { Log("quit"); }

    // The calls but the counters, the steps and the messages.
    [[nodiscard]] std::vector<std::string> Protocol() const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> calls;
        for (const std::string& e : m_events) {
            if (!e.starts_with("counts ") && e != "step" && !e.starts_with("message ")) {
                calls.push_back(e);
            }
        }
        return calls;
    }
    [[nodiscard]] std::vector<std::string> Calls(const std::string& prefix) const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> calls;
        for (const std::string& e : m_events) {
            if (e.starts_with(prefix)) {
                calls.push_back(e);
            }
        }
        return calls;
    }
    [[nodiscard]] int Count(const std::string& call) const {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const std::string& e : m_events) {
            n += e == call ? 1 : 0;
        }
        return n;
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
    int m_steps = 0;
};

}  // namespace tickora::test
