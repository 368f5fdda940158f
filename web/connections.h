// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How many connections the jobs may open to the site at once. One by default: a request at a
// time is the polite choice for a site that has not said it welcomes more.
namespace tickora {

inline constexpr int kMinConnections = 1;
inline constexpr int kMaxConnections = 16;

// Clamped to [kMinConnections, kMaxConnections].
void SetConnectionCount(int connections);
[[nodiscard]] int GetConnectionCount();

}  // namespace tickora
