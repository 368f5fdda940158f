#include "jobs/startup.h"

#include "web/hosts.h"
#include "web/work_folder.h"

namespace tickora {

void LoadStartupObjects(StartupObjects& objects) {
    objects.settings.Load();
    objects.marketLoaded = objects.markets.Load() != 0;
    if (objects.marketLoaded) {
        (void)objects.stocks.Load(objects.markets, Hosts().quote.c_str());
    }
    CreateWorkFolder();
}

}  // namespace tickora
