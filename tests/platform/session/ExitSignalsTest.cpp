// The session's end from outside: signals become one call on the UI thread, only the first one counts,
// a second SIGTERM or SIGINT ends the program at once, and the default handlers come back afterwards.
#include "platform/session/ExitSignals.h"

#include "WidgetTestApp.h"

#include <csignal>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Long enough for anything queued to arrive.
void Settle()
{
    WaitUntil([] { return false; }, 200);
}

void* Handler(int signal)
{
    struct sigaction action = {};
    sigaction(signal, nullptr, &action);
    return reinterpret_cast<void*>(action.sa_handler);
}

TEST(ExitSignals, EachSignalRunsTheExitPathOnceOnTheLoop)
{
    WidgetTestApp();
    // 0: the session manager's end, which takes the same path at once.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, 0}) {
        int calls = 0;
        {
            CExitSignals exits([&] { ++calls; });
            ASSERT_TRUE(exits.IsInstalled());
            if (signal) {
                std::raise(signal);
                // Nothing happens inside the handler: the call waits for the loop.
                EXPECT_EQ(calls, 0);
            } else {
                exits.Trigger();
            }
            EXPECT_TRUE(WaitUntil([&] { return calls > 0; })) << signal;
            EXPECT_EQ(exits.Signal(), signal);
            // A hang-up, or the session manager's end, during the exit path changes nothing.
            std::raise(SIGHUP);
            exits.Trigger();
            Settle();
            EXPECT_EQ(calls, 1) << signal;
            EXPECT_TRUE(exits.HasFired());
        }
        if (signal) {
            EXPECT_EQ(Handler(signal), reinterpret_cast<void*>(SIG_DFL))
                << "default handler back for " << signal;
        }
    }
}

TEST(ExitSignals, SignalsBeforeTheLoopRunsAreOneRequest)
{
    WidgetTestApp();
    int calls = 0;
    CExitSignals exits([&] { ++calls; });
    for (int n = 0; n < 100; ++n)
        std::raise(SIGHUP);
    EXPECT_TRUE(WaitUntil([&] { return calls > 0; }));
    Settle();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(exits.Signal(), SIGHUP);
}

TEST(ExitSignals, ASecondTermOrInterruptEndsAtOnce)
{
    WidgetTestApp();
    constexpr int kTrigger = 0; // the session manager's end instead of a signal
    const struct
    {
        std::vector<int> requests;
        int killedBy; // 0: still running after them all
    } cases[] = {
        {{SIGTERM}, 0},
        {{SIGINT}, 0},
        {{SIGHUP, SIGHUP}, 0},
        {{SIGTERM, SIGHUP}, 0},
        {{SIGTERM, SIGTERM}, SIGTERM},
        {{SIGINT, SIGINT}, SIGINT},
        {{SIGINT, SIGTERM}, SIGTERM},
        {{SIGHUP, SIGINT}, SIGINT},
        {{kTrigger, SIGTERM}, SIGTERM},
    };
    for (const auto& c : cases) {
        CExitSignals exits([] {});
        ASSERT_TRUE(exits.IsInstalled());
        // The loop never turns in the child: the first request is never served, as in a hung program.
        const pid_t child = fork();
        if (child == 0) {
            for (const int request : c.requests) {
                if (request == kTrigger)
                    exits.Trigger();
                else
                    std::raise(request);
            }
            _exit(0);
        }
        ASSERT_GT(child, 0);
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (c.killedBy) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.killedBy) << c.requests[0] << " " << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.requests[0] << " " << status;
        }
    }
}

TEST(ExitSignals, OnlyOneObjectHoldsTheSignals)
{
    WidgetTestApp();
    CExitSignals first([] {});
    CExitSignals second([] {});
    EXPECT_TRUE(first.IsInstalled());
    EXPECT_FALSE(second.IsInstalled());
}

} // namespace
