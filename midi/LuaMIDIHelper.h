// The Lua MIDI host: one per plug-in instance. Host MIDI passes through it to
// the virtual handlers below; the base handlers offer every message to the
// callbacks that scripts registered. It owns the interpreter that runs the
// built-in script "midi.lua" and the user scripts of the Scripts folders,
// and a timer thread that runs the scripts' one-shot and periodic timers.
//
// Threads: the audio thread (HandleVstEvents), the timer thread, the OSC
// server and the thread that constructs or destroys the plug-in. The Lua lock
// serialises every use of the interpreter. Lock order: the Lua lock may be
// held while taking the timer lock, never the reverse.
//
// Runaway scripts: every run of script code (loading a script, a MIDI
// callback, a timer) has a time budget; a count hook raises an error in code
// that exceeds it, so a script that loops forever is stopped with an "@@@ "
// line instead of hanging the audio thread or the plug-in's destruction.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiEvents.h"
#include "platform/Multiprocessing.h"

extern "C" {
#include <lua.h>
}

class VmraAuBase;

namespace VL
{
class OSCHelper;

class LuaMIDIHelper
{
public:
    // Time budgets of script code, in nanoseconds.
    static constexpr uint64_t kLoadBudgetNs = 5000000000ull;     // one script at load time
    static constexpr uint64_t kCallbackBudgetNs = 1000000000ull; // one callback or timer call
    // Shortest interval of a periodic timer, in seconds.
    static constexpr double kMinTimerInterval = 0.001;

    LuaMIDIHelper(VmraAuBase* plugIn, OSCHelper* osc);
    virtual ~LuaMIDIHelper();
    LuaMIDIHelper(const LuaMIDIHelper&) = delete;
    LuaMIDIHelper& operator=(const LuaMIDIHelper&) = delete;

    virtual void HandleNoteOn(int channel, unsigned char note, unsigned char velocity, unsigned long deltaFrames);
    virtual void HandleNoteOff(int channel, unsigned char note, unsigned char velocity, unsigned long deltaFrames);
    virtual void HandleControlChange(int channel, unsigned char controller, unsigned char value,
                                     unsigned long deltaFrames);
    virtual void HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb, unsigned long deltaFrames);
    virtual bool isParameterUsed(int index);
    virtual void setGUIBoolValue(int id, int value) = 0;
    virtual bool getGUIBoolValue(int id) const = 0;

    // Creates the interpreter and runs the scripts on the first call; later
    // calls return the same state. Whoever uses the returned state must hold
    // the Lua lock (LockLua/UnlockLua or LuaLock).
    lua_State* LuaInit();

    // Dispatches a block of host events in order; returns 1.
    int HandleVstEvents(const VstEvents* events);

    void HandleProgramChange(int channel, unsigned char program);
    void HandlePolyPressure(int channel, unsigned char note, unsigned char pressure, unsigned long deltaFrames);
    void HandleChannelPressure(int channel, unsigned char pressure, unsigned long deltaFrames);

    // Calls the function below count arguments in protected mode, no
    // results, under the Lua lock and within the callback budget. An error
    // is printed as an "@@@ " line and removed. Returns the call status.
    int protectedPcall(int count);

    // Stops every timer (waiting for a running one to end), then frees the
    // parameter-name map and closes the interpreter. Safe to call more than
    // once; the destructors call it. Must not be called with the Lua lock
    // held or from script code.
    void LuaShutdown();

    // Writes "@@@ " and the formatted message to standard output.
    static void LuaError(lua_State* L, const char* format, ...) __attribute__((format(printf, 2, 3)));

    void LockLua() { MPEnterCriticalRegion(m_luaLock, kDurationForever); }
    void UnlockLua() { MPExitCriticalRegion(m_luaLock); }

    VmraAuBase* PlugIn() const { return m_plugIn; }
    OSCHelper* Osc() const { return m_osc; }

    // Timers still registered (for diagnostics and tests).
    size_t NumTimers();

protected:
    // OSC hooks of the script functions; the OSC server supplies them. Without
    // one, sendOSC raises "OSC is not available" and the path registrations
    // do nothing.
    virtual int LuaSendOSC(lua_State* L);
    virtual void RegisterOSCPathForParameter(lua_State* L, bool normalized);

    // Stops the timer thread; derived destructors call it first so that no
    // timer reaches their overrides while they are torn down.
    void StopTimers();

private:
    typedef std::vector<int> RefList;
    typedef std::map<int, RefList> KeyedRefs;

    enum Kind
    {
        kNoteOnKind,
        kNoteOffKind,
        kCCKind,
        kNRPNKind,
        kProgramChangeKind,
        kPolyPressureKind,
        kNumKinds
    };

    struct Timer
    {
        int ref;
        uint64_t due;      // UpTimeNanoseconds
        uint64_t interval; // 0: one-shot
    };

    // Host messages in, handed to the virtual handlers.
    class Sink : public MidiSink
    {
    public:
        explicit Sink(LuaMIDIHelper& host) : m_host(host) {}
        void NoteOn(int c, unsigned char n, unsigned char v) override { m_host.HandleNoteOn(c, n, v, 0); }
        void NoteOff(int c, unsigned char n, unsigned char v) override { m_host.HandleNoteOff(c, n, v, 0); }
        void ControlChange(int c, unsigned char n, unsigned char v) override
        {
            m_host.HandleControlChange(c, n, v, 0);
        }
        void PitchWheel(int c, unsigned char l, unsigned char m) override { m_host.HandlePitchWheel(c, l, m, 0); }
        void ProgramChange(int c, unsigned char p) override { m_host.HandleProgramChange(c, p); }
        void ChannelPressure(int c, unsigned char p) override { m_host.HandleChannelPressure(c, p, 0); }
        void PolyPressure(int c, unsigned char n, unsigned char p) override { m_host.HandlePolyPressure(c, n, p, 0); }

    private:
        LuaMIDIHelper& m_host;
    };

    // Calls every function of the all-list of kind, then those registered for
    // key, with the three arguments (the third only when count is 3).
    void Dispatch(Kind kind, int key, int a, int b, int c, int count);
    void CallRefs(const RefList& refs, int a, int b, int c, int count);
    // Runs the function on top of the stack under the given budget.
    int GuardedCall(int nargs, uint64_t budgetNs);
    void RunScripts();

    static LuaMIDIHelper* FromState(lua_State* L);
    static int ParamIndex(lua_State* L, int arg, bool bounded);
    static void CountHook(lua_State* L, lua_Debug* ar);

    // Script functions.
    static int l_print(lua_State* L);
    static int l_setParameter(lua_State* L);
    static int l_getParameter(lua_State* L);
    static int l_getParameterID(lua_State* L);
    static int l_getParameterMinMax(lua_State* L);
    static int l_getParameterUnit(lua_State* L);
    static int l_getParameterName(lua_State* L);
    static int l_isParameterUsed(lua_State* L);
    static int l_getNumParameters(lua_State* L);
    static int l_sendOSC(lua_State* L);
    static int l_setOthersParameter(lua_State* L);
    static int l_getOthersParameter(lua_State* L);
    template <int kind> static int l_requestAll(lua_State* L);
    template <int kind> static int l_requestKeyed(lua_State* L);
    static int l_requestPitchWheel(lua_State* L);
    static int l_requestChannelPressure(lua_State* L);
    static int l_time(lua_State* L);
    static int l_requestTimedCallback(lua_State* L);
    static int l_requestPeriodicCallback(lua_State* L);
    static int l_cancelTimer(lua_State* L);
    static int l_setGUIBoolValue(lua_State* L);
    static int l_getGUIBoolValue(lua_State* L);
    static int l_setOthersGUIBoolValue(lua_State* L);
    static int l_getOthersGUIBoolValue(lua_State* L);
    static int l_registerOSCPathForParameter(lua_State* L);
    static int l_registerOSCPathForParameterNormalized(lua_State* L);

    static int AppendFunction(lua_State* L, int arg, RefList& list, const char* message);
    static int RequestTimer(lua_State* L, bool periodic);

    // The timer thread.
    void TimerLoop();

    VmraAuBase* m_plugIn;
    OSCHelper* m_osc;
    lua_State* m_L = nullptr;
    MPCriticalRegionID m_luaLock = nullptr;

    RefList m_all[kNumKinds];
    KeyedRefs m_keyed[kNumKinds];
    RefList m_pitchWheel;
    RefList m_channelPressure;

    int m_nrpnNumberLSB = 0;
    int m_nrpnNumberMSB = 0;
    int m_nrpnDataLSB = 0;
    int m_nrpnDataMSB = 0;

    std::map<std::string, int, std::less<>>* m_paramLookup = nullptr;

    // Guarded by the Lua lock.
    uint64_t m_deadline = 0; // 0: no budget running
    int m_callDepth = 0;
    // Set during shutdown: every running script is stopped at once.
    std::atomic<bool> m_abort{false};

    // The timer lock guards everything from here on.
    std::mutex m_timerLock;
    std::condition_variable m_timerWake;
    std::map<uint32_t, Timer> m_timers;
    uint32_t m_nextTimer = 1;
    bool m_timersStopping = false;
    std::thread m_timerThread;

    Sink m_sink{*this};
};

// Holds the Lua lock for a scope.
class LuaLock
{
public:
    explicit LuaLock(LuaMIDIHelper& host) : m_host(host) { m_host.LockLua(); }
    ~LuaLock() { m_host.UnlockLua(); }
    LuaLock(const LuaLock&) = delete;
    LuaLock& operator=(const LuaLock&) = delete;

private:
    LuaMIDIHelper& m_host;
};
} // namespace VL
