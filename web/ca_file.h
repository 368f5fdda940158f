// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The CA file of the connection settings, read by the program itself and handed to libcurl as
// bytes: libcurl's own open of the name would follow a link anywhere and wait for ever on a FIFO,
// past every time limit of the page.
#include <cstddef>
#include <string>

namespace tickora {

// More than any bundle of certificates holds (the system's whole store is a few hundred KiB).
inline constexpr std::size_t kMaxCaFileBytes = 8 * 1024 * 1024;

struct CaBundle {
    std::string pem;      // the file's bytes, when it was read
    std::string problem;  // why it cannot be used, naming the file; empty when it was read
};

// Reads the CA file at path (a link is followed, as to any file the user names, but it must lead
// to a regular file). A relative path is taken in the current folder, the working folder, and
// the problem then names that folder, so that a user who thought of another one sees why.
[[nodiscard]] CaBundle ReadCaFile(const std::string& path);

}  // namespace tickora
