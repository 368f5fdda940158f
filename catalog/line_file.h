#pragma once
// Line reader for the two list files, accepting CR LF, LF or CR line endings.
#include <cstdio>
#include <memory>

namespace tickora {

class CLineFile {
public:
    enum LineEnd { kCrLf = 0, kLf = 1, kCr = 2 };

    // Opens path for reading; on success m_nLineEnd holds the line ending of the file.
    [[nodiscard]] bool Open(const char* path);
    void Close();

    // 0 (CR LF), 1 (LF) or 2 (CR) from the first 250 bytes; leaves the file at its start.
    int DetectLineEnd();

    // Reads the next line into buffer, which then holds the line's bytes, one CR and a NUL, so a
    // line keeps at most size - 2 bytes of text; the rest of a longer line is skipped. Returns
    // buffer, or nullptr at the end of the file (an unterminated last line counts only in CR files).
    char* ReadLine(char* buffer, unsigned size);

    // Back to the first byte, for a second pass.
    void SeekToStart();

    int m_nLineEnd = kCrLf;

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
};

}  // namespace tickora
