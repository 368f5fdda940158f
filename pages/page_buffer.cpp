// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/page_buffer.h"

#include <cstdio>
#include <memory>

#include "files/file_handle.h"
#include "files/local_file.h"

namespace tickora {

char g_PageBuffer[kPageBufferSize];

int ReadPageIntoBuffer(const char* path, int limit) {
    // A kept page may be a link to a file elsewhere; a FIFO or a device there must not hold the
    // job for ever.
    FileHandle file(OpenLinkedFileForReading(path));
    if (!file) {
        return -1;
    }
    if (limit > kPageBufferSize - 1) {
        limit = kPageBufferSize - 1;
    }
    const size_t read = std::fread(g_PageBuffer, 1, static_cast<size_t>(limit), file.get());
    g_PageBuffer[read] = '\0';
    return static_cast<int>(read);
}

}  // namespace tickora
