// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/work_folder.h"

#include <sys/stat.h>

#include <cerrno>

namespace tickora {

bool MakeFolder(const char* path) {
    return ::mkdir(path, 0777) == 0 || errno == EEXIST;
}

void CreateWorkFolder() {
    (void)MakeFolder(kWorkFolder);
}

}  // namespace tickora
