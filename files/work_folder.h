// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The work folder that holds every downloaded page. Both spellings the program has used name this
// one folder on a case-sensitive file system: it is always "Webtemp".
namespace tickora {

inline constexpr const char* kWorkFolder = "Webtemp";

// Creates "Webtemp" in the working folder; an existing folder is fine.
void CreateWorkFolder();

// mkdir that treats an existing folder as success; for the job folders under the work folder.
bool MakeFolder(const char* path);

}  // namespace tickora
