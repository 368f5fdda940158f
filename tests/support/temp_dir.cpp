// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/temp_dir.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace tickora::test {

ScopedWorkDir::ScopedWorkDir() {
    m_previous = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "tickora-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
    std::filesystem::current_path(m_path);
    if (const char* home = std::getenv("TICKORA_HOME")) {
        m_hadHome = true;
        m_previousHome = home;
    }
    setenv("TICKORA_HOME", m_path.c_str(), 1);
}

ScopedWorkDir::~ScopedWorkDir() {
    if (m_hadHome) {
        setenv("TICKORA_HOME", m_previousHome.c_str(), 1);
    } else {
        unsetenv("TICKORA_HOME");
    }
    std::error_code ec;
    std::filesystem::current_path(m_previous, ec);
    // Tests may leave read-only folders behind; make them removable first.
    for (auto& entry : std::filesystem::recursive_directory_iterator(m_path, ec)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    // In blocks: a stream iterator goes a byte at a time through the unoptimised test build, which
    // made reading a dictionary of megabytes take a second, and several under the sanitizers.
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    std::vector<char> block(1 << 16);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        bytes.append(block.data(), static_cast<std::size_t>(in.gcount()));
    }
    return bytes;
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

long DeadProcessId() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

FileSizeLimit::FileSizeLimit(unsigned long limit) {
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit current{};
    getrlimit(RLIMIT_FSIZE, &current);
    m_oldCurrent = current.rlim_cur;
    current.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &current);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit current{};
    getrlimit(RLIMIT_FSIZE, &current);
    current.rlim_cur = m_oldCurrent;
    setrlimit(RLIMIT_FSIZE, &current);
    std::signal(SIGXFSZ, m_oldHandler);
}

std::filesystem::path SourcePath(const std::string& relative) {
    return std::filesystem::path(TICKORA_SOURCE_DIR) / relative;
}

void CopyShippedMarketTable(const std::filesystem::path& folder) {
    std::filesystem::copy_file(SourcePath("data/market.csv"), folder / "market.csv",
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace tickora::test
