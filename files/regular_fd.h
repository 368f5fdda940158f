// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The descriptor-level open that every call of files/ goes through; not for use outside files/.
namespace tickora::files_detail {

// open(2) of path with flags (O_RDONLY, O_WRONLY | O_APPEND | O_CREAT, ...), but only of a regular
// file: the open never waits (O_NONBLOCK until the file is known to be regular), never follows a
// link unless followLinks, and a FIFO, device or folder is refused. The descriptor (close-on-exec,
// blocking) or -1 with errno: ELOOP for a link, EISDIR, kNotRegularFile for the rest.
[[nodiscard]] int OpenRegularFd(const char* path, int flags, bool followLinks);

// Closes fd and leaves errno as it was: the error that made a caller give up is the one it tells.
void CloseKeepingErrno(int fd);

}  // namespace tickora::files_detail
