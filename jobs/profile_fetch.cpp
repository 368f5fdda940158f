// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/profile_fetch.h"

#include <cstdio>

#include "files/work_folder.h"
#include "jobs/job_steps.h"

namespace tickora {

void CreateProfileFolders() {
    (void)MakeFolder(kWorkFolder);
    (void)MakeFolder("Webtemp/fundamental");
    for (int thousand = 1000; thousand <= 9000; thousand += 1000) {
        char path[64];
        std::snprintf(path, sizeof path, "Webtemp/fundamental/%04d", thousand);
        (void)MakeFolder(path);
    }
}

void FinishProfilePage(const ProfilePageTarget& target, int result) {
    if (target.download == target.path) {
        if (result != 0) {
            std::remove(target.download.c_str());  // a cut transfer leaves part of a page
        }
        return;
    }
    if (target.download.empty()) {
        return;
    }
    if (result != 0 || !PathExists(target.download) ||
        std::rename(target.download.c_str(), target.path.c_str()) != 0) {
        std::remove(target.download.c_str());
    }
}

std::string ObtainProfilePage(const SiteAccess& access, const TransferControl& control, int code,
                              bool keepHtml, bool useKeptHtml, DownloadDetail* download) {
    const ProfilePageTarget target =
        TargetOfProfile(access.hosts.profile, code, keepHtml, useKeptHtml);
    if (!target.url.empty()) {
        // The shared file still holds the previous stock's page: without this removal a 404 or
        // a failed download would hand that page to this stock.
        std::remove(target.download.c_str());
        FinishProfilePage(target, DownloadToFile(access, control, target.url.c_str(),
                                                 target.download.c_str(), download));
    }
    return target.path;
}

void ProfilesAhead::Plan(int code) {
    const ProfilePageTarget target =
        TargetOfProfile(m_access.hosts.profile, code, m_keepHtml, m_useKeptHtml);
    if (!target.url.empty()) {
        m_ahead.Plan(target.url, target.download, code);
    }
}

std::string ProfilesAhead::Obtain(int code, DownloadDetail* download) {
    const ProfilePageTarget target =
        TargetOfProfile(m_access.hosts.profile, code, m_keepHtml, m_useKeptHtml);
    if (target.url.empty()) {
        return target.path;
    }
    // The pages of the plan stay in their order.
    if (m_ahead.NextItem() != code) {
        return ObtainProfilePage(m_access, m_ahead.Control(), code, m_keepHtml, m_useKeptHtml,
                                 download);
    }
    DownloadDetail detail;
    FinishProfilePage(target, m_ahead.Next(detail));
    if (download != nullptr) {
        *download = std::move(detail);
    }
    return target.path;
}

std::string ProfilesAhead::UrlOf(int code) const {
    return m_useKeptHtml ? std::string() : ProfileUrl(m_access.hosts.profile, code);
}

std::vector<ProfileSlotResult> FetchMarketsFromProfiles(CListPage& page, ProfilesAhead& pages,
                                                        bool addedOnly, const CMarketTable& markets,
                                                        const ProfileObserver& observe) {
    if (pages.KeepsHtml()) {
        CreateProfileFolders();
    }
    std::vector<ProfileSlotResult> results;
    for (const int s : page.ProfileSlots(addedOnly)) {
        ProfileStep step;
        step.slot = s;
        step.code = page.m_aEntries[s].m_nCode;
        step.url = pages.UrlOf(step.code);
        step.path = pages.Obtain(step.code, &step.download);
        step.parsed = page.TakeMarketFromProfile(s, step.path.c_str(), markets);
        results.push_back({s, step.code, step.parsed});
        if (observe && !observe(step)) {
            break;
        }
    }
    return results;
}

}  // namespace tickora
