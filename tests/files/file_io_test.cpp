// SPDX-License-Identifier: GPL-3.0-or-later
// The one door to the disk: what lies under a name (a FIFO, a link, a device, a folder, a second
// name of a file elsewhere) never makes a call wait or write outside the folder, every read keeps
// to its bound, an append is one whole record, and a replacement is whole and keeps the mode.
#include "files/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files/replacement_file.h"
#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Plant;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr const char* kName = "history.jsonl";
constexpr const char* kOutsideBytes = "the user's own file\n";

enum class Call { kRead, kReadFollowingLinks, kHead, kTail, kPieces, kAppend, kReplace };

const char* CallName(Call call) {
    constexpr const char* kNames[] = {
        "read", "read following links", "head", "tail", "pieces", "append", "replace"};
    return kNames[static_cast<int>(call)];
}

int Make(Call call) {
    std::string bytes;
    bool flag = false;
    std::size_t read = 0;
    char buffer[16];
    switch (call) {
        case Call::kRead:
            return ReadWholeFile(kName, 1 << 20, bytes);
        case Call::kReadFollowingLinks:
            return ReadWholeFile(kName, 1 << 20, bytes, Links::kFollowed);
        case Call::kHead:
            return ReadFileHead(kName, std::span<char>(buffer), read);
        case Call::kTail:
            return ReadFileTail(kName, 16, bytes, flag);
        case Call::kPieces:
            return ReadFileInPieces(kName, 1 << 20, [](std::string_view) {});
        case Call::kAppend:
            return AppendRecord(kName, "a record\n");
        case Call::kReplace:
            return ReplaceFile(kName, "a new file\n");
    }
    return -1;
}

TEST(FileIo, EveryCallRefusesWhatIsNoRegularFileOfItsOwnAtOnceAndNeverWritesThrough) {
    struct Case {
        Plant plant;
        // What each call returns, in the order of Call; for kReplace the name then holds the
        // new file (0) or is left alone.
        std::vector<int> errors;
    };
    const int kFifo = kNotRegularFile;
    const std::vector<Case> cases = {
        {Plant::kFifo, {kFifo, kFifo, kFifo, kFifo, kFifo, kFifo, 0}},
        {Plant::kLinkOut, {ELOOP, 0, ELOOP, ELOOP, ELOOP, ELOOP, 0}},
        {Plant::kLinkToDevZero, {ELOOP, kFifo, ELOOP, ELOOP, ELOOP, ELOOP, 0}},
        {Plant::kFolder, {EISDIR, EISDIR, EISDIR, EISDIR, EISDIR, EISDIR, EISDIR}},
        // A second name of a file elsewhere is a regular file to read, but no append lands there.
        {Plant::kHardLinkOut, {0, 0, 0, 0, 0, kSecondName, 0}},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < static_cast<int>(c.errors.size()); ++i) {
            const Call call = static_cast<Call>(i);
            SCOPED_TRACE(std::string(test::PlantName(c.plant)) + ", " + CallName(call));
            test::ScopedWorkDir dir;
            fs::create_directory("elsewhere");
            const fs::path outside = dir.Path() / "elsewhere" / "victim";
            WriteFileBytes(outside, kOutsideBytes);
            ASSERT_TRUE(test::PlantAt(kName, c.plant, outside));
            int error = -1;
            EXPECT_TRUE(test::EndsWithin(10s, [&] { error = Make(call); }, {kName}))
                << "the call waits on what is at the name";
            EXPECT_EQ(error, c.errors[i]) << LocalFileErrorText(error);
            EXPECT_EQ(ReadFileBytes(outside), kOutsideBytes);
            if (call == Call::kReplace && error == 0) {
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(kName)));
                EXPECT_EQ(ReadFileBytes(kName), "a new file\n");
            } else if (c.plant == Plant::kFifo) {
                EXPECT_TRUE(fs::is_fifo(kName)) << "the FIFO is left as it was";
            }
        }
    }
}

TEST(FileIo, EveryReadKeepsToItsBound) {
    struct Case {
        std::size_t size;
        std::size_t bound;
    };
    const Case cases[] = {{0, 16}, {15, 16}, {16, 16}, {17, 16}, {200 * 1024, 64 * 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, bound " + std::to_string(c.bound));
        test::ScopedWorkDir dir;
        std::string file(c.size, '\0');
        for (std::size_t i = 0; i < c.size; ++i) {
            file[i] = static_cast<char>('a' + i % 26);
        }
        WriteFileBytes(kName, file);
        const bool over = c.size > c.bound;

        std::string whole = "stale";
        EXPECT_EQ(ReadWholeFile(kName, c.bound, whole), over ? kFileTooLarge : 0);
        EXPECT_EQ(whole, over ? std::string() : file);

        std::string pieces;
        EXPECT_EQ(ReadFileInPieces(kName, c.bound, [&](std::string_view p) { pieces += p; }),
                  over ? kFileTooLarge : 0);
        EXPECT_EQ(pieces, over ? std::string() : file) << "nothing of a file over its bound";

        std::string head;
        bool longer = false;
        EXPECT_EQ(ReadFileHead(kName, c.bound, head, &longer), 0);
        EXPECT_EQ(head, file.substr(0, c.bound));
        EXPECT_EQ(longer, over);

        std::string tail;
        bool cut = false;
        EXPECT_EQ(ReadFileTail(kName, c.bound, tail, cut), 0);
        EXPECT_EQ(tail, over ? file.substr(c.size - c.bound) : file);
        EXPECT_EQ(cut, over);
    }
    EXPECT_NE(LocalFileErrorText(kFileTooLarge, 4 * 1024 * 1024).find("larger than 4 MiB"),
              std::string::npos);
}

TEST(FileIo, AnAppendIsOneRecordOnALineOfItsOwnAndEndsATornRecordFirst) {
    struct Case {
        const char* name;
        std::string before;
        unsigned long diskLeft;  // bytes the disk takes beyond before; 0: as many as needed
        std::string after;       // the file after the append of "record\n"
        bool ok;
    };
    const Case cases[] = {
        {"a new file", "", 0, "record\n", true},
        {"after whole records", "one\ntwo\n", 0, "one\ntwo\nrecord\n", true},
        {"after a torn record", "one\ntw", 0, "one\ntw\nrecord\n", true},
        // What the disk took stays, a record cut short that tells a record was lost there.
        {"the disk takes a part", "one\n", 3, "one\nrec", false},
        {"the disk takes a part after a torn record", "one\ntw", 4, "one\ntw\nrec", false},
        {"the disk takes nothing", "one\n", 0, "one\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        if (!c.before.empty()) {
            WriteFileBytes(kName, c.before);
        }
        int error = 0;
        {
            const bool full = !c.ok;
            test::FileSizeLimit limit(full ? c.before.size() + c.diskLeft : 1UL << 30);
            error = AppendRecord(kName, "record\n");
        }
        EXPECT_EQ(error == 0, c.ok) << LocalFileErrorText(error);
        EXPECT_EQ(ReadFileBytes(kName), c.after);
        // Once the disk has room again, the next record is whole and alone on its line.
        ASSERT_EQ(AppendRecord(kName, "next\n"), 0);
        const std::string now = ReadFileBytes(kName);
        EXPECT_EQ(now.substr(now.size() - 6), "\nnext\n");
    }
}

TEST(FileIo, AReplacementIsWholeAndKeepsTheModeOfTheFileItReplaces) {
    struct Case {
        const char* name;
        int mode;                // of the file replaced; -1: none there
        int modeOfMode;          // of the file the mode is taken from; -1: the file replaced
        unsigned long diskLeft;  // 0: room enough
        int expectedMode;        // -1: the usual one of a new file
    };
    const Case cases[] = {
        {"private", 0600, -1, 0, 0600},
        {"group", 0640, -1, 0, 0640},
        {"read-only", 0444, -1, 0, 0444},
        {"new", -1, -1, 0, -1},
        {"a copy of a private file", 0644, 0600, 0, 0600},
        {"a full disk", 0600, -1, 4, 0600},
    };
    const mode_t umask = ::umask(022);
    ::umask(umask);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedWorkDir dir;
        if (c.mode >= 0) {
            WriteFileBytes(kName, "the old file\n");
            fs::permissions(kName, static_cast<fs::perms>(c.mode));
        }
        std::string modeOf;
        if (c.modeOfMode >= 0) {
            modeOf = "source";
            WriteFileBytes(modeOf, "x");
            fs::permissions(modeOf, static_cast<fs::perms>(c.modeOfMode));
        }
        int error = 0;
        {
            test::FileSizeLimit limit(c.diskLeft != 0 ? c.diskLeft : 1UL << 30);
            error = ReplaceFile(kName, "the whole new file\n", modeOf);
        }
        EXPECT_EQ(error == 0, c.diskLeft == 0) << LocalFileErrorText(error);
        EXPECT_EQ(ReadFileBytes(kName),
                  c.diskLeft == 0 ? "the whole new file\n" : "the old file\n");
        struct stat info {};
        ASSERT_EQ(::stat(kName, &info), 0);
        const int expected = c.expectedMode >= 0 ? c.expectedMode : 0666 & ~static_cast<int>(umask);
        EXPECT_EQ(static_cast<int>(info.st_mode & 07777), expected);
        for (const auto& entry : fs::directory_iterator(".")) {
            EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
                << "a temporary file is left: " << entry.path();
        }
    }
}

}  // namespace
}  // namespace tickora
