// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary names unique per process, and the removal of the leftovers of dead processes.
#include "files/temp_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;

TEST(TemporaryNames, OwnerIsReadOnlyFromTheExactForm) {
    struct Case {
        const char* name;
        long owner;
    } cases[] = {
        {"DS080211.DAT.tmp4242-0", 4242},
        {"Tickora.ini.tmp17-305", 17},
        {"DS080211.DAT.bak.tmp99-2", 99},
        {"a.tmp1.tmp5-1", 5},  // the last ".tmp" decides
        {".tmp4242-0", 0},     // no target
        {"x.tmp4242-", 0},
        {"x.tmp-3", 0},
        {"x.tmp42a-3", 0},
        {"x.tmp42-3a", 0},
        {"x.tmp", 0},
        {"Tickora.ini.tmp", 0},
        {"fetchlist.csv", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TemporaryNameOwner(c.name), c.owner) << c.name;
    }
    std::string first;
    std::string second;
    test::ScopedWorkDir dir;
    std::FILE* a = CreateTemporaryBeside("Tickora.ini", first);
    std::FILE* b = CreateTemporaryBeside("Tickora.ini", second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::fclose(a);
    std::fclose(b);
    EXPECT_NE(first, second);
    EXPECT_EQ(TemporaryNameOwner(first), static_cast<long>(getpid()));
}

TEST(TemporaryNames, OnlyLeftoversOfDeadProcessesAreRemoved) {
    test::ScopedWorkDir dir;
    const std::string dead = std::to_string(test::DeadProcessId());
    const std::string alive = std::to_string(static_cast<long>(getpid()));
    struct Case {
        std::string name;
        bool folder;
        bool removed;
    } cases[] = {
        {"DS080211.DAT.tmp" + dead + "-0", false, true},
        {"DS080211.DAT.bak.tmp" + dead + "-1", false, true},
        {"Tickora.ini.tmp" + dead + "-7", false, true},
        {"DS080211.DAT.tmp" + alive + "-0", false, false},  // a live writer's work
        {"KD1301.KDT.tmp1-0", false, false},                // pid 1 never ends
        {"odd.tmp" + dead + "-2", true, false},             // a folder is never a leftover
        {"DS080211.DAT.tmp" + dead + "-", false, false},
        {"DS080211.DAT", false, false},
        {"Tickora.ini.tmp", false, false},
    };
    for (const Case& c : cases) {
        if (c.folder) {
            fs::create_directory(c.name);
        } else {
            test::WriteFileBytes(c.name, "x");
        }
    }
    fs::create_directory("DATA");
    test::WriteFileBytes("DATA/KD1301.KDT.tmp" + dead + "-0", "x");  // another folder's

    EXPECT_EQ(RemoveStaleTemporaries("."), 3);
    for (const Case& c : cases) {
        EXPECT_EQ(fs::exists(c.name), !c.removed) << c.name;
    }
    EXPECT_TRUE(fs::exists("DATA/KD1301.KDT.tmp" + dead + "-0"));
    EXPECT_EQ(RemoveStaleTemporaries("DATA"), 1);
    EXPECT_EQ(RemoveStaleTemporaries("no-such-folder"), 0);
}

}  // namespace
}  // namespace tickora
