// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/line_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "files/file_io.h"
#include "text/sjis.h"

namespace tickora {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

bool CLineFile::Open(const char* path) {
    Close();
    if (path == nullptr) {
        return false;
    }
    // A list may be a link to a shared copy, as long as that is a regular file. A read error
    // must not pass for the end of the list: the list would load short.
    if (const int error = ReadWholeFile(path, kMaxListFileBytes, m_text, Links::kFollowed);
        error != 0) {
        m_text.clear();
        if (error == kFileTooLarge) {
            m_notices.push_back(std::string(path) + ": " +
                                LocalFileErrorText(error, kMaxListFileBytes));
        }
        return false;
    }
    m_path = path;
    m_bOpen = true;
    m_bUtf8 = IsMultiByteUtf8(m_text);
    // An editor may put a byte-order mark in front of Shift-JIS text too; kept, it would become
    // part of the first stock's symbol, and that stock would be asked for under a name the site
    // does not know.
    m_start = m_text.starts_with(kByteOrderMark) ? std::strlen(kByteOrderMark) : 0;
    if (m_bUtf8) {
        m_notices.push_back(m_path + ": UTF-8 text, read as Shift-JIS");
    }
    m_nLineEnd = DetectLineEnd();
    SeekToStart();
    return true;
}

void CLineFile::Close() {
    m_bOpen = false;
    m_text.clear();
    m_path.clear();
    m_start = 0;
    m_pos = 0;
    m_bUtf8 = false;
    m_bUnreadable = false;
    m_nLine = 0;
    m_nNoticedUpTo = 0;
    m_notices.clear();
}

int CLineFile::DetectLineEnd() {
    const std::size_t end = m_text.find_first_of("\r\n", m_start);
    if (end == std::string::npos || m_text[end] == '\n') {
        return end == std::string::npos ? kCrLf : kLf;
    }
    return end + 1 < m_text.size() && m_text[end + 1] == '\n' ? kCrLf : kCr;
}

void CLineFile::SeekToStart() {
    m_pos = m_start;
    m_nLine = 0;
    m_bUnreadable = false;
}

bool CLineFile::ReadLine(std::string& line) {
    line.clear();
    m_bUnreadable = false;
    if (!m_bOpen || m_pos >= m_text.size()) {
        return false;
    }
    const std::size_t end = m_text.find_first_of("\r\n", m_pos);
    if (end == std::string::npos) {
        // An unterminated last line: kept only where the file's first line ends in a CR alone.
        if (m_nLineEnd != kCr) {
            m_pos = m_text.size();
            return false;
        }
        line.assign(m_text, m_pos, std::string::npos);
        m_pos = m_text.size();
    } else {
        line.assign(m_text, m_pos, end - m_pos);
        const bool crLf = m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n';
        m_pos = end + (crLf ? 2 : 1);
    }
    ++m_nLine;
    if (m_bUtf8) {
        if (std::optional<std::string> sjis = Utf8ToSjisExact(line)) {
            line = std::move(*sjis);
        } else {
            line.clear();
            m_bUnreadable = true;
            if (m_nLine > m_nNoticedUpTo) {
                m_notices.push_back(m_path + " line " + std::to_string(m_nLine) +
                                    ": a character has no Shift-JIS form; the line is not read");
            }
        }
    }
    if (m_nLine > m_nNoticedUpTo) {
        m_nNoticedUpTo = m_nLine;
    }
    return true;
}

char* CLineFile::ReadLine(char* buffer, unsigned size) {
    if (buffer == nullptr || size < 2) {
        return nullptr;
    }
    std::string line;
    if (!ReadLine(line)) {
        return nullptr;
    }
    const std::size_t kept = std::min<std::size_t>(line.size(), size - 2);
    std::memcpy(buffer, line.data(), kept);
    buffer[kept] = '\r';
    buffer[kept + 1] = '\0';
    return buffer;
}

}  // namespace tickora
