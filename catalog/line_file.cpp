#include "catalog/line_file.h"

namespace tickora {

bool CLineFile::Open(const char* path) {
    m_file.reset(std::fopen(path, "rb"));
    if (!m_file) {
        return false;
    }
    m_nLineEnd = DetectLineEnd();
    return true;
}

void CLineFile::Close() {
    m_file.reset();
}

int CLineFile::DetectLineEnd() {
    if (!m_file) {
        return kCrLf;
    }
    unsigned char head[250];
    const std::size_t n = std::fread(head, 1, sizeof head, m_file.get());
    SeekToStart();
    for (std::size_t i = 0; i < n; ++i) {
        if (head[i] == '\r') {
            return (i + 1 < n && head[i + 1] == '\n') ? kCrLf : kCr;
        }
        if (head[i] == '\n') {
            return kLf;
        }
    }
    return kCrLf;
}

void CLineFile::SeekToStart() {
    if (m_file) {
        std::rewind(m_file.get());
    }
}

char* CLineFile::ReadLine(char* buffer, unsigned size) {
    if (!m_file || buffer == nullptr || size < 2) {
        return nullptr;
    }
    std::FILE* f = m_file.get();
    // Bytes beyond the room for text, CR and NUL are read and dropped, so an overlong line
    // yields its start and the next call begins at the next line.
    const unsigned room = size - 2;
    unsigned kept = 0;
    bool readAny = false;
    for (;;) {
        const int c = std::getc(f);
        if (c == EOF) {
            if (m_nLineEnd == kCr && readAny) {
                break;
            }
            return nullptr;
        }
        readAny = true;
        if (m_nLineEnd == kCrLf && c == '\r') {
            // The byte after the CR is taken as its LF whatever it is.
            (void)std::getc(f);
            break;
        }
        if (m_nLineEnd == kLf && c == '\n') {
            break;
        }
        if (m_nLineEnd == kCr && c == '\r') {
            break;
        }
        if (kept < room) {
            buffer[kept++] = static_cast<char>(c);
        }
    }
    buffer[kept] = '\r';
    buffer[kept + 1] = '\0';
    return buffer;
}

}  // namespace tickora
