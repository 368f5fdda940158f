// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A view that answers the code dialog as told and records what the job shows, in order.
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "jobs/tickora_view.h"

namespace tickora::test {

class KdtView final : public ITickoraView {
  public:
    // The dialog's answer: the options it returns and whether OK was pressed.
    CodeOptions answer;
    bool pressOk = true;
    // Run on the worker thread after each step of the bar or change of the counters, outside the
    // lock, so that a test can press Cancel at a chosen moment.
    std::function<void(int steps)> onStep;
    std::function<void(int first)> onCounts;

    void ShowRunning() override { Record("running"); }
    void ShowIdle() override { Record("idle"); }
    void ShowCounts(int first, int second) override {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back("counts " + std::to_string(first) + " " + std::to_string(second));
        }
        if (onCounts) {
            onCounts(first);
        }
    }
    void SetProgressRange(int n) override { Record("range " + std::to_string(n)); }
    void SetProgressStep(int step) override { Record("setstep " + std::to_string(step)); }
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
    void SetProgressPos(int pos) override { Record("pos " + std::to_string(pos)); }
    bool AskListOptions(ListOptions&) override { return false; }
    bool AskCodeOptions(CodeOptions& options, bool showAllStocks) override {
        std::lock_guard lock(m_mutex);
        m_asked.push_back({options.code, options.days, options.allStocks, showAllStocks});
        m_askThread = std::this_thread::get_id();
        m_events.push_back("ask code");
        if (pressOk) {
            options = answer;
        }
        return pressOk;
    }
    bool AskProfileOptions(ProfileOptions&) override { return false; }
    void ShowMessage(const std::string& text) override { Record("message " + text); }
    void SetTitle(const std::string&) override {}
    void PostQuit() override { Record("quit"); }

    struct Asked {
        unsigned code;
        unsigned days;
        bool allStocks;
        bool showAllStocks;
    };

    std::vector<std::string> Calls() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<std::string> Calls(const std::string& prefix) const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> calls;
        for (const std::string& e : m_events) {
            if (e.starts_with(prefix)) {
                calls.push_back(e);
            }
        }
        return calls;
    }
    std::vector<Asked> AskedWith() const {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }
    std::thread::id AskThread() const {
        std::lock_guard lock(m_mutex);
        return m_askThread;
    }
    int Count(const std::string& event) const {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const std::string& e : m_events) {
            n += e == event ? 1 : 0;
        }
        return n;
    }

  private:
    void Record(std::string event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    std::vector<Asked> m_asked;
    std::thread::id m_askThread;
    int m_steps = 0;
};

}  // namespace tickora::test
