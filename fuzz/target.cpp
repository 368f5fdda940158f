// SPDX-License-Identifier: GPL-3.0-or-later
// One libFuzzer target; the build names the entry it drives with TICKORA_FUZZ_ENTRY.
#include <cstddef>
#include <cstdint>

#include "fuzz/entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tickora::fuzz::TICKORA_FUZZ_ENTRY(data, size);
    return 0;
}
