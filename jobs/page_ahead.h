// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pages a job will want, in the order it will want them, asked of the site ahead on the
// pool's connections, and handed over one by one. With one connection nothing is asked before
// the job asks for it, as when the job downloads each page itself.
#include <deque>
#include <optional>
#include <string>

#include "web/page_pool.h"
#include "web/transfer_control.h"

namespace tickora {

class PageAhead {
  public:
    explicit PageAhead(PagePool& pool) : m_pool(pool) {}

    // A page the job will want after those planned before; item groups the pages of one stock
    // (or one block, one listing page) so that the rest of them can be dropped together.
    void Plan(std::string url, std::string path, int item = 0);
    // A page the job wants before every page planned so far (the rest of a history that cannot
    // be brought up to date from its first page, say).
    void PlanFirst(std::string url, std::string path, int item = 0);

    // Waits for the next planned page in its work file, and keeps the pool's window of pages
    // asked ahead full. The work file is removed first, so that a page refused by the site
    // leaves none (a page an earlier job left there is never read as this one), and again when
    // the transfer broke off (a part of a page is no page). Returns what DownloadToFile returns.
    [[nodiscard]] int Next(DownloadDetail& detail);
    // Pages planned and not yet handed over.
    [[nodiscard]] int Planned() const { return static_cast<int>(m_planned.size()); }
    // The item of the page that Next will hand over; nullopt when none is planned.
    [[nodiscard]] std::optional<int> NextItem() const;

    // The job no longer wants the planned pages of item at the head of the plan (its history
    // ended on an earlier page): those not yet asked for never are.
    void DropItem(int item);

    // The job's pacer and Cancel, which the pool's requests obey, for a page fetched beside it.
    [[nodiscard]] const TransferControl& Control() const { return m_pool.Control(); }

  private:
    struct PlannedPage {
        std::string url;
        std::string path;
        int item = 0;
        std::optional<PageTicket> ticket;
    };
    void FillWindow();

    PagePool& m_pool;
    std::deque<PlannedPage> m_planned;
};

}  // namespace tickora
