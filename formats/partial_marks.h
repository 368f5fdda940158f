// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program knows of a day's files: which content a whole run wrote and which a run that
// ended early. The marks live in ".<name>.partial" beside the files and name each file by its
// content (size and a hash), so they survive copies, renames and remounts. A mark only ever
// proves something of the very bytes it names: a file that no mark names, because the marks were
// removed, damaged, replaced by a link or a FIFO, or because anyone changed the file, is of
// unknown state, and a file of unknown state is never the one given up.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tickora {

struct ContentId {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const ContentId&) const = default;
};

// What the marks prove of one file.
enum class DayState {
    kUnknown,  // no mark names its content
    kWhole,    // written by a run that read every block
    kPartial,  // written by a run that ended early or lost a block
};

struct DayMark {
    ContentId id;
    bool whole = false;
    bool operator==(const DayMark&) const = default;
};

// ".<name>.partial" in path's folder: the marks of the file at path and of its backups.
[[nodiscard]] std::string PartialMarksPathOf(const std::string& path);

// The content of the regular file at path; nothing when there is none or it cannot be read.
[[nodiscard]] std::optional<ContentId> ContentIdOf(const std::string& path);

// The marks kept for path's family that can be trusted line by line; none when the marks file is
// missing, not a regular file of its own, or unreadable. A damaged line is left out, never read
// as another mark.
[[nodiscard]] std::vector<DayMark> ReadDayMarks(const std::string& path);

// What marks prove of content id; a content marked both ways counts as whole, since a whole
// run wrote those very bytes.
[[nodiscard]] DayState StateOf(const std::vector<DayMark>& marks,
                               const std::optional<ContentId>& id);

// The backup of path ("<path>.bak") when the marks prove it whole; empty otherwise.
[[nodiscard]] std::string WholeBackupOf(const std::string& path);

// Replaces the marks of path's family with marks, atomically. False (errno set) when they could
// not be stored.
[[nodiscard]] bool WriteDayMarks(const std::string& path, const std::vector<DayMark>& marks);

}  // namespace tickora
