#include "cli/terminal_view.h"

#include <algorithm>

#include "web/sjis.h"

namespace tickora::cli {
namespace {

constexpr int kBarWidth = 30;

// The daily fetch and the performance job count stocks; the others count finished items.
bool CountsStocks(const std::string& job) {
    return job == "fetch" || job == "performance";
}

}  // namespace

TerminalView::TerminalView(std::FILE* out, bool interactive, std::string job, DialogAnswers answers)
    : m_out(out), m_interactive(interactive), m_job(std::move(job)), m_answers(answers) {}

void TerminalView::ShowRunning() {}

void TerminalView::ShowIdle() {
    std::lock_guard lock(m_mutex);
    ClearBar();
}

void TerminalView::ShowCounts(int first, int second) {
    std::lock_guard lock(m_mutex);
    m_first = first;
    m_second = second;
    if (m_interactive) {
        DrawBar();
    }
}

void TerminalView::SetProgressRange(int n) {
    std::lock_guard lock(m_mutex);
    // The bar's range is 16 bits wide, as it always was.
    m_range = n & 0xFFFF;
    m_pos = 0;
    m_lastLinePos = 0;
}

void TerminalView::SetProgressStep(int step) {
    std::lock_guard lock(m_mutex);
    m_step = step;
}

void TerminalView::StepProgress() {
    std::lock_guard lock(m_mutex);
    // The step comes at the start of an item, so it also says the item before it has finished:
    // that item's line carries the counters it left behind.
    if (!m_interactive && m_pos > m_lastLinePos) {
        PrintItemLine();
    }
    m_pos += m_step;
    if (m_interactive) {
        DrawBar();
    }
}

void TerminalView::SetProgressPos(int pos) {
    std::lock_guard lock(m_mutex);
    if (pos == 0) {  // the end of a job
        if (!m_interactive && m_pos > m_lastLinePos) {
            PrintItemLine();
        }
        ClearBar();
    }
    m_pos = pos;
    m_lastLinePos = std::min(m_lastLinePos, pos);
}

bool TerminalView::AskListOptions(ListOptions& options) {
    options = m_answers.list;
    // As in the dialog: using kept pages implies keeping them.
    if (options.useKeptHtml) {
        options.keepHtml = true;
    }
    return true;
}

bool TerminalView::AskCodeOptions(CodeOptions& options, bool showAllStocks) {
    if (m_answers.code.allStocks && !showAllStocks) {
        Note("kdt: all stocks cannot be chosen for this job");
        return false;
    }
    options = m_answers.code;
    return true;
}

bool TerminalView::AskProfileOptions(ProfileOptions& options) {
    options = m_answers.profile;
    if (options.useKeptHtml) {
        options.keepHtml = true;
    }
    return true;
}

void TerminalView::ShowMessage(const std::string& sjisText) {
    Note(SjisToUtf8(sjisText));
}

void TerminalView::SetTitle(const std::string& title) {
    std::lock_guard lock(m_mutex);
    m_title = SjisToUtf8(title);
}

void TerminalView::PostQuit() {
    // The command line always ends when its job does; this only records that the job asked.
    std::lock_guard lock(m_mutex);
    m_quitPosted = true;
}

void TerminalView::Note(const std::string& utf8) {
    std::lock_guard lock(m_mutex);
    const bool redraw = m_barShown;
    ClearBar();
    std::fprintf(m_out, "%s\n", utf8.c_str());
    if (redraw) {
        DrawBar();
    }
    std::fflush(m_out);
}

bool TerminalView::QuitPosted() const {
    std::lock_guard lock(m_mutex);
    return m_quitPosted;
}

std::string TerminalView::Title() const {
    std::lock_guard lock(m_mutex);
    return m_title;
}

void TerminalView::DrawBar() {
    const int shown = std::clamp(m_pos, 0, m_range);
    const int filled = m_range > 0 ? shown * kBarWidth / m_range : 0;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    if (CountsStocks(m_job)) {
        std::fprintf(m_out, "\r%s [%s] %d/%d  extracted %d  not extracted %d\033[K", m_job.c_str(),
                     bar.c_str(), shown, m_range, m_first, m_second);
    } else {
        std::fprintf(m_out, "\r%s [%s] %d/%d  done %d\033[K", m_job.c_str(), bar.c_str(), shown,
                     m_range, m_first);
    }
    std::fflush(m_out);
    m_barShown = true;
}

void TerminalView::ClearBar() {
    if (m_barShown) {
        std::fputs("\r\033[K", m_out);
        std::fflush(m_out);
        m_barShown = false;
    }
}

void TerminalView::PrintItemLine() {
    if (CountsStocks(m_job)) {
        std::fprintf(m_out, "%s %d/%d extracted %d not extracted %d\n", m_job.c_str(), m_pos,
                     m_range, m_first, m_second);
    } else {
        std::fprintf(m_out, "%s %d/%d done %d\n", m_job.c_str(), m_pos, m_range, m_first);
    }
    std::fflush(m_out);
    m_lastLinePos = m_pos;
}

}  // namespace tickora::cli
