// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "jobs/outcome_text.h"
#include "text/sjis.h"

namespace tickora::cli {
namespace {

constexpr int kMaxBarWidth = 30;
constexpr int kMinBarWidth = 10;

std::atomic<int> g_resizes{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the SIGWINCH handler needs a lock-free counter");

// The daily fetch and the performance job count stocks; the others count finished items.
bool CountsStocks(const std::string& job) {
    return job == "fetch" || job == "performance";
}

}  // namespace

TerminalView::TerminalView(std::FILE* out, bool interactive, std::string job, int columns)
    : m_out(out), m_interactive(interactive), m_fixedColumns(columns), m_job(std::move(job)) {}

void TerminalView::NoteTerminalResized() {
    g_resizes.fetch_add(1);
}

int TerminalView::Columns() {
    if (m_fixedColumns > 0) {
        return m_fixedColumns;
    }
    const int resizes = g_resizes.load();
    if (resizes != m_resizesSeen) {
        m_resizesSeen = resizes;
        winsize size{};
        m_columns = ioctl(fileno(m_out), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
    }
    return m_columns;
}

bool TerminalView::BarFits() {
    return m_interactive && Columns() >= kMinBarColumns;
}

void TerminalView::ShowIdle() {
    std::lock_guard lock(m_mutex);
    ClearBar();
}

void TerminalView::ShowCounts(int first, int second) {
    std::lock_guard lock(m_mutex);
    m_first = first;
    m_second = second;
    if (m_total > 0 && BarFits()) {
        DrawBar();
    }
}

void TerminalView::SetProgressPos(int pos) {
    std::lock_guard lock(m_mutex);
    if (pos == 0) {  // the end of a job
        ClearBar();
    }
}

void TerminalView::ShowItemsDone(int done, int total, const std::string& unit) {
    std::lock_guard lock(m_mutex);
    m_done = done;
    m_total = total;
    m_unit = unit;
    if (BarFits()) {
        DrawBar();
    } else if (done > 0) {
        std::fprintf(m_out, "%s\n",
                     ProgressLine(m_job, done, total, unit, m_first, m_second).c_str());
        std::fflush(m_out);
    }
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
    const int columns = Columns();
    const int shown = std::clamp(m_done, 0, m_total);
    const std::string count = std::to_string(shown) + "/" + std::to_string(m_total) + " " + m_unit;
    std::string counters;
    if (CountsStocks(m_job)) {
        counters = "  extracted " + std::to_string(m_first) + "  not extracted " +
                   std::to_string(m_second);
    }
    // One column is left free: a line that fills the last column wraps on many terminals.
    const int room = columns > 0 ? columns - 1 : 80;
    const int fixed = static_cast<int>(m_job.size() + 4 + count.size());
    if (fixed + kMinBarWidth + static_cast<int>(counters.size()) > room) {
        counters.clear();
    }
    const int width =
        std::clamp(room - fixed - static_cast<int>(counters.size()), kMinBarWidth, kMaxBarWidth);
    const int filled = m_total > 0 ? shown * width / m_total : 0;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width - filled), '.');
    std::fprintf(m_out, "\r%s [%s] %s%s\033[K", m_job.c_str(), bar.c_str(), count.c_str(),
                 counters.c_str());
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

}  // namespace tickora::cli
