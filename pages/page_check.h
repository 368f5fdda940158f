#pragma once
// Whether a page that came back with status 200 is the whole page of its kind, judged on the
// bytes read before anything of it is stored. A transfer can be complete and the page still be
// no page: a maintenance notice, a body cut short by the site itself (its Content-Length says
// the short length), a stray NUL that would end every text reader there.
#include <cstddef>
#include <string>
#include <string_view>

namespace tickora {

enum class PageShape {
    kWhole,      // the table ends after its last row
    kNoTable,    // neither a row end nor a table end: empty, a notice, garbage, no end tags
    kCutShort,   // rows, but the page ends before its table does
    kNulInside,  // a NUL byte before the table's end: the readers would stop there
};

// The markers of one page kind's table, as its bytes hold them (case matters, as it does for
// the parsers).
struct TableMarkers {
    std::string_view rowEnd;
    std::string_view tableEnd;
};

inline constexpr TableMarkers kLowerCaseTable{"</tr>", "</table>"};
inline constexpr TableMarkers kUpperCaseTable{"</TR>", "</TABLE>"};

struct PageCheck {
    PageShape shape = PageShape::kWhole;
    std::size_t nulAt = 0;  // offset of the first NUL, for kNulInside

    [[nodiscard]] bool Whole() const { return shape == PageShape::kWhole; }
};

// bytes: what the parser reads of the page. readToLimit: the parser stopped at its size limit
// before the file ended, so the table's end may lie beyond what it reads; what it does read
// is whole rows, and the page is not judged cut.
[[nodiscard]] PageCheck CheckTablePage(std::string_view bytes, const TableMarkers& markers,
                                       bool readToLimit = false);

// The history table with no day in it, the only page that may end a history: the table's own
// header (its date column), then the table's end with no row between them.
[[nodiscard]] bool IsEmptyHistoryTable(std::string_view bytes);

// CheckTablePage on the first limit bytes of the file at path, as a parser that reads at most
// limit bytes sees it. A file that cannot be read is left to the parser, which says so.
[[nodiscard]] PageCheck CheckPageFile(const char* path, int limit, const TableMarkers& markers);

// Why the history page at path may not be used: empty when it may, that is when it holds days
// (parsed is ParseHistoryPage's 0) and its table ends after them, or when it is the empty table
// that ends a history. Any other page that came back with status 200 (a maintenance notice,
// garbage, a page cut short or without its end tags) would cut a stored history short.
[[nodiscard]] std::string HistoryPageFault(const char* path, int parsed);

// "the page ends inside its table", "the page holds a NUL byte at offset 1234": why a page that
// is not whole is a failed page. kNoTable has no words here: each page kind names it ("the page
// holds no quote rows").
[[nodiscard]] std::string PageShapeCause(const PageCheck& check);

}  // namespace tickora
