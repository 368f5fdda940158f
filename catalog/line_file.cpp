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
    // The first line end decides, however far it lies: a first line longer than a fixed window
    // would otherwise make an LF file load nothing and a CR file lose a byte of every line, and a
    // CR as the window's last byte would hide the LF that follows it.
    int result = kCrLf;
    for (int c = std::getc(m_file.get()); c != EOF; c = std::getc(m_file.get())) {
        if (c == '\r') {
            result = std::getc(m_file.get()) == '\n' ? kCrLf : kCr;
            break;
        }
        if (c == '\n') {
            result = kLf;
            break;
        }
    }
    SeekToStart();
    return result;
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
