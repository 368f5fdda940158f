// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a test reaches its site: one SiteAccess with every host at the test's server, built in one
// expression and handed to what the test drives (a page pool, a download, a document, a URL
// builder). Nothing is put in force for the process, so no test leaves settings behind for the
// next one.
#include <chrono>
#include <cstdint>
#include <string>

#include "web/download.h"
#include "web/site_access.h"
#include "web/transfer_control.h"

namespace tickora::test {

class AccessForTest {
  public:
    // Every host at site; the shipped defaults for the rest.
    explicit AccessForTest(const std::string& site = kDefaultSite) { Site(site); }

    AccessForTest& Site(const std::string& site) {
        m_access.hosts = {site, site, site};
        return *this;
    }
    AccessForTest& Hosts(const SiteHosts& hosts) {
        m_access.hosts = hosts;
        return *this;
    }
    AccessForTest& Retry(const RetryPolicy& retry) {
        m_access.retry = retry;
        return *this;
    }
    AccessForTest& Limits(const DownloadLimits& limits) {
        m_access.limits = limits;
        return *this;
    }
    // Short limits, so that a stalled or unreachable page fails within seconds.
    AccessForTest& Timeouts(std::chrono::milliseconds connect, std::chrono::milliseconds stall) {
        m_access.limits.connectTimeout = connect;
        m_access.limits.stallTimeout = stall;
        return *this;
    }
    AccessForTest& MaxPageBytes(std::int64_t bytes) {
        m_access.limits.maxPageBytes = bytes;
        return *this;
    }
    AccessForTest& Connections(int connections) {
        m_access.connections = connections;
        return *this;
    }
    AccessForTest& Via(const Transport& transport) {
        m_access.transport = transport;
        return *this;
    }

    // Trimmed and clamped as the settings would give it.
    [[nodiscard]] SiteAccess Build() const { return Normalized(m_access); }
    // NOLINTNEXTLINE(google-explicit-constructor): a builder stands where its value is wanted
    operator SiteAccess() const { return Build(); }

  private:
    SiteAccess m_access;
};

// A download outside any job, as a test makes one to put a page in place before the job it
// drives: nothing cancels it, and no job's pacing holds it back.
inline int DownloadAlone(const SiteAccess& access, const char* url, const char* localPath,
                         DownloadDetail* detail = nullptr) {
    Pacer pacer;
    return DownloadToFile(access, {pacer, CancelToken()}, url, localPath, detail);
}

}  // namespace tickora::test
