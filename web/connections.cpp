// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/connections.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace tickora {
namespace {

std::atomic<int> g_connections{kMinConnections};
std::mutex g_transportMutex;
Transport g_transport;

}  // namespace

void SetConnectionCount(int connections) {
    g_connections.store(std::clamp(connections, kMinConnections, kMaxConnections));
}

int GetConnectionCount() {
    return g_connections.load();
}

const char* Http2ModeName(Http2Mode mode) {
    switch (mode) {
        case Http2Mode::kAuto:
            return "auto";
        case Http2Mode::kPriorKnowledge:
            return "prior-knowledge";
        case Http2Mode::kOff:
            return "off";
    }
    return "auto";
}

bool ParseHttp2Mode(std::string_view text, Http2Mode& mode) {
    for (const Http2Mode candidate :
         {Http2Mode::kAuto, Http2Mode::kPriorKnowledge, Http2Mode::kOff}) {
        if (text == Http2ModeName(candidate)) {
            mode = candidate;
            return true;
        }
    }
    return false;
}

void SetTransport(const Transport& transport) {
    std::lock_guard lock(g_transportMutex);
    g_transport = transport;
    g_transport.streams = std::clamp(transport.streams, kMinStreams, kMaxStreams);
}

Transport GetTransport() {
    std::lock_guard lock(g_transportMutex);
    return g_transport;
}

}  // namespace tickora
