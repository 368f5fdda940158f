#pragma once
// Which of a day's files came from a run that ended early. A day's file and its backup are told
// apart from whole ones by content (size and a hash), listed in ".<name>.partial" beside them:
// the marks survive copies, renames and remounts, and a file that anyone changed no longer
// matches, so it counts as whole and is never the one given up.
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

// ".<name>.partial" in path's folder: the marks of the file at path and of its backup.
[[nodiscard]] std::string PartialMarksPathOf(const std::string& path);

// The content of the regular file at path; nothing when there is none or it cannot be read.
[[nodiscard]] std::optional<ContentId> ContentIdOf(const std::string& path);

// The marks kept for path's family; none when the marks file is missing or unreadable.
[[nodiscard]] std::vector<ContentId> ReadPartialMarks(const std::string& path);

// The backup of path ("<path>.bak") when it holds a file not marked partial; empty otherwise.
[[nodiscard]] std::string WholeBackupOf(const std::string& path);

// Replaces the marks of path's family with marks, atomically; removes the file when marks is
// empty. False (errno set) when they could not be stored.
[[nodiscard]] bool WritePartialMarks(const std::string& path, const std::vector<ContentId>& marks);

}  // namespace tickora
