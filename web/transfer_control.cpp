// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/transfer_control.h"

#include <algorithm>

namespace tickora {

std::chrono::steady_clock::time_point Pacer::Reserve(int paceMs) {
    const auto now = std::chrono::steady_clock::now();
    if (paceMs <= 0) {
        return now;
    }
    std::lock_guard lock(m_mutex);
    auto slot = now;
    if (m_anyReserved) {
        slot = std::max(now, m_lastStart + std::chrono::milliseconds(paceMs));
    }
    m_lastStart = slot;
    m_anyReserved = true;
    return slot;
}

}  // namespace tickora
