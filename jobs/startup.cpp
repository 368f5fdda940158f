#include "jobs/startup.h"

#include "web/hosts.h"
#include "web/retry.h"
#include "web/work_folder.h"

namespace tickora {

void LoadStartupObjects(StartupObjects& objects) {
    objects.settings.Load();
    objects.marketLoaded = objects.markets.Load("market.csv", &objects.notices) != 0;
    if (objects.marketLoaded) {
        (void)objects.stocks.Load(objects.markets, Hosts().quote.c_str(), "fetchlist.csv",
                                  &objects.notices);
    }
    CreateWorkFolder();
    // Both front-ends start here, so unattended runs of either pick up the same retry settings.
    LoadRetryPolicyFromEnvironment();
}

}  // namespace tickora
