#include "formats/atomic_file.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace tickora {
namespace {

std::atomic<unsigned> g_tempSerial{0};

}  // namespace

AtomicFile::~AtomicFile() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
        std::remove(m_tempPath.c_str());
    }
}

bool AtomicFile::Open(const std::string& path) {
    if (m_file != nullptr) {
        return false;
    }
    m_path = path;
    // The temporary name sits beside the target so that the rename never crosses a file system.
    // "x" refuses a name that exists, so a stale temporary file of a crashed run is never reused.
    for (int attempt = 0; attempt < 16; ++attempt) {
        m_tempPath = path + ".tmp" + std::to_string(static_cast<long>(getpid())) + "-" +
                     std::to_string(g_tempSerial.fetch_add(1));
        m_file = std::fopen(m_tempPath.c_str(), "wbx");
        if (m_file != nullptr) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    m_error = errno;
    m_tempPath.clear();
    return false;
}

bool AtomicFile::Commit() {
    if (m_file == nullptr) {
        return false;
    }
    // A write that failed earlier (a full disk) left its errno behind; the first failing step
    // names the cause.
    const int writeError = std::ferror(m_file) != 0 ? (errno != 0 ? errno : EIO) : 0;
    bool ok = writeError == 0 && std::fflush(m_file) == 0;
    // The data must be on disk before the name points at it, or a power cut could leave an
    // empty file where the old one was.
    ok = ok && fsync(fileno(m_file)) == 0;
    m_error = ok ? 0 : (writeError != 0 ? writeError : errno);
    if (std::fclose(m_file) != 0 && ok) {
        ok = false;
        m_error = errno;
    }
    m_file = nullptr;
    if (ok && std::rename(m_tempPath.c_str(), m_path.c_str()) == 0) {
        return true;
    }
    if (ok) {
        m_error = errno;
    }
    std::remove(m_tempPath.c_str());
    return false;
}

}  // namespace tickora
