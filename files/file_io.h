// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way the program reads, appends to and replaces the files of its working folder and its
// settings. Whatever lies under a name there (a link planted by someone else, a FIFO, a device, a
// file of gigabytes, a line cut by a full disk), four rules hold for every call:
//  - regular files only, and no open that waits: a FIFO, a device or a folder is refused at once;
//    a symbolic link is never followed, except by the reads that say Links::kFollowed (the lists
//    and kept pages a user may keep elsewhere), and even then it must lead to a regular file;
//  - a bound on every read: a file over it is refused (kFileTooLarge) without reading it, and
//    never is memory taken for the size a file claims;
//  - appends of whole records: one write(2) on O_APPEND, after a record cut short by an earlier
//    write has been ended, so that it stays a line of its own and no record is ever glued to it;
//  - replacement by a whole new file: written beside the old one under a fresh name, given its
//    mode (and owner and group as far as allowed), flushed to disk and renamed over it.
// Errors are errno values, 0 for success; LocalFileErrorText says them in words.
#include <cerrno>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "files/local_file.h"

namespace tickora {

// The errno of a read refused because the file is larger than the reader's bound.
inline constexpr int kFileTooLarge = EFBIG;
// The errno of an append refused because the file has a second name (a hard link).
inline constexpr int kSecondName = ENOTUNIQ;

enum class Links {
    kRefused,   // a link at the name is refused (ELOOP): the program's own files
    kFollowed,  // the lists and kept pages, which a user may keep elsewhere and link to
};

// The whole file, at most limit bytes; kFileTooLarge, with bytes empty, for a longer one.
[[nodiscard]] int ReadWholeFile(const std::string& path, std::size_t limit, std::string& bytes,
                                Links links = Links::kRefused);

// The first buffer.size() bytes of the file (fewer when it is shorter) into buffer; read is how
// many. longer, when given, tells whether the file goes on beyond them. Never kFileTooLarge: the
// buffer is the bound, and what lies beyond it is not read.
[[nodiscard]] int ReadFileHead(const std::string& path, std::span<char> buffer, std::size_t& read,
                               bool* longer = nullptr, Links links = Links::kRefused);
[[nodiscard]] int ReadFileHead(const std::string& path, std::size_t limit, std::string& bytes,
                               bool* longer = nullptr, Links links = Links::kRefused);

// The last limit bytes of the file, or all of it when it is shorter; cut says whether bytes begin
// inside the file rather than at its start. For journals, whose newest records are at the end.
[[nodiscard]] int ReadFileTail(const std::string& path, std::size_t limit, std::string& bytes,
                               bool& cut);

// The file in pieces of at most 64 KiB handed to take in order, at most limit bytes in all; for
// readers that need all of a large file but never at once (a hash). kFileTooLarge when the file
// holds more, in which case take may have seen a part of it.
[[nodiscard]] int ReadFileInPieces(const std::string& path, std::size_t limit,
                                   const std::function<void(std::string_view)>& take,
                                   Links links = Links::kRefused);

// Appends record, which ends with separator, as one write(2) to the file at path (created when
// missing, under the usual mode and umask). A file whose last byte is not separator (its last
// record was cut short) first gets one, in the same write, so that the cut record stays alone
// on its line. A file with a second name (a hard link) is refused (kSecondName) as a symbolic
// link is: the record would land in a file the folder does not own. When the disk takes only a
// part of the record, that part stays as a record cut short (and the error is returned): a
// reader skips it, the next append ends it, and it tells that a record was lost there.
[[nodiscard]] int AppendRecord(const std::string& path, std::string_view record,
                               char separator = '\n');

// Replaces the file at path with bytes, atomically: path holds the whole old file or the whole
// new one at every moment. The new file gets the mode, and where allowed the owner and group,
// of the regular file at modeOf (path itself when empty); without one, the usual mode.
[[nodiscard]] int ReplaceFile(const std::string& path, std::string_view bytes,
                              const std::string& modeOf = {});

// LocalFileErrorText, with the bound named for kFileTooLarge: "larger than 4 MiB, ...".
[[nodiscard]] std::string LocalFileErrorText(int error, std::size_t limit);

}  // namespace tickora
