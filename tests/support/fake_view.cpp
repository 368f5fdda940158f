// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_view.h"

#include <utility>

namespace tickora::test {

void FakeView::ShowRunning() {
    Record("running");
}

void FakeView::ShowIdle() {
    Record("idle");
}

void FakeView::ShowCounts(int first, int second) {
    Record("counts " + std::to_string(first) + " " + std::to_string(second));
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

bool FakeView::Answer(const char* call, bool answer) {
    if (answer) {
        Record(call);
    }
    return answer;
}

bool FakeView::AskListOptions(ListOptions& options) {
    if (!Answer("ask list", answersDialogs)) {
        return false;
    }
    options = listOptions;
    return true;
}

bool FakeView::AskCodeOptions(CodeOptions& options, bool /*showAllStocks*/) {
    if (!Answer("ask code", answersDialogs)) {
        return false;
    }
    options = codeOptions;
    return true;
}

bool FakeView::AskProfileOptions(ProfileOptions& options) {
    if (!Answer("ask profile", answersDialogs)) {
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

bool FakeView::Contains(const std::string& prefix) const {
    std::lock_guard lock(m_mutex);
    for (const std::string& call : m_calls) {
        if (call.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

void FakeView::Clear() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
    m_steps = 0;
}

void FakeView::Record(std::string call) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
}

}  // namespace tickora::test
