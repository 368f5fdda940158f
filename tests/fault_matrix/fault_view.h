// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A view for the fault tests: answers every options dialog with preset choices and records the
// calls, so a test can tell that the job went back to idle.
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "jobs/tickora_view.h"

namespace tickora::test {

class FaultView final : public ITickoraView {
  public:
    void ShowRunning() override { Record("running"); }
    void ShowIdle() override { Record("idle"); }
    void ShowCounts(int first, int second) override {
        Record("counts " + std::to_string(first) + " " + std::to_string(second));
    }
    void SetProgressRange(int n) override { Record("range " + std::to_string(n)); }
    void SetProgressStep(int step) override { Record("setstep " + std::to_string(step)); }
    void StepProgress() override { Record("step"); }
    void SetProgressPos(int pos) override { Record("pos " + std::to_string(pos)); }
    bool AskListOptions(ListOptions& options) override {
        Record("ask list");
        options = listOptions;
        return true;
    }
    bool AskCodeOptions(CodeOptions& options, bool) override {
        Record("ask code");
        options = codeOptions;
        return true;
    }
    bool AskProfileOptions(ProfileOptions& options) override {
        Record("ask profile");
        options = profileOptions;
        return true;
    }
    void ShowMessage(const std::string& text) override { Record("message " + text); }
    void SetTitle(const std::string& title) override { Record("title " + title); }
    void PostQuit() override { Record("quit"); }
    void ShowItemsDone(int done, int, const std::string&) override {
        if (onItemsDone) {
            onItemsDone(done);
        }
    }

    [[nodiscard]] std::vector<std::string> Calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    [[nodiscard]] bool Contains(const std::string& prefix) const {
        std::lock_guard lock(m_mutex);
        for (const std::string& call : m_calls) {
            if (call.rfind(prefix, 0) == 0) {
                return true;
            }
        }
        return false;
    }

    // The answers of the dialogs; set before the job starts.
    ListOptions listOptions;
    CodeOptions codeOptions;
    ProfileOptions profileOptions;
    // Run on the worker after each item; a test may throw from it as a failing view would.
    std::function<void(int done)> onItemsDone;

  private:
    void Record(std::string call) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

}  // namespace tickora::test
