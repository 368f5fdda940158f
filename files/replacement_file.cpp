// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/replacement_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "files/temp_files.h"

namespace tickora {

ReplacementFile::~ReplacementFile() {
    Discard();
}

void ReplacementFile::Discard() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_tempPath.empty()) {
        (void)::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    m_finished = false;
}

bool ReplacementFile::Open(const std::string& path, const std::string& modeOf) {
    if (m_file != nullptr || !m_tempPath.empty()) {
        m_error = EBUSY;
        return false;
    }
    m_path = path;
    m_modeOf = modeOf.empty() ? path : modeOf;
    m_finished = false;
    // Beside the target, so that the rename never crosses a file system.
    errno = 0;
    m_file = CreateTemporaryBeside(path, m_tempPath);
    m_error = m_file != nullptr ? 0 : (errno != 0 ? errno : EIO);
    return m_file != nullptr;
}

bool ReplacementFile::Finish() {
    if (m_file == nullptr) {
        m_error = m_error != 0 ? m_error : EBADF;
        return false;
    }
    // A write that failed earlier (a full disk) left its errno behind; the first failing step
    // names the cause.
    const int writeError = std::ferror(m_file) != 0 ? (errno != 0 ? errno : EIO) : 0;
    bool ok = writeError == 0 && std::fflush(m_file) == 0;
    // A file the user made private stays private, in the group he chose.
    ok = ok && KeepOwnerAndMode(m_modeOf, fileno(m_file));
    // The data must be on disk before the name points at it, or a power cut could leave an
    // empty file where the old one was.
    ok = ok && ::fsync(fileno(m_file)) == 0;
    m_error = ok ? 0 : (writeError != 0 ? writeError : (errno != 0 ? errno : EIO));
    const int closed = std::fclose(m_file);
    m_file = nullptr;
    if (closed != 0 && ok) {
        ok = false;
        m_error = errno != 0 ? errno : EIO;
    }
    if (!ok) {
        Discard();
        return false;
    }
    m_finished = true;
    return true;
}

bool ReplacementFile::Install() {
    if (!m_finished) {
        m_error = m_error != 0 ? m_error : EBADF;
        Discard();
        return false;
    }
    if (std::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        m_error = errno;
        Discard();
        return false;
    }
    m_tempPath.clear();
    m_finished = false;
    return true;
}

std::string ReplacementFile::Release() {
    if (!m_finished) {
        Discard();
        return {};
    }
    std::string released = std::move(m_tempPath);
    m_tempPath.clear();
    m_finished = false;
    return released;
}

}  // namespace tickora
