// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl+C and its kin: the first interrupt is the Cancel button, a second one ends the process.
#include <signal.h>
#include <unistd.h>

#include "cli/runner.h"
#include "cli/terminal_view.h"

namespace tickora::cli {
namespace {

std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler needs a lock-free counter");

extern "C" void OnInterrupt(int) {
    if (g_interrupts.fetch_add(1) + 1 >= 2) {
        static const char kMessage[] = "\ntickora-cli: interrupted again, stopping at once\n";
        (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        _exit(kExitEndedEarly);
    }
}

extern "C" void OnResize(int) {
    TerminalView::NoteTerminalResized();
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

}  // namespace

std::atomic<int>& ProcessInterrupts() {
    return g_interrupts;
}

void InstallSignalHandlers() {
    SetHandler(SIGINT, OnInterrupt);
    SetHandler(SIGTERM, OnInterrupt);
    SetHandler(SIGPIPE, SIG_IGN);
    SetHandler(SIGWINCH, OnResize);
}

void RestoreSignalHandlers() {
    SetHandler(SIGINT, SIG_DFL);
    SetHandler(SIGTERM, SIG_DFL);
    SetHandler(SIGPIPE, SIG_DFL);
    SetHandler(SIGWINCH, SIG_DFL);
}

}  // namespace tickora::cli
