// The MIDI host with a real interpreter, real scripts and a real instrument.
#include <string>
#include <vector>

#include "plugin/VmraInstanceTracker.h"
#include "tests/midi/MidiHostFixture.h"
#include "xfadelooper/ParamInfo.h"

namespace
{
class MidiHost : public MidiHostFixture
{
protected:
    // What the recorder script logged since the last call.
    std::string Log() { return Lua("local s = table.concat(log, ';'); log = {}; return s"); }
};

// Records every message kind a script can ask for into the global log.
const char kRecorder[] = R"(
log = {}
local function rec(kind) return function(...) log[#log + 1] = kind .. " " .. table.concat({...}, ",") end end
requestAllNoteOn(rec("allnoteon"))
requestAllNoteOff(rec("allnoteoff"))
requestNoteOn(60, rec("noteon60"))
requestNoteOff(60, rec("noteoff60"))
requestPitchWheel(rec("wheel"))
requestAllCC(rec("cc"))
requestCC(64, rec("cc64"))
requestAllNRPN(rec("nrpn"))
requestNRPN(130, rec("nrpn130"))
requestAllProgramChange(rec("pc"))
requestProgramChange(5, rec("pc5"))
requestAllPolyPressure(rec("poly"))
requestPolyPressure(61, rec("poly61"))
requestChannelPressure(rec("chan"))
)";


TEST_F(MidiHost, NotesAndPitchWheelGoToTheEngineOnly)
{
    UserScript("recorder.lua", kRecorder);
    Start();
    struct
    {
        std::vector<Msg> in;
        std::vector<std::string> engine;
    } cases[] = {
        {{{0x90, 60, 100}}, {"on 60"}},
        {{{0x90, 60, 0}}, {"off 60"}}, // velocity 0 is a note-off
        {{{0x80, 60, 64}}, {"off 60"}},
        {{{0x9F, 0xBC, 0xE4}}, {"on 60"}}, // data bytes are masked to 7 bits
        {{{0xE0, 0, 0x40}}, {}},
    };
    for (const auto& c : cases)
    {
        Send(c.in);
        EXPECT_EQ(EngineMessages(), c.engine);
        EXPECT_EQ(Log(), "");
    }
    Send({{0xE0, 0, 127}});
    EXPECT_GT(unit->Engine().PitchBend(), 0.0f);
}

TEST_F(MidiHost, SustainReachesTheEngineAndTheScripts)
{
    UserScript("recorder.lua", kRecorder);
    Start();
    Send({{0xB0, 64, 127}, {0xB1, 64, 0}, {0xB0, 123, 0}});
    EXPECT_EQ(EngineMessages(), (std::vector<std::string>{"sustain 1", "sustain 0", "alloff"}));
    EXPECT_EQ(Log(), "cc 1,64,127;cc64 1,64,127;cc 2,64,0;cc64 2,64,0;cc 1,123,0");
}

TEST_F(MidiHost, NrpnStateMachine)
{
    UserScript("recorder.lua", kRecorder);
    Start();
    // channel 2 on the wire is channel 3 for scripts
    Send({{0xB2, 99, 1}, {0xB2, 98, 2}, {0xB2, 6, 3}});
    EXPECT_EQ(Log(), "cc 3,99,1;cc 3,98,2;nrpn 3,130,384;nrpn130 3,130,384;cc 3,6,3");
    // Data LSB completes the value; the state is kept between messages.
    Send({{0xB0, 38, 5}});
    EXPECT_EQ(Log(), "nrpn 1,130,389;nrpn130 1,130,389;cc 1,38,5");
    // The parameter number persists across channels and blocks.
    Send({{0xB5, 98, 0}, {0xB5, 6, 1}});
    EXPECT_EQ(Log(), "cc 6,98,0;nrpn 6,128,133;cc 6,6,1");
    EXPECT_TRUE(EngineMessages().empty());
}

TEST_F(MidiHost, ProgramChangeAndPressureReachOnlyTheScripts)
{
    UserScript("recorder.lua", kRecorder);
    Start();
    struct
    {
        Msg in;
        const char* log;
    } cases[] = {
        {{0xC0, 5, 0}, "pc 1,5;pc5 1,5"},
        {{0xC3, 6, 99}, "pc 4,6"},
        {{0xA1, 61, 70}, "poly 2,61,70;poly61 2,61,70"},
        {{0xA1, 62, 70}, "poly 2,62,70"},
        {{0xDF, 33, 0}, "chan 16,33"},
    };
    for (const auto& c : cases)
    {
        Send({c.in});
        EXPECT_EQ(Log(), c.log) << int(c.in.status);
    }
    EXPECT_TRUE(EngineMessages().empty());
}

TEST_F(MidiHost, BlocksWithoutUsableMidiAreSkipped)
{
    UserScript("recorder.lua", kRecorder);
    Start();
    EventBlock block({{0x3C, 64, 0}, {0xF8, 0, 0}, {0xF0, 0x7E, 0x7F}});
    block.AddOther(kVstSysExType);
    block.AddOther(99);
    EXPECT_EQ(host->HandleVstEvents(block.Events()), 1);
    EventBlock empty({});
    EXPECT_EQ(host->HandleVstEvents(empty.Events()), 1);
    EXPECT_EQ(host->HandleVstEvents(nullptr), 1);
    EXPECT_TRUE(EngineMessages().empty());
    EXPECT_EQ(Log(), "");
}

TEST_F(MidiHost, EventsBeforeLuaInitStillReachTheEngine)
{
    OrvoLuaMIDIHelper early(unit.get(), unit->Engine());
    EventBlock block({{0x90, 62, 10}, {0xB0, 64, 100}, {0xB0, 1, 100}});
    EXPECT_EQ(early.HandleVstEvents(block.Events()), 1);
    EXPECT_EQ(EngineMessages(), (std::vector<std::string>{"on 62", "sustain 1"}));
}

TEST_F(MidiHost, ScriptFunctionsCheckTheirArguments)
{
    Start();
    struct
    {
        const char* call;
        const char* error; // empty: no error
    } cases[] = {
        {"getParameter(88)", "parameter out of range: 88"},
        {"getParameter(-1)", "parameter out of range: -1"},
        {"getParameterMinMax(88)", "parameter out of range: 88"},
        {"getParameterUnit(-3)", "parameter out of range: -3"},
        {"getParameterName(100)", "parameter out of range: 100"},
        {"isParameterUsed(88)", "parameter out of range: 88"},
        {"setParameter(88, 1)", "parameter out of range: 88"},
        {"setOthersParameter(0, 88, 1)", "parameter out of range: 88"},
        {"getOthersParameter(0, -1)", "parameter out of range: -1"},
        {"getParameter('No Such Thing')", "parameter not found: 'No Such Thing'"},
        {"getParameterID('volume')", "parameter not found: 'volume'"},
        {"getParameter(nil)", "bad argument #1 to 'getParameter'"},
        {"setParameter(1, 'x')", "bad argument #2 to 'setParameter'"},
        {"setGUIBoolValue(8, true)", "indicator id out of range: 8"},
        {"getGUIBoolValue(-1)", "indicator id out of range: -1"},
        {"setOthersGUIBoolValue(0, 8, true)", "indicator id out of range: 8"},
        {"getOthersGUIBoolValue(0, 9)", "indicator id out of range: 9"},
        {"requestAllNoteOn(1)", "first argument to requestAllNoteOn() is not a function"},
        {"requestAllNoteOff()", "first argument to requestAllNoteOff() is not a function"},
        {"requestAllCC('f')", "first argument to requestAllCC() is not a function"},
        {"requestAllNRPN({})", "first argument to requestAllNRPN() is not a function"},
        {"requestAllProgramChange(nil)", "first argument to requestAllProgramChange() is not a function"},
        {"requestAllPolyPressure(true)", "first argument to requestAllPolyPressure() is not a function"},
        {"requestPitchWheel(2)", "first argument to requestPitchWheel() is not a function"},
        {"requestChannelPressure(2)", "first argument to requestChannelPressure() is not a function"},
        {"requestNoteOn(60)", "second argument to requestNoteOn() is not a function"},
        {"requestNoteOff(60, 1)", "second argument to requestNoteOff() is not a function"},
        {"requestCC(1, 'f')", "second argument to requestCC() is not a function"},
        {"requestNRPN(1, {})", "second argument to requestNRPN() is not a function"},
        {"requestProgramChange(1)", "second argument to requestProgramChange() is not a function"},
        {"requestPolyPressure(1)", "second argument to requestPolyPressure() is not a function"},
        {"requestCC(print, print)", "bad argument #1 to 'requestCC'"},
        {"requestTimedCallback(1, 2)", "second argument to requestTimerCallback() is not a function"},
        {"requestPeriodicCallback(1)", "second argument to requestTimerCallback() is not a function"},
        {"requestTimedCallback('soon', print)", "bad argument #1 to 'requestTimedCallback'"},
        {"cancelTimer({})", "VL::LuaMIDIHelper::Timer expected"},
        {"sendOSC('/x', 1)", "OSC is not available"},
        {"getParameter(87)", ""},
        {"getParameter('OSC Port Offset')", ""},
        {"setGUIBoolValue(7, false)", ""},
        {"registerOSCPathForParameter('/v', 0)", ""},
    };
    for (const auto& c : cases)
    {
        std::string result = Lua(std::string("local ok, e = pcall(function() return ") + c.call +
                                 " end); if ok then return 'ok' end; return e");
        if (*c.error)
            EXPECT_NE(result.find(c.error), std::string::npos) << c.call << " gave " << result;
        else
            EXPECT_EQ(result, "ok") << c.call;
    }
    EXPECT_EQ(host->NumTimers(), 0u);
}

TEST_F(MidiHost, ParametersByIndexAndName)
{
    Start();
    EXPECT_EQ(Lua("setParameter('Volume', 1.5); return getParameter(0)"), "1.5");
    EXPECT_FLOAT_EQ(unit->CurrentProgram()->GetParameter(kParam_Volume), 1.5f);
    EXPECT_EQ(Lua("setParameter(15, 2000); return getParameter('Filter Cutoff')"), "2000");
    EXPECT_EQ(Lua("return getParameterID('OSC Port Offset')"), "87");
    EXPECT_EQ(Lua("return getParameterName(15)"), "Filter Cutoff");
    EXPECT_EQ(Lua("local lo, hi = getParameterMinMax('Filter Cutoff'); return lo .. '-' .. hi"), "50-12000");
    EXPECT_EQ(Lua("return getParameterUnit(15)"), std::to_string(int(kAudioUnitParameterUnit_Hertz)));
    EXPECT_EQ(Lua("return getNumParameters()"), "88");
    EXPECT_EQ(Lua("return tostring(isParameterUsed(13)) .. tostring(isParameterUsed(14))"), "falsetrue");
    EXPECT_EQ(Lua("return table.concat({tostring(isMac), tostring(isWin), tostring(isVST), tostring(isAU),"
                  " majorVersion, minorVersion, dotVersion, version}, ' ')"),
              "true false true false 3 1 4 30104");
}

TEST_F(MidiHost, IndicatorFlagsLiveInTheEngineRecord)
{
    Start();
    Lua("setGUIBoolValue(2, true); setGUIBoolValue(3, 1); setGUIBoolValue(4, 0)");
    EXPECT_TRUE(Flag(*unit, 2));
    EXPECT_TRUE(Flag(*unit, 3));
    EXPECT_FALSE(Flag(*unit, 4));
    EXPECT_EQ(Lua("return tostring(getGUIBoolValue(2)) .. tostring(getGUIBoolValue(5))"), "truefalse");
    Lua("setGUIBoolValue(2, false)");
    EXPECT_FALSE(Flag(*unit, 2));
}

TEST_F(MidiHost, OtherInstancesAreFoundByTheirOscPortOffset)
{
    auto other = std::make_unique<VmraXFadeLooperSynth>(midiTestHost);
    unit->CurrentProgram()->SetParameter(kParam_OSCPortOffset, 41);
    other->CurrentProgram()->SetParameter(kParam_OSCPortOffset, 42);
    Start();

    // No instance has offset 43.
    EXPECT_EQ(Lua("return getOthersParameter(43, 'Volume')"), "0");
    EXPECT_EQ(Lua("return getOthersGUIBoolValue(43, 1)"), "false");
    Lua("setOthersParameter(43, 0, 0.5); setOthersGUIBoolValue(43, 1, true)");
    EXPECT_FLOAT_EQ(other->CurrentProgram()->GetParameter(kParam_Volume), 1.0f);

    Lua("setOthersParameter(42, 'Volume', 0.25); setOthersGUIBoolValue(42, 3, true)");
    EXPECT_FLOAT_EQ(other->CurrentProgram()->GetParameter(kParam_Volume), 0.25f);
    EXPECT_FLOAT_EQ(unit->CurrentProgram()->GetParameter(kParam_Volume), 1.0f);
    EXPECT_TRUE(Flag(*other, 3));
    EXPECT_FALSE(Flag(*unit, 3));
    EXPECT_EQ(Lua("return getOthersParameter(42, 0)"), "0.25");
    EXPECT_EQ(Lua("return getOthersGUIBoolValue(42, 3)"), "true");
    // The instance itself is found by its own offset too.
    EXPECT_EQ(Lua("return getOthersParameter(41, 'Volume')"), "1");
}

// ---- loading ----------------------------------------------------------------------------

TEST_F(MidiHost, UserMidiLuaReplacesTheBuiltInScript)
{
    // The built-in script maps the modulation wheel to the filter cutoff.
    struct
    {
        const char* userName;
        const char* localName;
        bool builtInRuns;
    } cases[] = {
        {nullptr, nullptr, true},
        {"midi.lua", nullptr, false},
        {"midi.lua.bak", nullptr, true}, // not a script at all
        {"midi.lua2.lua", nullptr, false},
        {"Midi.lua", nullptr, true},
        {nullptr, "midi.lua", false}, // machine-wide scripts count too
    };
    for (const auto& c : cases)
    {
        std::filesystem::remove_all(userData.Path() + "/Velmora");
        std::filesystem::remove_all(localData.Path() + "/Velmora");
        if (c.userName)
            UserScript(c.userName, "userScriptRan = true\n");
        if (c.localName)
            LocalScript(c.localName, "userScriptRan = true\n");
        host.reset();
        unit->CurrentProgram()->SetParameter(kParam_FilterCutoff, 1000);
        Start();
        EXPECT_EQ(initOutput, "");
        Send({{0xB0, 1, 127}});
        float cutoff = unit->CurrentProgram()->GetParameter(kParam_FilterCutoff);
        std::string label = c.userName ? c.userName : c.localName ? c.localName : "none";
        if (c.builtInRuns)
            EXPECT_NEAR(cutoff, 12000.0f, 1.0f) << label;
        else
            EXPECT_FLOAT_EQ(cutoff, 1000.0f) << label;
        EXPECT_EQ(Lua("return userScriptRan == true"), (c.userName && std::string(c.userName) != "midi.lua.bak") ||
                                                              c.localName
                                                          ? "true"
                                                          : "false")
            << label;
    }
}

TEST_F(MidiHost, FailingScriptsAreReportedAndTheOthersStillLoad)
{
    UserScript("syntax.lua", "this is not lua (\n");
    UserScript("raises.lua", "partial = 1\nerror('load-time failure')\nafter = 1\n");
    UserScript("types.lua", "requestCC('one', 'two')\n");
    UserScript("good.lua", "good = 'yes'\n");
    LocalScript("runaway-free.lua", "machineWide = getNumParameters()\n");
    Start();
    EXPECT_NE(initOutput.find("@@@ failed to run file: " + userData.Path()), std::string::npos) << initOutput;
    EXPECT_NE(initOutput.find("syntax.lua"), std::string::npos) << initOutput;
    EXPECT_NE(initOutput.find("load-time failure"), std::string::npos) << initOutput;
    EXPECT_NE(initOutput.find("bad argument #1 to 'requestCC'"), std::string::npos) << initOutput;
    // One "@@@ " line per failing script.
    size_t reports = 0;
    for (size_t at = initOutput.find("@@@ "); at != std::string::npos; at = initOutput.find("@@@ ", at + 1))
        ++reports;
    EXPECT_EQ(reports, 3u);
    // An error ends its own script only; globals are shared by all scripts.
    EXPECT_EQ(Lua("return table.concat({tostring(good), tostring(partial), tostring(after), machineWide}, ' ')"),
              "yes 1 nil 88");
}

TEST_F(MidiHost, PrintJoinsWithTabsAndChecksTostring)
{
    Start();
    testing::internal::CaptureStdout();
    EXPECT_EQ(Lua("print(1, 'a', nil, true); print(); return 'ok'"), "ok");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "1\ta\tnil\ttrue\n\n");
    std::string result = Lua("local bad = setmetatable({}, {__tostring = function() return {} end})\n"
                             "local ok, e = pcall(print, bad); return e");
    EXPECT_NE(result.find("'tostring' must return a string to 'print'"), std::string::npos) << result;
}

// ---- callbacks ------------------------------------------------------------------------------

TEST_F(MidiHost, FailingCallbacksKeepBeingCalledWithoutDisturbingOthers)
{
    UserScript("callbacks.lua", R"(
calls, after = 0, 0
requestCC(7, function() calls = calls + 1; error('boom ' .. calls) end)
requestCC(7, function() setParameter(nil, 1) end)
requestCC(7, function(channel, controller, value) after = after + value end)
)");
    Start();
    for (int i = 1; i <= 3; ++i)
    {
        std::string out = Send({{0xB0, 7, static_cast<unsigned char>(i)}});
        EXPECT_NE(out.find("@@@ "), std::string::npos);
        EXPECT_NE(out.find("boom " + std::to_string(i)), std::string::npos) << out;
        EXPECT_NE(out.find("bad argument #1 to 'setParameter'"), std::string::npos) << out;
    }
    EXPECT_EQ(Lua("return calls .. ' ' .. after"), "3 6");
}

TEST_F(MidiHost, CallbacksRegisteredDuringDispatchWaitForTheNextMessage)
{
    UserScript("grow.lua", R"(
count = 0
requestAllCC(function() count = count + 1; requestAllCC(function() count = count + 100 end) end)
)");
    Start();
    Send({{0xB0, 20, 1}});
    EXPECT_EQ(Lua("return count"), "1");
    Send({{0xB0, 20, 1}});
    EXPECT_EQ(Lua("return count"), "102");
}

TEST_F(MidiHost, ARunawayCallbackIsStoppedAndTheNextMessageIsHandled)
{
    UserScript("runaway.lua", R"(
handled = 0
requestCC(20, function() while true do pcall(function() while true do end end) end end)
requestCC(21, function() handled = handled + 1 end)
)");
    Start();
    std::string out = Send({{0xB0, 20, 1}, {0xB0, 21, 1}, {0x90, 64, 90}});
    EXPECT_NE(out.find("@@@ "), std::string::npos);
    EXPECT_NE(out.find("ran too long"), std::string::npos) << out;
    EXPECT_EQ(Lua("return handled"), "1");
    EXPECT_EQ(EngineMessages(), (std::vector<std::string>{"on 64"}));
}
} // namespace
