// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/connections.h"

#include <algorithm>
#include <atomic>

namespace tickora {
namespace {

std::atomic<int> g_connections{kMinConnections};

}  // namespace

void SetConnectionCount(int connections) {
    g_connections.store(std::clamp(connections, kMinConnections, kMaxConnections));
}

int GetConnectionCount() {
    return g_connections.load();
}

}  // namespace tickora
