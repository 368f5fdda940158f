// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/page_buffer.h"

#include <algorithm>
#include <span>

#include "files/file_io.h"

namespace tickora {

char g_PageBuffer[kPageBufferSize];

int ReadPageIntoBuffer(const char* path, int limit) {
    if (limit > kPageBufferSize - 1) {
        limit = kPageBufferSize - 1;
    }
    // A kept page may be a link to a file elsewhere; a FIFO or a device there must not hold the
    // job for ever.
    std::size_t read = 0;
    const std::span<char> buffer(g_PageBuffer, static_cast<std::size_t>(std::max(limit, 0)));
    if (ReadFileHead(path, buffer, read, nullptr, Links::kFollowed) != 0) {
        g_PageBuffer[0] = '\0';
        return -1;
    }
    g_PageBuffer[read] = '\0';
    return static_cast<int>(read);
}

}  // namespace tickora
