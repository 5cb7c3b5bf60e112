// The session's end from outside: signals become one call on the UI thread, only the first one counts,
// and the default handlers come back afterwards.
#include "platform/session/ExitSignals.h"

#include "WidgetTestApp.h"

#include <csignal>

#include <gtest/gtest.h>

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
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        int calls = 0;
        {
            CExitSignals exits([&] { ++calls; });
            ASSERT_TRUE(exits.IsInstalled());
            std::raise(signal);
            // Nothing happens inside the handler: the call waits for the loop.
            EXPECT_EQ(calls, 0);
            EXPECT_TRUE(WaitUntil([&] { return calls > 0; })) << signal;
            EXPECT_EQ(exits.Signal(), signal);
            // A second signal, or the session manager's end, during the exit path changes nothing.
            std::raise(SIGTERM);
            exits.Trigger();
            Settle();
            EXPECT_EQ(calls, 1) << signal;
            EXPECT_TRUE(exits.HasFired());
        }
        EXPECT_EQ(Handler(signal), reinterpret_cast<void*>(SIG_DFL)) << "default handler back for " << signal;
    }
}

TEST(ExitSignals, SessionManagersEndTakesTheSamePath)
{
    WidgetTestApp();
    int calls = 0;
    CExitSignals exits([&] { ++calls; });
    exits.Trigger();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(exits.Signal(), 0);
    std::raise(SIGHUP);
    Settle();
    EXPECT_EQ(calls, 1);
}

TEST(ExitSignals, SignalsBeforeTheLoopRunsAreOneRequest)
{
    WidgetTestApp();
    int calls = 0;
    CExitSignals exits([&] { ++calls; });
    for (int n = 0; n < 100; ++n)
        std::raise(SIGINT);
    EXPECT_TRUE(WaitUntil([&] { return calls > 0; }));
    Settle();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(exits.Signal(), SIGINT);
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
