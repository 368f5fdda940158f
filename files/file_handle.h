// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An open FILE* that is closed when it goes out of scope. Where the close itself can fail and
// matters (a written file), release() the handle and check fclose's result by hand.
#include <cstdio>
#include <memory>

namespace tickora {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace tickora
