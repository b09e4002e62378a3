#include "midi/LuaMIDIHelper.h"

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

extern "C" {
#include <lauxlib.h>
#include <lualib.h>
}

#include "editor/ScriptDiscovery.h"
#include "osc/OSCHelper.h"
#include "platform/Resources.h"
#include "plugin/VmraAuBase.h"
#include "plugin/VmraInstanceTracker.h"
#include "xfadelooper/ParamInfo.h"

namespace
{
// Registry keys: the addresses of these tags.
const char kRefconTag[] = "VL::LuaMIDIHelper::kRefcon";
const char kParamLookupTag[] = "VL::LuaMIDIHelper::kParamLookup";
const char kTimerMetatable[] = "VL::LuaMIDIHelper::Timer";

const char kBuiltInScript[] = "midi.lua";
const size_t kBuiltInPrefixLength = 8; // "midi.lua"
const size_t kMaxParamNameLookup = 99;
const size_t kMaxParamNameResult = 63;
const int kHookInstructionCount = 1000;

typedef std::map<std::string, int, std::less<>> ParamLookup;

const char* const kRequestAllNames[] = {
    "first argument to requestAllNoteOn() is not a function",
    "first argument to requestAllNoteOff() is not a function",
    "first argument to requestAllCC() is not a function",
    "first argument to requestAllNRPN() is not a function",
    "first argument to requestAllProgramChange() is not a function",
    "first argument to requestAllPolyPressure() is not a function",
};
const char* const kRequestKeyedNames[] = {
    "second argument to requestNoteOn() is not a function",
    "second argument to requestNoteOff() is not a function",
    "second argument to requestCC() is not a function",
    "second argument to requestNRPN() is not a function",
    "second argument to requestProgramChange() is not a function",
    "second argument to requestPolyPressure() is not a function",
};

uint64_t secondsToNs(double seconds)
{
    if (!(seconds > 0)) // negative and NaN: at once
        return 0;
    if (seconds > 1e6)
        seconds = 1e6;
    return static_cast<uint64_t>(seconds * 1e9);
}

// The registry value under the address of tag, as light userdata.
void* registryPointer(lua_State* L, const char* tag)
{
    lua_pushlightuserdata(L, const_cast<char*>(tag));
    lua_rawget(L, LUA_REGISTRYINDEX);
    void* p = lua_touserdata(L, -1);
    lua_pop(L, 1);
    return p;
}

void setRegistryPointer(lua_State* L, const char* tag, void* value)
{
    lua_pushlightuserdata(L, const_cast<char*>(tag));
    lua_pushlightuserdata(L, value);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

// The file name part of a path.
const char* baseName(const std::string& path)
{
    size_t slash = path.rfind('/');
    return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

int checkIndicator(lua_State* L, int arg)
{
    lua_Integer id = luaL_checkinteger(L, arg);
    if (id < 0 || id > 7)
        luaL_error(L, "indicator id out of range: %d", static_cast<int>(id));
    return static_cast<int>(id);
}

// A flag argument: a boolean, or a number that is non-zero.
int checkFlag(lua_State* L, int arg)
{
    if (lua_type(L, arg) == LUA_TNUMBER)
        return lua_tonumber(L, arg) != 0;
    return lua_toboolean(L, arg);
}
} // namespace

namespace VL
{
LuaMIDIHelper::LuaMIDIHelper(VmraAuBase* plugIn, OSCHelper* osc) : m_plugIn(plugIn), m_osc(osc)
{
    MPCreateCriticalRegion(&m_luaLock);
}

LuaMIDIHelper::~LuaMIDIHelper()
{
    LuaShutdown();
    MPDeleteCriticalRegion(m_luaLock);
}

// ---- interpreter ---------------------------------------------------------------------

lua_State* LuaMIDIHelper::LuaInit()
{
    LuaLock lock(*this);
    if (m_L || m_abort.load())
        return m_L;
    lua_State* L = luaL_newstate();
    if (!L)
    {
        LuaError(nullptr, "could not create the MIDI script interpreter\n");
        return nullptr;
    }
    luaL_openlibs(L);

    static const luaL_Reg functions[] = {
        {"setParameter", l_setParameter},
        {"getParameter", l_getParameter},
        {"getParameterID", l_getParameterID},
        {"getParameterMinMax", l_getParameterMinMax},
        {"getParameterUnit", l_getParameterUnit},
        {"getParameterName", l_getParameterName},
        {"isParameterUsed", l_isParameterUsed},
        {"getNumParameters", l_getNumParameters},
        {"sendOSC", l_sendOSC},
        {"setOthersParameter", l_setOthersParameter},
        {"getOthersParameter", l_getOthersParameter},
        {"requestAllNoteOn", l_requestAll<kNoteOnKind>},
        {"requestAllNoteOff", l_requestAll<kNoteOffKind>},
        {"requestAllCC", l_requestAll<kCCKind>},
        {"requestAllNRPN", l_requestAll<kNRPNKind>},
        {"requestAllProgramChange", l_requestAll<kProgramChangeKind>},
        {"requestAllPolyPressure", l_requestAll<kPolyPressureKind>},
        {"requestNoteOn", l_requestKeyed<kNoteOnKind>},
        {"requestNoteOff", l_requestKeyed<kNoteOffKind>},
        {"requestCC", l_requestKeyed<kCCKind>},
        {"requestNRPN", l_requestKeyed<kNRPNKind>},
        {"requestPitchWheel", l_requestPitchWheel},
        {"requestChannelPressure", l_requestChannelPressure},
        {"requestProgramChange", l_requestKeyed<kProgramChangeKind>},
        {"requestPolyPressure", l_requestKeyed<kPolyPressureKind>},
        {"time", l_time},
        {"requestTimedCallback", l_requestTimedCallback},
        {"requestPeriodicCallback", l_requestPeriodicCallback},
        {"cancelTimer", l_cancelTimer},
        {"setGUIBoolValue", l_setGUIBoolValue},
        {"getGUIBoolValue", l_getGUIBoolValue},
        {"setOthersGUIBoolValue", l_setOthersGUIBoolValue},
        {"getOthersGUIBoolValue", l_getOthersGUIBoolValue},
        {"registerOSCPathForParameter", l_registerOSCPathForParameter},
        {"registerOSCPathForParameterNormalized", l_registerOSCPathForParameterNormalized},
    };
    for (const luaL_Reg& f : functions)
        lua_register(L, f.name, f.func);
    lua_register(L, "print", l_print);

    luaL_newmetatable(L, kTimerMetatable);
    lua_pop(L, 1);
    setRegistryPointer(L, kRefconTag, this);
    m_paramLookup = new (std::nothrow) ParamLookup();
    if (m_paramLookup)
    {
        ParamLookup* lookup = m_paramLookup;
        for (int i = 0; i < kNumParams; ++i)
        {
            std::string name(astParamInfos[i].name ? astParamInfos[i].name : "");
            if (name.size() > kMaxParamNameLookup)
                name.resize(kMaxParamNameLookup);
            lookup->emplace(name, i); // the first of two equal names wins
        }
    }
    setRegistryPointer(L, kParamLookupTag, m_paramLookup);

    static const struct
    {
        const char* name;
        bool value;
    } flags[] = {{"isMac", true}, {"isWin", false}, {"isVST", true}, {"isAU", false}};
    for (const auto& f : flags)
    {
        lua_pushboolean(L, f.value);
        lua_setglobal(L, f.name);
    }
    static const struct
    {
        const char* name;
        int value;
    } numbers[] = {{"majorVersion", 3}, {"minorVersion", 1}, {"dotVersion", 4}, {"version", 30104}};
    for (const auto& n : numbers)
    {
        lua_pushinteger(L, n.value);
        lua_setglobal(L, n.name);
    }

    lua_sethook(L, CountHook, LUA_MASKCOUNT, kHookInstructionCount);
    m_L = L;
    RunScripts();
    return m_L;
}

void LuaMIDIHelper::RunScripts()
{
    lua_State* L = m_L;
    std::vector<std::string> scripts;
    GetScripts(scripts);

    bool replaced = false;
    for (const std::string& path : scripts)
        if (strncmp(baseName(path), kBuiltInScript, kBuiltInPrefixLength) == 0)
            replaced = true;

    if (!replaced)
    {
        std::string source;
        if (LoadResource(kBuiltInScript, source))
        {
            if (luaL_loadbuffer(L, source.data(), source.size(), kBuiltInScript) != 0 ||
                GuardedCall(0, kLoadBudgetNs) != 0)
            {
                LuaError(L, "failed to run buffer: %s\n", lua_isstring(L, -1) ? lua_tostring(L, -1) : "?");
                lua_pop(L, 1);
            }
        }
    }

    for (const std::string& path : scripts)
    {
        if (luaL_loadfile(L, path.c_str()) != 0 || GuardedCall(0, kLoadBudgetNs) != 0)
        {
            LuaError(L, "failed to run file: %s\n", lua_isstring(L, -1) ? lua_tostring(L, -1) : path.c_str());
            lua_pop(L, 1);
        }
    }
    lua_settop(L, 0);
}

void LuaMIDIHelper::StopTimers()
{
    m_abort.store(true);
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_timerLock);
        m_timersStopping = true;
        thread.swap(m_timerThread);
    }
    m_timerWake.notify_all();
    if (thread.joinable())
    {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach(); // cannot happen from script code; never wait for oneself
        else
            thread.join();
    }
}

void LuaMIDIHelper::LuaShutdown()
{
    StopTimers();
    LuaLock lock(*this);
    {
        std::lock_guard<std::mutex> timerLock(m_timerLock);
        m_timers.clear();
    }
    if (m_L)
    {
        lua_close(m_L);
        m_L = nullptr;
    }
    delete m_paramLookup;
    m_paramLookup = nullptr;
    for (int k = 0; k < kNumKinds; ++k)
    {
        m_all[k].clear();
        m_keyed[k].clear();
    }
    m_pitchWheel.clear();
    m_channelPressure.clear();
}

void LuaMIDIHelper::LuaError(lua_State*, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fprintf(stdout, "@@@ %s", text);
    fflush(stdout);
}

LuaMIDIHelper* LuaMIDIHelper::FromState(lua_State* L)
{
    return static_cast<LuaMIDIHelper*>(registryPointer(L, kRefconTag));
}

void LuaMIDIHelper::CountHook(lua_State* L, lua_Debug*)
{
    LuaMIDIHelper* host = FromState(L);
    if (!host)
        return;
    const char* reason = nullptr;
    if (host->m_abort.load(std::memory_order_relaxed))
        reason = "script stopped: the plug-in is closing";
    else if (host->m_deadline && UpTimeNanoseconds() > host->m_deadline)
        reason = "script stopped: it ran too long";
    if (!reason)
        return;
    // From now on check every instruction, so that a script catching the
    // error with pcall is stopped as soon as it runs outside that pcall.
    lua_sethook(L, CountHook, LUA_MASKCOUNT, 1);
    luaL_error(L, "%s", reason);
}

int LuaMIDIHelper::GuardedCall(int nargs, uint64_t budgetNs)
{
    bool outermost = m_callDepth++ == 0;
    if (outermost)
        m_deadline = UpTimeNanoseconds() + budgetNs;
    int status = lua_pcall(m_L, nargs, 0, 0);
    if (--m_callDepth == 0)
    {
        m_deadline = 0;
        lua_sethook(m_L, CountHook, LUA_MASKCOUNT, kHookInstructionCount);
    }
    return status;
}

int LuaMIDIHelper::protectedPcall(int count)
{
    LuaLock lock(*this);
    if (!m_L)
        return LUA_ERRRUN;
    int status = GuardedCall(count, kCallbackBudgetNs);
    if (status != 0)
    {
        LuaError(m_L, "%s\n", lua_isstring(m_L, -1) ? lua_tostring(m_L, -1) : "(error object is not a string)");
        lua_pop(m_L, 1);
    }
    return status;
}

// ---- MIDI ------------------------------------------------------------------------------

int LuaMIDIHelper::HandleVstEvents(const VstEvents* events)
{
    DispatchVstEvents(events, m_sink);
    return 1;
}

void LuaMIDIHelper::CallRefs(const RefList& refs, int a, int b, int c, int count)
{
    // Functions registered by these very callbacks wait for the next message.
    size_t n = refs.size();
    for (size_t i = 0; i < n && m_L; ++i)
    {
        lua_rawgeti(m_L, LUA_REGISTRYINDEX, refs[i]);
        lua_pushinteger(m_L, a);
        lua_pushinteger(m_L, b);
        if (count == 3)
            lua_pushinteger(m_L, c);
        protectedPcall(count);
    }
}

void LuaMIDIHelper::Dispatch(Kind kind, int key, int a, int b, int c, int count)
{
    CallRefs(m_all[kind], a, b, c, count);
    auto found = m_keyed[kind].find(key);
    if (found != m_keyed[kind].end())
        CallRefs(found->second, a, b, c, count);
}

void LuaMIDIHelper::HandleNoteOn(int channel, unsigned char note, unsigned char velocity, unsigned long)
{
    LuaLock lock(*this);
    if (m_L)
        Dispatch(kNoteOnKind, note, channel + 1, note, velocity, 3);
}

void LuaMIDIHelper::HandleNoteOff(int channel, unsigned char note, unsigned char velocity, unsigned long)
{
    LuaLock lock(*this);
    if (m_L)
        Dispatch(kNoteOffKind, note, channel + 1, note, velocity, 3);
}

void LuaMIDIHelper::HandlePolyPressure(int channel, unsigned char note, unsigned char pressure, unsigned long)
{
    LuaLock lock(*this);
    if (m_L)
        Dispatch(kPolyPressureKind, note, channel + 1, note, pressure, 3);
}

void LuaMIDIHelper::HandleProgramChange(int channel, unsigned char program)
{
    LuaLock lock(*this);
    if (m_L)
        Dispatch(kProgramChangeKind, program, channel + 1, program, 0, 2);
}

void LuaMIDIHelper::HandleChannelPressure(int channel, unsigned char pressure, unsigned long)
{
    LuaLock lock(*this);
    if (m_L)
        CallRefs(m_channelPressure, channel + 1, pressure, 0, 2);
}

void LuaMIDIHelper::HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb, unsigned long)
{
    LuaLock lock(*this);
    if (m_L)
        CallRefs(m_pitchWheel, channel + 1, (msb & 0x7F) * 128 + (lsb & 0x7F), 0, 2);
}

void LuaMIDIHelper::HandleControlChange(int channel, unsigned char controller, unsigned char value,
                                        unsigned long)
{
    LuaLock lock(*this);
    // One parameter-number state for all channels, never cleared.
    switch (controller)
    {
    case 99:
        m_nrpnNumberMSB = value;
        break;
    case 98:
        m_nrpnNumberLSB = value;
        break;
    case 6:
        m_nrpnDataMSB = value;
        break;
    case 38:
        m_nrpnDataLSB = value;
        break;
    default:
        break;
    }
    if (!m_L)
        return;
    if (controller == 6 || controller == 38)
    {
        int number = m_nrpnNumberMSB * 128 + m_nrpnNumberLSB;
        int data = m_nrpnDataMSB * 128 + m_nrpnDataLSB;
        Dispatch(kNRPNKind, number, channel + 1, number, data, 3);
    }
    Dispatch(kCCKind, controller, channel + 1, controller, value, 3);
}

bool LuaMIDIHelper::isParameterUsed(int)
{
    return true;
}

// ---- OSC hooks -------------------------------------------------------------------------

int LuaMIDIHelper::LuaSendOSC(lua_State* L)
{
    if (!m_osc)
        return luaL_error(L, "OSC is not available");
    return OSCHelper::LuaSendOSC(L);
}

void LuaMIDIHelper::RegisterOSCPathForParameter(lua_State* L, bool normalized)
{
    // Without an OSC server there is nothing to register with.
    if (!m_osc)
        return;
    const char* address = luaL_checkstring(L, 1);
    bool list = lua_istable(L, 2);
    size_t count = list ? lua_objlen(L, 2) : 1;
    // Lua owns the scratch list, so a name lookup error leaks nothing.
    int* ids = static_cast<int*>(lua_newuserdata(L, sizeof(int) * (count ? count : 1)));
    if (list)
    {
        for (size_t i = 0; i < count; ++i)
        {
            lua_rawgeti(L, 2, static_cast<int>(i + 1));
            ids[i] = ParamIndex(L, lua_gettop(L), false);
            lua_pop(L, 1);
        }
    }
    else
        ids[0] = ParamIndex(L, 2, false);
    switch (m_osc->RegisterOSCPathForParameters(address, ids, count, normalized))
    {
    case OSCHelper::kRegistered: break;
    case OSCHelper::kInconsistentSizes: LuaError(L, "inconsistent sizes in RegisterOSCPathForParameter\n"); break;
    case OSCHelper::kIdOutOfRange: LuaError(L, "parameter id out of range in RegisterOSCPathForParameter\n"); break;
    case OSCHelper::kNoMemory: LuaError(L, "out of memory in RegisterOSCPathForParameter\n"); break;
    }
    lua_pop(L, 1);
}

// ---- timers ----------------------------------------------------------------------------

size_t LuaMIDIHelper::NumTimers()
{
    std::lock_guard<std::mutex> lock(m_timerLock);
    return m_timers.size();
}

void LuaMIDIHelper::TimerLoop()
{
    std::unique_lock<std::mutex> lock(m_timerLock);
    while (!m_timersStopping)
    {
        if (m_timers.empty())
        {
            m_timerWake.wait(lock);
            continue;
        }
        auto next = m_timers.begin();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
            if (it->second.due < next->second.due)
                next = it;
        uint64_t now = UpTimeNanoseconds();
        if (next->second.due > now)
        {
            m_timerWake.wait_for(lock, std::chrono::nanoseconds(next->second.due - now));
            continue;
        }
        uint32_t id = next->first;
        int ref = next->second.ref;
        bool oneShot = next->second.interval == 0;
        if (oneShot)
            m_timers.erase(next);
        else
        {
            next->second.due += next->second.interval;
            if (next->second.due < now) // fell behind: no burst of catch-up calls
                next->second.due = now + next->second.interval;
        }

        // Never enter Lua holding the timer lock.
        lock.unlock();
        {
            LuaLock luaLock(*this);
            bool run;
            {
                // A periodic timer may have been cancelled meanwhile (its
                // reference is then already released); a one-shot one is ours.
                std::lock_guard<std::mutex> relock(m_timerLock);
                run = !m_timersStopping && (oneShot || m_timers.count(id) != 0);
            }
            if (m_L)
            {
                if (run)
                {
                    lua_rawgeti(m_L, LUA_REGISTRYINDEX, ref);
                    protectedPcall(0);
                }
                if (oneShot)
                    luaL_unref(m_L, LUA_REGISTRYINDEX, ref);
            }
        }
        lock.lock();
    }
}

int LuaMIDIHelper::RequestTimer(lua_State* L, bool periodic)
{
    double seconds = luaL_checknumber(L, 1);
    if (lua_type(L, 2) != LUA_TFUNCTION)
        return luaL_error(L, "second argument to requestTimerCallback() is not a function");
    LuaMIDIHelper* host = FromState(L);
    auto* handle = static_cast<uint32_t*>(lua_newuserdata(L, sizeof(uint32_t)));
    *handle = 0;
    luaL_getmetatable(L, kTimerMetatable);
    lua_setmetatable(L, -2);
    lua_pushvalue(L, 2);
    int ref = luaL_ref(L, LUA_REGISTRYINDEX);

    uint64_t delay = secondsToNs(seconds);
    uint64_t interval = 0;
    if (periodic)
        interval = delay > secondsToNs(kMinTimerInterval) ? delay : secondsToNs(kMinTimerInterval);

    bool ok = true;
    {
        std::lock_guard<std::mutex> lock(host->m_timerLock);
        if (host->m_timersStopping)
            ok = false;
        else
        {
            try
            {
                if (!host->m_timerThread.joinable())
                    host->m_timerThread = std::thread(&LuaMIDIHelper::TimerLoop, host);
                uint32_t id = host->m_nextTimer++;
                if (id == 0)
                    id = host->m_nextTimer++;
                host->m_timers.emplace(id, Timer{ref, UpTimeNanoseconds() + delay, interval});
                *handle = id;
            }
            catch (...)
            {
                ok = false;
            }
        }
    }
    if (!ok)
    {
        // Shutting down or out of resources: the timer never fires.
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        return 1;
    }
    host->m_timerWake.notify_all();
    return 1;
}

int LuaMIDIHelper::l_requestTimedCallback(lua_State* L)
{
    return RequestTimer(L, false);
}

int LuaMIDIHelper::l_requestPeriodicCallback(lua_State* L)
{
    return RequestTimer(L, true);
}

int LuaMIDIHelper::l_cancelTimer(lua_State* L)
{
    auto* handle = static_cast<uint32_t*>(luaL_checkudata(L, 1, kTimerMetatable));
    LuaMIDIHelper* host = FromState(L);
    int ref = LUA_NOREF;
    {
        std::lock_guard<std::mutex> lock(host->m_timerLock);
        auto found = host->m_timers.find(*handle);
        if (found != host->m_timers.end())
        {
            ref = found->second.ref;
            host->m_timers.erase(found);
        }
    }
    if (ref != LUA_NOREF)
    {
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        host->m_timerWake.notify_all();
    }
    return 0;
}

// ---- script functions ------------------------------------------------------------------

int LuaMIDIHelper::l_print(lua_State* L)
{
    int n = lua_gettop(L);
    luaL_Buffer line;
    lua_getglobal(L, "tostring");
    int tostringIndex = lua_gettop(L);
    luaL_buffinit(L, &line);
    for (int i = 1; i <= n; ++i)
    {
        if (i > 1)
            luaL_addchar(&line, '\t');
        lua_pushvalue(L, tostringIndex);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        if (!lua_isstring(L, -1))
            return luaL_error(L, "'tostring' must return a string to 'print'");
        luaL_addvalue(&line);
    }
    luaL_addchar(&line, '\n');
    luaL_pushresult(&line);
    size_t size = 0;
    const char* text = lua_tolstring(L, -1, &size);
    fwrite(text, 1, size, stdout);
    fflush(stdout);
    return 0;
}

int LuaMIDIHelper::ParamIndex(lua_State* L, int arg, bool bounded)
{
    if (lua_type(L, arg) == LUA_TSTRING)
    {
        const char* name = lua_tostring(L, arg);
        auto* lookup = static_cast<ParamLookup*>(registryPointer(L, kParamLookupTag));
        int index = -1;
        if (lookup)
        {
            auto found = lookup->find(name);
            if (found != lookup->end())
                index = found->second;
        }
        if (index < 0)
            return luaL_error(L, "parameter not found: '%s'", name);
        return index;
    }
    lua_Integer index = luaL_checkinteger(L, arg);
    if (bounded && (index < 0 || index >= kNumParams))
        return luaL_error(L, "parameter out of range: %d", static_cast<int>(index));
    return static_cast<int>(index);
}

int LuaMIDIHelper::l_setParameter(lua_State* L)
{
    int index = ParamIndex(L, 1, true);
    float value = static_cast<float>(luaL_checknumber(L, 2));
    LuaMIDIHelper* host = FromState(L);
    if (host->m_plugIn)
    {
        host->m_plugIn->CurrentProgram()->SetParameter(index, value);
        host->m_plugIn->updateDisplay();
    }
    return 0;
}

int LuaMIDIHelper::l_getParameter(lua_State* L)
{
    int index = ParamIndex(L, 1, true);
    LuaMIDIHelper* host = FromState(L);
    lua_pushnumber(L, host->m_plugIn ? host->m_plugIn->CurrentProgram()->GetParameter(index) : 0.0);
    return 1;
}

int LuaMIDIHelper::l_getParameterID(lua_State* L)
{
    luaL_checktype(L, 1, LUA_TSTRING);
    lua_pushinteger(L, ParamIndex(L, 1, true));
    return 1;
}

int LuaMIDIHelper::l_getParameterMinMax(lua_State* L)
{
    int index = ParamIndex(L, 1, true);
    lua_pushnumber(L, astParamInfos[index].min);
    lua_pushnumber(L, astParamInfos[index].max);
    return 2;
}

int LuaMIDIHelper::l_getParameterUnit(lua_State* L)
{
    int index = ParamIndex(L, 1, true);
    lua_pushnumber(L, static_cast<lua_Number>(astParamInfos[index].unit));
    return 1;
}

int LuaMIDIHelper::l_getParameterName(lua_State* L)
{
    int index = ParamIndex(L, 1, true);
    const char* name = astParamInfos[index].name ? astParamInfos[index].name : "";
    size_t length = strlen(name);
    lua_pushlstring(L, name, length > kMaxParamNameResult ? kMaxParamNameResult : length);
    return 1;
}

int LuaMIDIHelper::l_isParameterUsed(lua_State* L)
{
    int index = ParamIndex(L, 1, true);
    lua_pushboolean(L, FromState(L)->isParameterUsed(index));
    return 1;
}

int LuaMIDIHelper::l_getNumParameters(lua_State* L)
{
    lua_pushinteger(L, kNumParams);
    return 1;
}

int LuaMIDIHelper::l_sendOSC(lua_State* L)
{
    return FromState(L)->LuaSendOSC(L);
}

int LuaMIDIHelper::l_setOthersParameter(lua_State* L)
{
    int instance = static_cast<int>(luaL_checkinteger(L, 1));
    int index = ParamIndex(L, 2, true);
    float value = static_cast<float>(luaL_checknumber(L, 3));
    VmraInstanceTracker::SetParameterOnAllByOSCIndex(instance, index, value);
    return 0;
}

int LuaMIDIHelper::l_getOthersParameter(lua_State* L)
{
    int instance = static_cast<int>(luaL_checkinteger(L, 1));
    int index = ParamIndex(L, 2, true);
    lua_pushnumber(L, VmraInstanceTracker::GetParameterFromAllByOSCIndex(instance, index));
    return 1;
}

int LuaMIDIHelper::AppendFunction(lua_State* L, int arg, RefList& list, const char* message)
{
    if (lua_type(L, arg) != LUA_TFUNCTION)
        return luaL_error(L, "%s", message);
    lua_pushvalue(L, arg);
    int ref = luaL_ref(L, LUA_REGISTRYINDEX);
    bool ok = true;
    try
    {
        list.push_back(ref);
    }
    catch (...)
    {
        ok = false;
    }
    if (!ok)
    {
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        return luaL_error(L, "not enough memory");
    }
    return 0;
}

template <int kind> int LuaMIDIHelper::l_requestAll(lua_State* L)
{
    return AppendFunction(L, 1, FromState(L)->m_all[kind], kRequestAllNames[kind]);
}

template <int kind> int LuaMIDIHelper::l_requestKeyed(lua_State* L)
{
    int key = static_cast<int>(luaL_checkinteger(L, 1));
    if (lua_type(L, 2) != LUA_TFUNCTION)
        return luaL_error(L, "%s", kRequestKeyedNames[kind]);
    RefList* list = nullptr;
    try
    {
        list = &FromState(L)->m_keyed[kind][key];
    }
    catch (...)
    {
        list = nullptr;
    }
    if (!list)
        return luaL_error(L, "not enough memory");
    return AppendFunction(L, 2, *list, kRequestKeyedNames[kind]);
}

int LuaMIDIHelper::l_requestPitchWheel(lua_State* L)
{
    return AppendFunction(L, 1, FromState(L)->m_pitchWheel, "first argument to requestPitchWheel() is not a function");
}

int LuaMIDIHelper::l_requestChannelPressure(lua_State* L)
{
    return AppendFunction(L, 1, FromState(L)->m_channelPressure,
                          "first argument to requestChannelPressure() is not a function");
}

int LuaMIDIHelper::l_time(lua_State* L)
{
    lua_pushnumber(L, static_cast<lua_Number>(UpTimeNanoseconds()) * 1e-9);
    return 1;
}

int LuaMIDIHelper::l_setGUIBoolValue(lua_State* L)
{
    int id = checkIndicator(L, 1);
    FromState(L)->setGUIBoolValue(id, checkFlag(L, 2));
    return 0;
}

int LuaMIDIHelper::l_getGUIBoolValue(lua_State* L)
{
    int id = checkIndicator(L, 1);
    lua_pushboolean(L, FromState(L)->getGUIBoolValue(id));
    return 1;
}

int LuaMIDIHelper::l_setOthersGUIBoolValue(lua_State* L)
{
    int instance = static_cast<int>(luaL_checkinteger(L, 1));
    int id = checkIndicator(L, 2);
    VmraInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(instance, id, checkFlag(L, 3));
    return 0;
}

int LuaMIDIHelper::l_getOthersGUIBoolValue(lua_State* L)
{
    int instance = static_cast<int>(luaL_checkinteger(L, 1));
    int id = checkIndicator(L, 2);
    lua_pushboolean(L, VmraInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(instance, id));
    return 1;
}

int LuaMIDIHelper::l_registerOSCPathForParameter(lua_State* L)
{
    FromState(L)->RegisterOSCPathForParameter(L, false);
    return 0;
}

int LuaMIDIHelper::l_registerOSCPathForParameterNormalized(lua_State* L)
{
    FromState(L)->RegisterOSCPathForParameter(L, true);
    return 0;
}
} // namespace VL
