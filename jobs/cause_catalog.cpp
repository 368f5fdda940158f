// SPDX-License-Identifier: GPL-3.0-or-later
#include "jobs/cause_catalog.h"

#include <cerrno>
#include <cstring>

#include "files/file_io.h"
#include "files/local_file.h"
#include "text/phrase_template.h"

namespace tickora {
namespace {

using A = CauseArea;

// Grouped by the code that writes them; within a group, the longer of two templates that could
// both match comes first.
constexpr CauseTemplate kTemplates[] = {
    // The items of the jobs (jobs/job_steps.cpp, block_job.cpp, kdt_job.cpp, fetchlist_job.cpp,
    // profiles_job.cpp).
    {A::kItem, "{n} stocks of block {n}"},
    {A::kItem, "{n} stock of block {n}"},
    {A::kItem, "stock {n} of block {n}"},
    {A::kItem, "page {n} of {n}"},
    {A::kItem, "listing page {n}"},
    {A::kItem, "the profile of {n}"},
    {A::kItem, "the record of {n}"},
    {A::kItem, "the history of {n}"},
    {A::kItem, "the daily quote file"},
    {A::kItem, "the performance file"},

    // Pages that came back but cannot be used (pages/page_check.cpp, profile_page.cpp,
    // number_range.cpp, history_page.cpp, figures_page.cpp, and the rows each job reads).
    {A::kPage, "the page holds no table"},
    {A::kPage, "the page ends inside its table"},
    {A::kPage, "the page holds a NUL byte at offset {n}"},
    {A::kPage, "the page holds a NUL byte"},
    {A::kPage, "the page holds no history table"},
    {A::kPage, "the page holds no day and is no empty history table"},
    {A::kPage, "the page holds no quote rows"},
    {A::kPage, "the page holds no figures rows"},
    {A::kPage, "the page holds no listing rows"},
    {A::kPage, "no page file"},
    {A::kPage, "not a profile page"},
    {A::kPage, "page over 16 MiB"},
    {A::kPage, "unknown result"},
    {A::kPage, "the {w} {w} does not fit the daily file's 32-bit field"},
    {A::kPage, "{f}: the {w} {w} does not fit the KDT file's 32-bit field"},
    {A::kPage, "the {w} {w} does not fit the KDT file's 32-bit field"},
    {A::kPage, "figure {n} ({p}) does not fit the performance file"},
    {A::kPage, "a negative volume ({p})"},
    {A::kPage, "the high {w} below the low {w}"},
    {A::kPage, "the close {w} outside the low {w} and the high {w}"},
    {A::kPage, "the open {w} outside the low {w} and the high {w}"},

    // Pages that did not come back whole (web/transfer_engine.cpp, transfer_causes.cpp,
    // page_pool.cpp, download.cpp; jobs/page_ahead.cpp).
    {A::kTransfer, "{*} (curl error {n})"},
    {A::kTransfer, "TLS with the site failed: {*}"},
    {A::kTransfer, "TLS with {w} failed: {*}"},
    {A::kTransfer, "HTTP {n} (it asks for a user name and password)"},
    {A::kTransfer, "HTTP {n}"},
    {A::kTransfer, "the proxy {w} cannot be reached: {e}"},
    {A::kTransfer, "the proxy refused the tunnel to the site: {*}"},
    {A::kTransfer, "the proxy {w} refused the tunnel to the site: {*}"},
    {A::kTransfer, "the proxy refused the request: {*}"},
    {A::kTransfer, "the proxy {w} refused the request: {*}"},
    {A::kTransfer, "the proxy failed: {*}"},
    {A::kTransfer, "the proxy {w} failed: {*}"},
    {A::kTransfer, "bad {w} body from the site: it does not decode ({*})"},
    {A::kTransfer, "bad {w} body from the site: it does not decode"},
    {A::kTransfer, "page larger than {n} MiB after decoding; the transfer was stopped there"},
    {A::kTransfer, "the page is larger than {n} MiB; the transfer was stopped there"},
    {A::kTransfer, "the page arrived only in part ({*})"},
    {A::kTransfer, "then status 200"},
    {A::kTransfer, "cancelled during the transfer"},
    {A::kTransfer, "cancelled before the request went out"},
    {A::kTransfer, "no page was planned"},
    {A::kTransfer, "the page was not asked for"},
    {A::kTransfer, "the download could not be set up"},
    {A::kTransfer, "no failure"},
    {A::kTransfer, "HTTP status"},
    {A::kTransfer, "transfer failed"},
    {A::kTransfer, "time-out"},
    {A::kTransfer, "page too large"},
    {A::kTransfer, "page not stored"},
    {A::kTransfer, "cancelled"},

    // Files (jobs/job_steps.cpp, block_job.cpp, kdt_job.cpp, fetchlist_job.cpp; files/).
    {A::kFile,
     "{*}: {e}, where the marks that tell the day's whole file are kept; nothing is "
     "replaced"},
    {A::kFile,
     "{*}: {n} earlier versions that nothing proved partial are kept beside it ({*} and "
     "on); nothing is replaced until those not needed are moved away"},
    {A::kFile, "{*}: a symbolic link, which is not followed"},
    {A::kFile, "{*}: not a regular file"},
    {A::kFile, "{*}: {e}"},
    // A file's reason: the system's words alone.
    {A::kFile, "{e}"},
    {A::kFile, "a symbolic link, which is not followed"},
    {A::kFile, "not a regular file"},
    {A::kFile, "too many earlier versions kept beside it"},
    {A::kFile, "the list could not be written"},
    {A::kFile, "it could not be written"},

    // What was done about a failure, and why a file was kept or not written.
    {A::kAction, "its stocks counted as not extracted"},
    {A::kAction, "not extracted, logged to ERRORLOG.TXT"},
    {A::kAction, "not extracted; its figures as they were"},
    {A::kAction, "not extracted; the stored history kept"},
    {A::kAction, "not extracted; no history file"},
    {A::kAction, "the list is kept"},
    {A::kAction, "its market kept"},
    {A::kAction, "its record kept"},
    {A::kAction, "the page kept earlier was read"},
    {A::kAction, "the record is as it was"},
    {A::kAction, "no record can be written"},
    {A::kAction, "the stored history kept"},
    {A::kAction, "no history file"},
    {A::kAction, "written from the {n} days before"},
    {A::kAction, "the fetch stopped; the blocks before are written"},
    {A::kAction, "the job stopped; the blocks before are written"},
    {A::kAction, "no daily file written"},
    {A::kAction, "no performance file written"},
    {A::kAction, "a page failed"},
    {A::kAction, "no day was read"},
    {A::kAction, "a number does not fit the file"},
    {A::kAction, "no stock was listed"},
    {A::kAction, "cancelled before the listing ended"},
    {A::kAction, "the listing was not read to its end"},
    {A::kAction, "a listing page was not read"},
    {A::kAction, "no quote was fetched"},
    {A::kAction, "no figures were fetched"},

    // Why a job ended early, was refused or could not start (jobs/tickora_doc.cpp, kdt_job.cpp,
    // output_folder.cpp, startup.cpp; catalog/work_lock.cpp; pages/url_fit.cpp).
    {A::kEnd, "a job is running"},
    {A::kEnd, "fetchlist.csv has no stocks, so there is nothing to fetch"},
    {A::kEnd, "code {n} is not in fetchlist.csv, so its history cannot be asked for"},
    {A::kEnd, "the code or the days are out of range"},
    {A::kEnd, "an unknown error"},
    {A::kEnd, "the output folder {*} does not exist"},
    {A::kEnd, "the output folder {*} has no UTF-8 form and cannot be created"},
    {A::kEnd, "the output folder {*} cannot be created: {e}"},
    {A::kEnd, "another Tickora job (pid {n}) is using {*}"},
    {A::kEnd, "another Tickora job is using {*}"},
    {A::kEnd,
     "{*} is not a plain file of its own (a symbolic link, a hard link, a FIFO or a "
     "folder), so Tickora neither follows nor writes it: remove it and start again"},
    {A::kEnd, "cannot lock {*}: {e}"},
    {A::kEnd, "{f}: {e}; settings and lists are read only from regular files"},
    {A::kEnd, "{*} need {n} bytes, {n} more than the {n} their field holds"},
    {A::kEnd, "the quote and figures page URLs on the quote host (block {n} of the fetch list)"},
    {A::kEnd, "the listing page URLs on the quote host"},
    {A::kEnd, "the price-history URLs on the table host"},
    {A::kEnd, "the profile page URLs on the profile host"},
    // A job stopped by a failure: its cause, and the item in brackets.
    {A::kEnd, "{*} ({p})"},

    // Connection settings (catalog/connection_settings.cpp): a value, the file, a variable.
    {A::kSettings, "{f}:{n}:{n}: {*}"},
    {A::kSettings, "{f}:{n}: unknown key '{*}' (the keys are {*})"},
    {A::kSettings, "{f}:{n}: {w} {*} (got {*})"},
    {A::kSettings, "{f}: cannot be read: {e}"},
    {A::kSettings, "{f}: larger than {n} KiB, not a connection settings file"},
    {A::kSettings, "{f} could not be written: {e}"},
    {A::kSettings, "{w} {*} (got '{*}')"},
    {A::kSettings, "{w} {*} (got {n})"},
    {A::kSettings, "must be a whole number from {n} to {n}"},
    {A::kSettings, "must be an http:// or https:// URL with a host, without blanks"},
    {A::kSettings, "must be an http:// or https:// URL with a host, without a query or fragment"},
    {A::kSettings,
     "must be an http:// or https:// URL with a host (and a port from 1 to 65535 "
     "after ':')"},
    {A::kSettings, "must be an http:// or https:// URL with a host"},
    {A::kSettings, "must be an http://, https://, socks5:// or socks5h:// URL with a host"},
    {A::kSettings, "must be auto, prior-knowledge or off"},
    {A::kSettings, "must be a file name without control characters"},
    {A::kSettings, "must be host names separated by commas, without blanks"},

    // What start-up noticed in the lists (catalog/line_file.cpp, stock_list.cpp, market_table.cpp).
    // The day's check (jobs/check_outcome.cpp, checks/day_check.cpp): what it could not read,
    // and what it checked instead.
    {A::kItem, "the list"},
    {A::kItem, "the day to check"},
    {A::kItem, "the day file"},
    {A::kFile, "cannot be read or holds no market"},
    {A::kFile, "cannot be read or holds no stock"},
    {A::kFile, "larger than any day file"},
    {A::kFile, "not a day file: its header is none this program writes"},
    {A::kFile, "line {n} is no stock line of its layout"},
    {A::kFile, "the output folder is no folder name"},
    {A::kFile, "no day file of {w}"},
    {A::kFile, "holds the quotes of {w}"},
    {A::kFile, "cannot be read"},
    {A::kFile, "not a price history this program writes"},
    {A::kFile, "the date to check names no day"},
    {A::kAction, "nothing checked"},
    {A::kAction, "the histories checked alone"},
    {A::kAction, "its day file line checked alone"},
    {A::kNotice, "{n} stock has no history file: only its line in the day file was checked"},
    {A::kNotice, "{n} stocks have no history file: only their lines in the day file were checked"},

    {A::kNotice, "{f}: UTF-8 text, read as Shift-JIS"},
    {A::kNotice, "{f} line {n}: a character has no Shift-JIS form; the line is not read"},
    {A::kNotice, "{f} line {n}: not a line of symbol, code, market and name; not read"},
    {A::kNotice, "{f} line {n}: the code {*} is out of range; the line is not read"},
    {A::kNotice, "{f} line {n}: the symbol \"{*}\" is longer than {n} bytes; the line is not read"},
    {A::kNotice,
     "{f} line {n}: the market symbol \"{*}\" is longer than {n} bytes; it is read as "
     "\"{*}\""},
};

// open(2), read(2), write(2), fsync(2), rename(2), mkdir(2), flock(2) and connect(2) as the
// working folder, the output folder and the site may answer them.
constexpr int kFileErrors[] = {
    EPERM,     ENOENT,       EIO,         ENXIO,    EBADF,         EAGAIN, ENOMEM,       EACCES,
    EBUSY,     EEXIST,       EXDEV,       ENODEV,   ENOTDIR,       EISDIR, EINVAL,       ENFILE,
    EMFILE,    ETXTBSY,      EFBIG,       ENOSPC,   EROFS,         EMLINK, ENAMETOOLONG, ENOLCK,
    ENOTEMPTY, ELOOP,        EOVERFLOW,   EDQUOT,   ESTALE,        EINTR,  ECONNREFUSED, ECONNRESET,
    ETIMEDOUT, EHOSTUNREACH, ENETUNREACH, ENETDOWN, EADDRNOTAVAIL, EPIPE,
    // The file layer's own refusal of a file with a second name (a hard link).
    kSecondName,
};

}  // namespace

std::span<const CauseTemplate> CauseTemplates() {
    return kTemplates;
}

std::string_view FileOverBoundWords() {
    return "larger than {n} {*}, more than such a file holds, so it is not read";
}

bool IsSystemWords(std::string_view words) {
    if (MatchPhraseTemplate(words, FileOverBoundWords())) {
        return true;
    }
    for (const int error : kFileErrors) {
        if (words == std::strerror(error) || words == LocalFileErrorText(error)) {
            return true;
        }
    }
    return false;
}

bool IsCatalogued(std::string_view text) {
    for (const CauseTemplate& entry : kTemplates) {
        const auto parts = MatchPhraseTemplate(text, entry.text);
        if (!parts) {
            continue;
        }
        // The system's words must be those of an error the list names.
        bool known = true;
        std::size_t gap = 0;
        for (std::size_t at = entry.text.find('{'); at != std::string_view::npos && known;
             at = entry.text.find('{', at + 1), ++gap) {
            if (entry.text.substr(at, 3) == "{e}" && gap < parts->size()) {
                known = IsSystemWords((*parts)[gap]);
            }
        }
        if (known) {
            return true;
        }
    }
    return false;
}

std::span<const int> FileErrorNumbers() {
    return kFileErrors;
}

}  // namespace tickora
