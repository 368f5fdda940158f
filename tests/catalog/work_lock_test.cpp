// SPDX-License-Identifier: GPL-3.0-or-later
// One job per working folder: the lock refuses a second holder, names the first, ends with its
// process, and can be waited for with a wait that the caller can end.
#include "catalog/work_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"

namespace tickora {
namespace {

using namespace std::chrono_literals;

class WorkLockTest : public ::testing::Test {
  protected:
    test::ScopedWorkDir dir;
    const std::string folder = std::filesystem::canonical(dir.Path()).string();
};

TEST_F(WorkLockTest, ASecondLockIsRefusedAndNamesTheHolder) {
    WorkLockResult first = TryLockWorkFolder(".");
    ASSERT_TRUE(first.Taken()) << first.Message();
    EXPECT_EQ(first.Message(), "");
    EXPECT_EQ(first.folder, folder);

    // Two locks of one process exclude each other as two processes do.
    const WorkLockResult second = TryLockWorkFolder(folder);
    EXPECT_EQ(second.status, WorkLockStatus::kBusy);
    EXPECT_FALSE(second.lock.Held());
    EXPECT_EQ(second.holderPid, static_cast<long>(getpid()));
    EXPECT_EQ(second.Message(),
              "another Tickora job (pid " + std::to_string(getpid()) + ") is using " + folder);

    first.lock.Release();
    EXPECT_TRUE(TryLockWorkFolder(".").Taken());
    // Only the folder named is locked.
    std::filesystem::create_directory("other");
    WorkLockResult here = TryLockWorkFolder(".");
    ASSERT_TRUE(here.Taken());
    EXPECT_TRUE(TryLockWorkFolder("other").Taken());

    const WorkLockResult missing = TryLockWorkFolder("no-such-folder");
    EXPECT_EQ(missing.status, WorkLockStatus::kError);
    EXPECT_NE(missing.Message().find("tickora.lock"), std::string::npos) << missing.Message();
}

TEST_F(WorkLockTest, TheLockEndsWithTheProcessThatHeldIt) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        WorkLockResult held = TryLockWorkFolder(".");
        const char byte = held.Taken() ? 'y' : 'n';
        (void)!write(ready[1], &byte, 1);
        pause();  // holds the lock until killed
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');

    const WorkLockResult refused = TryLockWorkFolder(".");
    EXPECT_EQ(refused.status, WorkLockStatus::kBusy);
    EXPECT_EQ(refused.holderPid, static_cast<long>(child));

    kill(child, SIGKILL);  // no chance to clean up: the kernel drops the lock
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(TryLockWorkFolder(".").Taken());
    close(ready[0]);
    close(ready[1]);
}

TEST_F(WorkLockTest, AWaitEndsWhenTheLockIsFreeOrTheCallerGivesUp) {
    struct Case {
        const char* name;
        std::chrono::milliseconds holdFor;  // how long the other holder keeps the lock
        int asksBeforeGivingUp;             // the caller's predicate says stop after this many
        WorkLockStatus expected;
    } cases[] = {
        {"free after a while", 150ms, 1000, WorkLockStatus::kTaken},
        {"caller gives up (Ctrl+C)", 10s, 3, WorkLockStatus::kBusy},
        {"free at once", 0ms, 0, WorkLockStatus::kTaken},
    };
    for (const Case& c : cases) {
        WorkLockResult other = TryLockWorkFolder(".");
        ASSERT_TRUE(other.Taken());
        test::Gate giveBack;
        std::thread holder([&] {
            (void)giveBack.WaitOpen(c.holdFor);
            other.lock.Release();
        });
        if (c.holdFor == 0ms) {
            holder.join();
        }
        int asked = 0;
        const WorkLockResult waited = WaitForWorkFolder(
            ".", [&] { return ++asked <= c.asksBeforeGivingUp; }, 10ms);
        EXPECT_EQ(waited.status, c.expected) << c.name;
        EXPECT_EQ(waited.lock.Held(), c.expected == WorkLockStatus::kTaken) << c.name;
        giveBack.Open();
        if (holder.joinable()) {
            holder.join();
        }
    }
}

}  // namespace
}  // namespace tickora
