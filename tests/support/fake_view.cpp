// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_view.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace tickora::test {

void FakeView::ShowRunning() {
    Record("running");
    if (onRunning) {
        onRunning();
    }
}

void FakeView::ShowIdle() {
    Record("idle");
}

void FakeView::ShowCounts(int first, int second) {
    Record("counts " + std::to_string(first) + " " + std::to_string(second));
    if (onCounts) {
        onCounts(first, second);
    }
}

void FakeView::SetProgressRange(int n) {
    Record("range " + std::to_string(n));
}

void FakeView::SetProgressStep(int step) {
    Record("setstep " + std::to_string(step));
}

void FakeView::StepProgress() {
    int number = 0;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back("step");
        number = ++m_steps;
    }
    if (onStep) {
        onStep(number);
    }
}

void FakeView::SetProgressPos(int pos) {
    Record("pos " + std::to_string(pos));
}

bool FakeView::Answer(const char* call) {
    Record(call);
    if (onDialog) {
        onDialog(call);
    }
    return answersDialogs;
}

bool FakeView::AskListOptions(JobOptions& options) {
    if (!Answer("ask list")) {
        return false;
    }
    options = listOptions;
    return true;
}

bool FakeView::AskCodeOptions(JobOptions& options, bool showAllStocks) {
    {
        std::lock_guard lock(m_mutex);
        m_codeDialogs.push_back({options, showAllStocks, std::this_thread::get_id()});
    }
    if (!Answer("ask code")) {
        return false;
    }
    options = codeOptions;
    return true;
}

bool FakeView::AskProfileOptions(JobOptions& options) {
    if (!Answer("ask profile")) {
        return false;
    }
    options = profileOptions;
    return true;
}

void FakeView::ShowMessage(const std::string& text) {
    Record("message " + text);
}

void FakeView::SetTitle(const std::string& title) {
    Record("title " + title);
}

void FakeView::PostQuit() {
    Record("quit");
}

void FakeView::ShowItemsDone(int done, int /*total*/, const std::string& /*unit*/) {
    if (onItemsDone) {
        onItemsDone(done);
    }
}

std::vector<std::string> FakeView::Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> FakeView::Calls(std::string_view prefix) const {
    return Select([prefix](const std::string& call) { return call.starts_with(prefix); });
}

std::vector<std::string> FakeView::Protocol() const {
    return Select([](const std::string& call) {
        return !call.starts_with("counts ") && call != "step" && !call.starts_with("message ");
    });
}

int FakeView::Count(std::string_view call) const {
    return static_cast<int>(Select([call](const std::string& c) { return c == call; }).size());
}

std::vector<std::string> FakeView::Select(
    const std::function<bool(const std::string&)>& keep) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> calls;
    std::copy_if(m_calls.begin(), m_calls.end(), std::back_inserter(calls), keep);
    return calls;
}

std::vector<FakeView::CodeDialog> FakeView::CodeDialogs() const {
    std::lock_guard lock(m_mutex);
    return m_codeDialogs;
}

std::string FakeView::Last(std::string_view prefix) const {
    const std::vector<std::string> calls = Calls(prefix);
    return calls.empty() ? std::string() : calls.back();
}

bool FakeView::Contains(const std::string& prefix) const {
    return !Calls(prefix).empty();
}

void FakeView::Clear() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
    m_codeDialogs.clear();
    m_steps = 0;
}

void FakeView::Record(std::string call) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
}

}  // namespace tickora::test
