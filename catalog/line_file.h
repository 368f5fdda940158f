// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Line reader for the lists the program reads ("fetchlist.csv", "market.csv"). Every line ends
// with CR LF, LF or CR (a CR followed by an LF is one line end), so files whose lines end in
// different ways, as hand edits leave them, read every line. A leading byte-order mark is no part
// of the first line, whatever the encoding. A file that is UTF-8 text is read as the Shift-JIS
// the program works in.
#include <cstddef>
#include <string>
#include <vector>

namespace tickora {

// The most a list file may hold: a list of every stock is a few hundred KiB.
inline constexpr std::size_t kMaxListFileBytes = 16 * 1024 * 1024;

class CLineFile {
  public:
    enum LineEnd { kCrLf = 0, kLf = 1, kCr = 2 };

    // Reads the file at path; on success m_nLineEnd holds the first line end of the file. A file
    // that is well-formed UTF-8 with at least one multi-byte character (a leading byte-order mark
    // counts) is taken for UTF-8 and its lines are converted to Shift-JIS as they are read; a
    // notice says so. False when the file cannot be opened or read, or is larger than
    // kMaxListFileBytes (a notice then says why).
    [[nodiscard]] bool Open(const char* path);
    void Close();

    // 0 (CR LF), 1 (LF) or 2 (CR): the first line end of the file, however far it lies. It only
    // decides whether an unterminated last line counts: it does in a file whose first line ends
    // in a CR alone, and is dropped otherwise.
    int DetectLineEnd();

    // The next line's text without its line end, converted to Shift-JIS in a UTF-8 file. False
    // at the end of the file. A line of a UTF-8 file with a character that Shift-JIS cannot hold
    // comes back empty with LineUnreadable() set, and a notice names it.
    bool ReadLine(std::string& line);

    // The next line in buffer: its bytes, one CR and a NUL, so a line keeps at most size - 2
    // bytes of text; the rest of a longer line is skipped. nullptr at the end of the file.
    char* ReadLine(char* buffer, unsigned size);

    // Back to the first line, for a second pass.
    void SeekToStart();

    // 1-based number of the line last read; 0 before the first.
    [[nodiscard]] int LineNumber() const { return m_nLine; }
    // The line last read could not be converted from UTF-8: it is no line of the list.
    [[nodiscard]] bool LineUnreadable() const { return m_bUnreadable; }
    [[nodiscard]] bool IsUtf8() const { return m_bUtf8; }
    // What the reader had to tell (UTF-8 text, each naming the file): the conversion of a UTF-8
    // file, and every line it could not convert (once, however often it was read).
    [[nodiscard]] const std::vector<std::string>& Notices() const { return m_notices; }

    int m_nLineEnd = kCrLf;

  private:
    std::string m_path;
    std::string m_text;
    std::size_t m_start = 0;  // where the first line begins (after a byte-order mark)
    std::size_t m_pos = 0;
    bool m_bOpen = false;
    bool m_bUtf8 = false;
    bool m_bUnreadable = false;
    int m_nLine = 0;
    int m_nNoticedUpTo = 0;
    std::vector<std::string> m_notices;
};

}  // namespace tickora
