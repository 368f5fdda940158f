// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one buffer into which the quote, listing and history parsers read a page. Only the running
// job uses it; each parser reads fewer bytes than it holds, so a zero byte always ends the text.
namespace tickora {

inline constexpr int kPageBufferSize = 153600;
// The one process-wide mutable variable the jobs use; everything else a job works with (its
// Cancel, its pacer, its site access) is handed to it. Safe because each program runs one job at
// a time: only that job's worker touches it. Two documents running jobs at once in one process
// would share it.
extern char g_PageBuffer[kPageBufferSize];

// Reads at most limit bytes of path into g_PageBuffer and terminates the text right after them,
// so nothing of an earlier, longer page is ever part of it. Returns the number of bytes read, or
// -1 when the file cannot be opened.
int ReadPageIntoBuffer(const char* path, int limit);

}  // namespace tickora
