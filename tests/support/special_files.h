// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names of the working folder taken by what a user, a script or an attacker may leave there: a
// FIFO, a link out of the folder, a link to a device, a folder, a second name of a file elsewhere.
// And a call that may wait on such a FIFO for ever, run with a bound that lets it go.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tickora::test {

enum class Plant { kFifo, kLinkOut, kLinkToDevZero, kFolder, kHardLinkOut };

[[nodiscard]] const char* PlantName(Plant plant);

// Puts plant at path; a link or hard link leads to outside, which must exist for a hard link.
// False when it could not be made.
[[nodiscard]] bool PlantAt(const std::filesystem::path& path, Plant plant,
                           const std::filesystem::path& outside);

// Runs call on a thread of its own and waits for it at most bound. When it is still running then,
// every FIFO of fifos is opened (without waiting), which ends an open or a read that waits on
// one, and the call is waited for. False when the call outlived the bound: it waited on a FIFO.
[[nodiscard]] bool EndsWithin(std::chrono::milliseconds bound, const std::function<void()>& call,
                              const std::vector<std::filesystem::path>& fifos);

}  // namespace tickora::test
