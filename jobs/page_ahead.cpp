// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/page_ahead.h"

#include <cstdio>

namespace tickora {

void PageAhead::Plan(std::string url, std::string path, int item) {
    m_planned.push_back({std::move(url), std::move(path), item, std::nullopt});
}

void PageAhead::PlanFirst(std::string url, std::string path, int item) {
    m_planned.push_front({std::move(url), std::move(path), item, std::nullopt});
}

void PageAhead::FillWindow() {
    int asked = 0;
    for (PlannedPage& page : m_planned) {
        if (asked >= m_pool.Window()) {
            break;
        }
        if (!page.ticket) {
            page.ticket = m_pool.Submit(page.url, page.path);
        }
        ++asked;
    }
}

int PageAhead::Next(DownloadDetail& detail) {
    if (m_planned.empty()) {
        detail = {PageFailure::kTransport, 0, "no page was planned"};
        return 1;
    }
    FillWindow();
    PlannedPage page = std::move(m_planned.front());
    m_planned.pop_front();
    std::remove(page.path.c_str());
    const int result = m_pool.Wait(*page.ticket, &detail);
    if (result != 0) {
        std::remove(page.path.c_str());
    }
    return result;
}

std::optional<int> PageAhead::NextItem() const {
    if (m_planned.empty()) {
        return std::nullopt;
    }
    return m_planned.front().item;
}

void PageAhead::DropItem(int item) {
    while (!m_planned.empty() && m_planned.front().item == item) {
        if (m_planned.front().ticket) {
            m_pool.Skip(*m_planned.front().ticket);
        }
        m_planned.pop_front();
    }
}

}  // namespace tickora
