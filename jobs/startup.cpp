// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/startup.h"

#include "catalog/clock.h"
#include "files/temp_files.h"
#include "pages/url_fit.h"
#include "web/hosts.h"
#include "files/local_file.h"
#include "files/work_folder.h"

namespace tickora {
namespace {

// A killed run leaves its temporary files beside the files it was writing: in the working
// folder, the work folder and its profile folders (a kept profile page arrives as
// "<page>.part.tmp<PID>-<N>"), the history folders and the output folder.
void RemoveLeftoverTemporaries(const CAppSettings& settings) {
    const std::string profiles = std::string(kWorkFolder) + "/fundamental";
    std::vector<std::string> folders = {".", kWorkFolder, profiles, "DATA"};
    for (int thousands = 1000; thousands <= 9000; thousands += 1000) {
        folders.push_back("DATA/" + std::to_string(thousands));
        folders.push_back(profiles + "/" + std::to_string(thousands));
    }
    if (const std::string output = settings.OutputDirPath(); !output.empty()) {
        folders.push_back(output);
    }
    for (const std::string& folder : folders) {
        (void)RemoveStaleTemporaries(folder);
    }
}

}  // namespace

std::string IrregularStartupFile() {
    // The settings are replaced by a rename when saved, so a link there is never the user's
    // file for long; the lists may be links to a shared copy, as long as that is a file.
    struct File {
        const char* name;
        bool followLinks;
    };
    for (const File file :
         {File{"Tickora.ini", false}, File{"market.csv", true}, File{kFetchListPath, true}}) {
        if (const int error = IrregularFileError(file.name, file.followLinks); error != 0) {
            return std::string(file.name) + ": " + LocalFileErrorText(error) +
                   "; settings and lists are read only from regular files";
        }
    }
    return {};
}

void LoadStartupObjects(StartupObjects& objects, const SiteHosts& hosts) {
    // A FIFO would hold the start for ever, a device feed it without end.
    objects.irregularFile = IrregularStartupFile();
    if (!objects.irregularFile.empty()) {
        return;
    }
    objects.settings.Load();
    objects.marketLoaded = objects.markets.Load("market.csv", &objects.notices) != 0;
    if (objects.marketLoaded) {
        (void)objects.stocks.Load(objects.markets, hosts.quote.c_str(), kFetchListPath,
                                  &objects.notices);
    }
    if (const UrlFitResult fit = CheckUrlsFit(hosts, objects.stocks, objects.markets, Today());
        !fit.fits) {
        objects.cannotRun = fit.message;
    }
    // A folder without a market table is no working folder: the program ends at once there,
    // and leaves it as it found it.
    if (objects.marketLoaded) {
        CreateWorkFolder();
        RemoveLeftoverTemporaries(objects.settings);
    }
}

}  // namespace tickora
