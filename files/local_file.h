// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening the files of the working folder. A name there may have been taken by a symbolic link, a
// FIFO or a device: the program must never write through such a name to a file elsewhere, nor
// wait for ever on an open or a read that never ends.
#include <cerrno>
#include <cstdio>
#include <string>

namespace tickora {

// A fresh temporary name beside target, "<target>.tmp<PID>-<N>": the process id keeps two
// processes apart, the serial two writes of one process, and a later start removes the names of
// processes that no longer exist. No file is made; callers must create it exclusively (O_EXCL,
// link), since a leftover of an earlier process with the same id may hold it.
[[nodiscard]] std::string TemporaryNameBeside(const std::string& target);

// errno of an open refused because the name is neither a missing file nor a regular one (a FIFO,
// a folder, a device). A link at the name itself is refused with ELOOP.
inline constexpr int kNotRegularFile = EINVAL;

// fopen's "rb", "wb", "ab" or "rb+" (binary) for a file of the program's own: a link at path is
// never followed, and an open that would wait (a FIFO) or reach anything but a regular file
// fails. nullptr with errno set when refused; the file's mode is never changed.
[[nodiscard]] std::FILE* OpenLocalFile(const char* path, const char* mode);

// 0 when path names a regular file or nothing at all; otherwise why it is refused: ELOOP for a
// link (only when links are not followed), EISDIR, or kNotRegularFile. Never opens anything.
[[nodiscard]] int IrregularFileError(const char* path, bool followLinks);

// The system's words for an errno of the calls above, with the two refusals in plain words.
[[nodiscard]] std::string LocalFileErrorText(int error);

}  // namespace tickora
