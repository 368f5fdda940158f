// SPDX-License-Identifier: GPL-3.0-or-later
// What a first command still asks for after each job's end: the list, then the fetch; the job the
// site could not answer again, with its dialog's answer; and nothing once the user turned away.
#include "app/job_chain.h"

#include <gtest/gtest.h>

#include <string>

#include "app/command_table.h"

namespace tickora::gui {
namespace {

JobOutcome Ended(const char* job, JobEnd end, int listed = 0) {
    JobOutcome outcome;
    outcome.job = job;
    outcome.end = end;
    outcome.stocksListed = listed;
    return outcome;
}

// Every page the job asked for failed before any site answered.
JobOutcome Unreachable(const char* job) {
    JobOutcome outcome = Ended(job, JobEnd::kStopped);
    outcome.Fail("listing page 1",
                 "Failed to connect to 127.0.0.1 port 8053 after 0 ms: Couldn't connect to server "
                 "(libcurl error 7)",
                 "http://127.0.0.1:8053/", "the list is as it was");
    return outcome;
}

TEST(JobChain, TheListThenTheFetchAndTheInterruptedJobAgainWithItsAnswer) {
    JobOptions kept;
    kept.keepHtml = true;
    struct Step {
        JobOutcome outcome;
        bool listLoaded;
    };
    struct Case {
        const char* name;
        bool fetchAfterList;
        std::vector<Step> steps;
        int next;         // the command given next, 0 for none
        int interrupted;  // the command given again once the site runs, 0 for none
        bool answerKept;  // the list job is given its dialog's answer
    };
    const Case cases[] = {
        {"a list that loaded is followed by the fetch",
         true,
         {{Ended("fetchlist", JobEnd::kCompleted, 120), true}},
         kIdFetch,
         0,
         false},
        {"the list job of its own menu item is not",
         false,
         {{Ended("fetchlist", JobEnd::kCompleted, 120), true}},
         0,
         0,
         false},
        {"a list the site could not give runs again with its answer, then the fetch",
         true,
         {{Unreachable("fetchlist"), false}},
         0,
         kIdMakeFetchList,
         true},
        {"... and after it ran, the fetch follows",
         true,
         {{Unreachable("fetchlist"), false}, {Ended("fetchlist", JobEnd::kCompleted, 120), true}},
         kIdFetch,
         0,
         false},
        {"a fetch the site could not answer runs again",
         false,
         {{Unreachable("fetch"), true}},
         0,
         kIdFetch,
         false},
        {"a cancelled list asks for nothing more",
         true,
         {{Ended("fetchlist", JobEnd::kCancelled), false}},
         0,
         0,
         false},
        {"a dismissed dialog asks for nothing more",
         true,
         {{Ended("fetchlist", JobEnd::kNotRun), false}},
         0,
         0,
         false},
        {"a list of no stock is no list to fetch",
         true,
         {{Ended("fetchlist", JobEnd::kCompleted, 0), false}},
         0,
         0,
         false},
        {"another job in between ends what was asked",
         true,
         {{Ended("kdt", JobEnd::kCompleted), true},
          {Ended("fetchlist", JobEnd::kCompleted, 9), true}},
         0,
         0,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CJobChain chain;
        if (c.fetchAfterList) {
            chain.FetchAfterList();
        }
        for (const Step& step : c.steps) {
            chain.JobEnded(step.outcome, kept, step.listLoaded);
        }
        const std::optional<ChainedJob> next = chain.TakeNext();
        EXPECT_EQ(next ? next->command : 0, c.next);
        EXPECT_FALSE(chain.TakeNext()) << "taken once";
        const std::optional<ChainedJob> again = chain.TakeInterrupted();
        EXPECT_EQ(again ? again->command : 0, c.interrupted);
        EXPECT_EQ(again && again->list && again->list->keepHtml, c.answerKept);
        EXPECT_FALSE(chain.TakeInterrupted()) << "taken once";
    }
}

TEST(JobChain, TurningAwayFromTheOfferForgetsWhatWasAsked) {
    CJobChain chain;
    chain.FetchAfterList();
    chain.JobEnded(Unreachable("fetchlist"), JobOptions{}, false);
    EXPECT_TRUE(chain.FetchPending());
    chain.Forget();
    EXPECT_FALSE(chain.FetchPending());
    EXPECT_FALSE(chain.TakeInterrupted());
    chain.JobEnded(Ended("fetchlist", JobEnd::kCompleted, 120), JobOptions{}, true);
    EXPECT_FALSE(chain.TakeNext());
}

}  // namespace
}  // namespace tickora::gui
