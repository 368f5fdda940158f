// SPDX-License-Identifier: GPL-3.0-or-later
// tickora-cli: the jobs of the desktop program from a terminal, for servers and schedulers.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/runner.h"

int main(int argc, char** argv) {
    using namespace tickora::cli;
    const std::vector<std::string> args(argv + 1, argv + argc);
    CliStreams streams;
    // A live bar only where someone watches it; logs and pipes get one line per item.
    const char* term = std::getenv("TERM");
    streams.errIsTerminal =
        isatty(STDERR_FILENO) != 0 && !(term != nullptr && std::string(term) == "dumb");
    InstallSignalHandlers();
    return CliMain(args, streams, ProcessInterrupts());
}
