// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/page_buffer.h"

#include <cstdio>
#include <memory>

namespace tickora {

char g_PageBuffer[kPageBufferSize];

int ReadPageIntoBuffer(const char* path, int limit) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path, "rb"));
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
