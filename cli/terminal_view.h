// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The document's view on a terminal: progress on one stream (standard error). A terminal shows no
// dialog: the command line gives each job its options with the command. The core's texts are
// Shift-JIS; they become UTF-8 here.
#include <cstdio>
#include <mutex>
#include <string>

#include "jobs/tickora_view.h"

namespace tickora::cli {

// Below this width a live bar cannot say enough: plain lines are printed instead.
inline constexpr int kMinBarColumns = 40;

class TerminalView : public ITickoraView {
  public:
    // interactive: redraw one live bar line (a terminal); otherwise one plain line per item.
    // The bar fits the terminal's width, read from out at the start and again after each
    // SIGWINCH (see NoteTerminalResized); columns > 0 fixes the width instead.
    TerminalView(std::FILE* out, bool interactive, std::string job, int columns = 0);

    // No dialog is ever shown: each answers as a dismissed one. The bar's own steps count
    // blocks; the terminal counts in the summary's units instead, which ShowItemsDone brings.
    void ShowIdle() override;
    void ShowCounts(int first, int second) override;
    void SetProgressPos(int pos) override;
    void ShowMessage(const std::string& sjisText) override;
    void SetTitle(const std::string& title) override;
    void PostQuit() override;
    void ShowItemsDone(int done, int total, const std::string& unit) override;

    // A line of the front-end's own (UTF-8), kept apart from the live bar.
    void Note(const std::string& utf8);

    [[nodiscard]] bool QuitPosted() const;
    // Async-signal-safe: the next redraw reads the terminal's width again.
    static void NoteTerminalResized();
    [[nodiscard]] std::string Title() const;  // UTF-8

  private:
    // Callers hold m_mutex.
    void DrawBar();
    void ClearBar();
    [[nodiscard]] bool BarFits();
    [[nodiscard]] int Columns();

    std::FILE* m_out;
    const bool m_interactive;
    const int m_fixedColumns;
    int m_columns = 0;
    int m_resizesSeen = -1;
    const std::string m_job;

    mutable std::mutex m_mutex;
    int m_first = 0;
    int m_second = 0;
    int m_done = 0;
    int m_total = 0;
    std::string m_unit;
    bool m_barShown = false;
    bool m_quitPosted = false;
    std::string m_title;
};

}  // namespace tickora::cli
