#pragma once
// Company profile pages: where they are fetched from and kept, and the four texts cut out of them.
// The fetch-list job reads the market of new stocks from the same pages.
#include <string>

#include "formats/dictionary.h"
#include "web/download.h"

namespace tickora {

// The one work file that profile pages share when they are not kept.
inline constexpr const char* kSharedProfilePath = "Webtemp/fundamental.html";

// "/biz/fundamental/%04d.html" on the profile host.
[[nodiscard]] std::string ProfileUrl(int code);
// "Webtemp/fundamental/%04d/%04d.html": the folder of the thousand, then the code.
[[nodiscard]] std::string KeptProfilePath(int code);

// "Webtemp", "Webtemp/fundamental" and the nine folders 1000 to 9000; existing ones are fine.
void CreateProfileFolders();

// Brings the profile page of code to disk and returns the path to parse. The file at that path
// is either what this call downloaded or, with kept pages, the page kept for this same stock: a
// failed download never leaves another stock's page there. With useKeptHtml nothing is fetched.
// download, when given, says how the download went (untouched when nothing was fetched).
[[nodiscard]] std::string ObtainProfilePage(int code, bool keepHtml, bool useKeptHtml,
                                            DownloadDetail* download = nullptr);

// Reads the EUC-JP page at path into profile (cleared first). 0 when the file was read, whatever
// it held; -1 when it cannot be opened.
[[nodiscard]] int ParseProfilePage(const char* path, CompanyProfile& profile);

// Copies the text between marker and the next endMarker into dst, cut after limit - 1 bytes with
// no regard to character boundaries. Returns the stored length; 0 when either marker is missing
// (dst then is left as it was) or the text is empty.
int ExtractAfterMarker(const char* text, const char* marker, const char* endMarker, char* dst,
                       int limit);

}  // namespace tickora
