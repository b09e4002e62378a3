// Script timers on the host's timer thread. Waits are bounded generously and
// assert only on order and counts, never on elapsed time.
#include <atomic>
#include <string>
#include <thread>

#include "tests/midi/MidiHostFixture.h"

namespace
{
using LuaTimers = MidiHostFixture;

TEST_F(LuaTimers, OneShotTimerFiresOnceAndLeavesTheMap)
{
    Start();
    Lua("fired = 0\n"
        "requestTimedCallback(0.02, function() fired = fired + 1; setGUIBoolValue(0, true) end)");
    EXPECT_EQ(host->NumTimers(), 1u);
    ASSERT_TRUE(WaitForFlag(0));
    // A later timer fires after the one-shot would have fired again.
    Lua("requestTimedCallback(0.1, function() setGUIBoolValue(1, true) end)");
    ASSERT_TRUE(WaitForFlag(1));
    EXPECT_EQ(Lua("return fired"), "1");
    EXPECT_EQ(host->NumTimers(), 0u);
    // Cancelling a timer that has fired does nothing.
    EXPECT_EQ(Lua("local t = requestTimedCallback(0, function() end); cancelTimer(t); cancelTimer(t); return 'ok'"),
              "ok");
}

TEST_F(LuaTimers, PeriodicTimerRepeatsUntilCancelled)
{
    Start();
    Lua("ticks = 0\n"
        "ticker = requestPeriodicCallback(0.01, function()\n"
        "  ticks = ticks + 1\n"
        "  if ticks == 3 then setGUIBoolValue(0, true) end\n"
        "end)");
    ASSERT_TRUE(WaitForFlag(0));
    std::string atCancel = Lua("cancelTimer(ticker); return ticks");
    EXPECT_GE(std::stoi(atCancel), 3);
    EXPECT_EQ(host->NumTimers(), 0u);
    // The sentinel is due well after the ticker's next due times: had the
    // ticker survived, it would have run first.
    Lua("requestTimedCallback(0.1, function() setGUIBoolValue(1, true) end)");
    ASSERT_TRUE(WaitForFlag(1));
    EXPECT_EQ(Lua("return ticks"), atCancel);
}

TEST_F(LuaTimers, APeriodicTimerCanCancelItself)
{
    UserScript("self-cancel.lua", R"(
n = 0
t = requestPeriodicCallback(0.005, function()
  n = n + 1
  if n == 3 then cancelTimer(t); requestTimedCallback(0.1, function() setGUIBoolValue(0, true) end) end
end)
)");
    Start();
    ASSERT_TRUE(WaitForFlag(0));
    EXPECT_EQ(Lua("return n"), "3");
    EXPECT_EQ(host->NumTimers(), 0u);
}

TEST_F(LuaTimers, FunctionsOfEndedTimersAreReleased)
{
    Start();
    Lua("alive = setmetatable({}, {__mode = 'k'})\n"
        "local once = function() setGUIBoolValue(0, true) end\n"
        "local periodic = function() end\n"
        "alive[once] = true; alive[periodic] = true\n"
        "requestTimedCallback(0.01, once)\n"
        "p = requestPeriodicCallback(0.01, periodic)");
    ASSERT_TRUE(WaitForFlag(0));
    Lua("cancelTimer(p)");
    EXPECT_EQ(Lua("collectgarbage(); collectgarbage(); return next(alive) == nil"), "true");
}

TEST_F(LuaTimers, AFailingTimerKeepsRunning)
{
    Start();
    Lua("fails = 0\n"
        "requestPeriodicCallback(0.005, function()\n"
        "  fails = fails + 1\n"
        "  if fails == 3 then setGUIBoolValue(0, true) end\n"
        "  error('timer failure')\n"
        "end)");
    testing::internal::CaptureStdout();
    bool flagged = WaitForFlag(0);
    host->LuaShutdown();
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(flagged);
    EXPECT_NE(out.find("@@@ "), std::string::npos);
    EXPECT_NE(out.find("timer failure"), std::string::npos);
}

TEST_F(LuaTimers, TimersAndMidiFromTheAudioThreadShareTheInterpreter)
{
    UserScript("shared.lua", R"(
total, fromTimer = 0, 0
requestAllCC(function(c, n, v) total = total + v end)
requestPeriodicCallback(0.001, function() fromTimer = fromTimer + 1; total = total + 1000000 end)
)");
    Start();
    std::thread audio([this] {
        EventBlock block({{0xB0, 20, 1}, {0xB0, 21, 2}});
        for (int i = 0; i < 200; ++i)
            host->HandleVstEvents(block.Events());
    });
    audio.join();
    std::string result = Lua("return total - fromTimer * 1000000");
    EXPECT_EQ(result, "600");
}

TEST_F(LuaTimers, DestructionStopsPendingAndRunawayTimers)
{
    Start();
    Lua("for i = 1, 20 do requestPeriodicCallback(0.001 * i, function() end) end\n"
        "requestTimedCallback(1000, function() end)\n"
        "requestTimedCallback(0, function() setGUIBoolValue(0, true); while true do end end)");
    ASSERT_TRUE(WaitForFlag(0)); // the runaway timer is inside its loop now
    EXPECT_EQ(host->NumTimers(), 21u); // the running one-shot has left the map
    testing::internal::CaptureStdout();
    host.reset(); // returns: the running script is stopped, the others never run
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("@@@ "), std::string::npos);
}

TEST_F(LuaTimers, TimerRequestedWhileLoadingRunsAfterLoading)
{
    UserScript("at-load.lua", "loaded = false\n"
                              "requestTimedCallback(0, function() if loaded then setGUIBoolValue(0, true) end end)\n"
                              "loaded = true\n");
    Start();
    ASSERT_TRUE(WaitForFlag(0));
}
} // namespace
