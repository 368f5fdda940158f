// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tickora-cli run in-process with its two streams caught, for the tests of what a run prints and
// returns.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/runner.h"

namespace tickora::test {

class MemoryStream {
  public:
    MemoryStream() : m_file(open_memstream(&m_buffer, &m_size)) {}
    ~MemoryStream() {
        std::fclose(m_file);
        std::free(m_buffer);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
    std::FILE* File() { return m_file; }
    std::string Text() {
        std::fflush(m_file);
        return std::string(m_buffer, m_size);
    }

  private:
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::FILE* m_file;
};

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline CliRun RunCli(const std::vector<std::string>& args) {
    MemoryStream out;
    MemoryStream err;
    std::atomic<int> interrupts{0};
    CliRun run;
    run.status = cli::CliMain(args, {out.File(), err.File(), false}, interrupts);
    run.out = out.Text();
    run.err = err.Text();
    return run;
}

}  // namespace tickora::test
