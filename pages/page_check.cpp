#include "pages/page_check.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "files/file_io.h"
#include "pages/history_page.h"

namespace tickora {
namespace {

// The header of the date column, 日付, in the EUC-JP the history pages arrive in.
constexpr std::string_view kHistoryDateHeader = "\xC6\xFC\xC9\xD5";

// The first limit bytes of path, and whether the file goes on beyond them; false when it
// cannot be opened or read. A kept page may be a link to one kept elsewhere, as long as that is
// a regular file: a FIFO or a device there must not hold the job for ever.
bool ReadHead(const char* path, int limit, std::string& bytes, bool& longer) {
    if (limit < 0) {
        return false;
    }
    return ReadFileHead(path, static_cast<std::size_t>(limit), bytes, &longer, Links::kFollowed) ==
           0;
}

}  // namespace

PageCheck CheckTablePage(std::string_view bytes, const TableMarkers& markers, bool readToLimit) {
    PageCheck check;
    const std::size_t lastRowEnd = bytes.rfind(markers.rowEnd);
    const std::size_t tableEnd = bytes.rfind(markers.tableEnd);
    if (lastRowEnd == std::string_view::npos && tableEnd == std::string_view::npos) {
        check.shape = PageShape::kNoTable;
        return check;
    }
    // A NUL after the table's end costs no row; one before it ends every reader there.
    const std::size_t tableBytes = tableEnd != std::string_view::npos ? tableEnd : bytes.size();
    if (const void* nul = std::memchr(bytes.data(), '\0', tableBytes); nul != nullptr) {
        check.shape = PageShape::kNulInside;
        check.nulAt = static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data());
        return check;
    }
    const bool endsAfterRows = tableEnd != std::string_view::npos &&
                               (lastRowEnd == std::string_view::npos || tableEnd > lastRowEnd);
    if (!endsAfterRows && !readToLimit) {
        check.shape = PageShape::kCutShort;
    }
    return check;
}

bool IsEmptyHistoryTable(std::string_view bytes) {
    const std::size_t headerAt = bytes.find(kHistoryDateHeader);
    if (headerAt == std::string_view::npos) {
        return false;
    }
    const std::size_t headerEnd = bytes.find("</tr>", headerAt);
    if (headerEnd == std::string_view::npos) {
        return false;
    }
    const std::size_t tableEnd = bytes.find("</table>", headerEnd);
    return tableEnd != std::string_view::npos &&
           bytes.substr(headerEnd, tableEnd - headerEnd).find("<tr") == std::string_view::npos;
}

PageCheck CheckPageFile(const char* path, int limit, const TableMarkers& markers) {
    std::string bytes;
    bool longer = false;
    if (!ReadHead(path, limit, bytes, longer)) {
        return {};
    }
    return CheckTablePage(bytes, markers, longer);
}

std::string HistoryPageFault(const char* path, int parsed) {
    std::string bytes;
    bool longer = false;
    if (!ReadHead(path, kHistoryPageLimit, bytes, longer)) {
        return {};  // no page file: the parser found no day, and the paging ends as it did
    }
    const PageCheck check = CheckTablePage(bytes, kLowerCaseTable, longer);
    if (check.shape == PageShape::kNoTable) {
        return "the page holds no history table";
    }
    if (!check.Whole()) {
        return PageShapeCause(check);
    }
    if (parsed != 0 && !IsEmptyHistoryTable(bytes)) {
        return "the page holds no day and is no empty history table";
    }
    return {};
}

std::string PageShapeCause(const PageCheck& check) {
    switch (check.shape) {
        case PageShape::kWhole:
            return "the page is whole";
        case PageShape::kNoTable:
            return "the page holds no table";
        case PageShape::kCutShort:
            return "the page ends inside its table";
        case PageShape::kNulInside:
            return "the page holds a NUL byte at offset " + std::to_string(check.nulAt);
    }
    return "?";
}

}  // namespace tickora
