// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a job's downloads obey besides its SiteAccess: its Cancel and its pacing clock. The job
// hands both down (to its page pool, the pool to its transfer engine; a lone download takes them
// as an argument), so that a download never learns of them from the thread it happens to run on,
// and two jobs in one process never reach each other's.
#include <atomic>
#include <chrono>
#include <mutex>

namespace tickora {

// A view of a job's Cancel flag, plus an optional flag that aborts. Copied freely: it holds
// pointers to flags that must outlive every download given the token.
class CancelToken {
  public:
    // Nothing cancels: a download made outside any job.
    CancelToken() = default;
    explicit CancelToken(const std::atomic<bool>& cancel) : m_cancel(&cancel) {}

    // The same Cancel, and abort besides: once abort is set a transfer ends at once, without the
    // grace Cancel gives a page that is nearly there, and its waits end too. For a pool whose
    // pages nobody wants any more.
    [[nodiscard]] CancelToken WithAbort(const std::atomic<bool>& abort) const {
        CancelToken token = *this;
        token.m_abort = &abort;
        return token;
    }

    // Cancel or abort is set.
    [[nodiscard]] bool Cancelled() const {
        return (m_cancel != nullptr && m_cancel->load()) || Aborted();
    }
    [[nodiscard]] bool Aborted() const { return m_abort != nullptr && m_abort->load(); }

  private:
    const std::atomic<bool>* m_cancel = nullptr;
    const std::atomic<bool>* m_abort = nullptr;
};

// The least time between the starts of two requests, kept across every connection and every
// download that shares the pacer, whichever thread drives them.
class Pacer {
  public:
    Pacer() = default;
    Pacer(const Pacer&) = delete;
    Pacer& operator=(const Pacer&) = delete;

    // Reserves the next start time that keeps paceMs after the start reserved before, for a
    // caller that waits for it itself; now when paceMs is 0. The reservation is made under the
    // lock and waited for outside it, so that concurrent callers are spaced too.
    [[nodiscard]] std::chrono::steady_clock::time_point Reserve(int paceMs);

  private:
    std::mutex m_mutex;
    bool m_anyReserved = false;
    std::chrono::steady_clock::time_point m_lastStart;
};

// Both, as a job hands them to its downloads. The pacer must outlive every download given it.
struct TransferControl {
    Pacer& pacer;
    CancelToken cancel;
};

}  // namespace tickora
