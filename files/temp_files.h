// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Temporary files written beside the file they will replace, named "<target>.tmp<PID>-<N>": the
// process id keeps two processes apart, the serial two writes of one process, and together they
// let a later start tell a dead writer's leftovers from a live writer's work in progress.
#include <cstdio>
#include <string>
#include <string_view>

#include "files/local_file.h"  // TemporaryNameBeside

namespace tickora {

// Creates the file at path for binary writing, only when no file, link or anything else has that
// name (EEXIST otherwise). nullptr with errno set when it cannot be made.
[[nodiscard]] std::FILE* CreateNewFile(const std::string& path);

// Creates a new, empty temporary file beside target for binary writing and stores its name in
// tempPath. Never reuses an existing name. nullptr (and tempPath empty) when it cannot be made.
[[nodiscard]] std::FILE* CreateTemporaryBeside(const std::string& target, std::string& tempPath);

// Gives the open file fd the permission bits of the regular file at target, and its owner and
// group as far as this process may set them (a user may give a file any group of his own, root
// any owner), so that replacing a file of mode 600 never leaves one that others can read. A
// missing target leaves fd as it was. False only when the mode could not be set.
[[nodiscard]] bool KeepOwnerAndMode(const std::string& target, int fd);

// The process id that a temporary name carries, or 0 when name is not of the form
// "<target>.tmp<PID>-<N>" with a non-empty target and decimal PID and N.
[[nodiscard]] long TemporaryNameOwner(std::string_view name);

// Removes the temporary files in folder (not in its subfolders) whose writing process no longer
// exists. Only regular files of exactly that name form are touched; a live process's file, and
// one whose process cannot be told dead, stays. Returns the number of files removed.
int RemoveStaleTemporaries(const std::string& folder);

// Removes the regular files directly in folder whose name matches() accepts; a link or a folder of
// such a name is never touched. Returns the number removed.
int RemoveRegularFilesIn(const std::string& folder, bool (*matches)(std::string_view));

}  // namespace tickora
