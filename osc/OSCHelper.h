// The OSC server of one plug-in instance: a receive task listening on one UDP
// port that answers queries, sets parameters, plays notes and calls into the
// MIDI scripts, and a notify task that sends parameter changes to the
// clients that registered for them. Replies go to the return address named
// inside each request.
//
// Threads: the receive task runs every handler; the notify task sends the
// notifications; SetPort, Disable and NotifySetParam come from the threads
// that set parameters or programs (NotifySetParam also from the audio
// thread); the registration functions from the MIDI host's script threads.
// The registrations, the registered paths and the listening socket each have
// a lock of their own, never held while calling out.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <semaphore.h>

#include <oscpack/ip/IpEndpointName.h>
#include <oscpack/osc/OscPacketListener.h>
#include <oscpack/osc/OscReceivedElements.h>

#include "platform/WorkerTask.h"

extern "C" {
#include <lua.h>
}

class VmraAuBase;
class SocketReceiveMultiplexer;
class UdpReceiveSocket;

namespace VL
{
class LuaMIDIHelper;
class ServicePublisher;

class OSCHelper : public osc::OscPacketListener
{
public:
    static constexpr int kNumParams = 88;
    static constexpr size_t kBufferSize = 1024;

    // Only stores its arguments: no task, socket or interpreter is touched
    // until CreateTask and SetPort.
    OSCHelper(VmraAuBase* unit, LuaMIDIHelper* lua);
    // Stops both tasks (DestroyTask).
    ~OSCHelper() override;
    OSCHelper(const OSCHelper&) = delete;
    OSCHelper& operator=(const OSCHelper&) = delete;

    // For owners that must make the MIDI host after this object (the host
    // keeps a pointer to its OSC server): sets the host. Before CreateTask only.
    void SetLuaHost(LuaMIDIHelper* lua) { m_lua = lua; }

    // Starts the receive task (waiting, no socket) and the notify task.
    void CreateTask();
    // Ends a listening run, stops both tasks (10 s each at most) and frees
    // them. Safe to call more than once.
    void DestroyTask();

    // Listen on port from now on (0: off). Any thread.
    void SetPort(int port);
    // Stop listening until the next SetPort. Any thread.
    void Disable();
    // The port a socket is listening on right now; 0 while none is.
    int BoundPort() const { return m_boundPort.load(); }

    // Queues a host parameter change for the clients registered for id. Costs
    // one byte test when nobody is; never blocks or allocates; several
    // threads may call it at once.
    void NotifySetParam(int id, float value);

    // Script support. sendOSC: arguments (destination, address[, format],
    // [table]); errors become Lua errors of the calling script.
    static int LuaSendOSC(lua_State* L);

    enum RegisterResult
    {
        kRegistered,
        kInconsistentSizes,
        kIdOutOfRange,
        kNoMemory
    };
    // Adds a script-defined address that sets the parameters ids[0...count)
    // from that many float arguments; normalised maps 0...1 onto each
    // parameter's range. Refused when an id is outside 0...87 or when the
    // address already sets a different number of parameters.
    RegisterResult RegisterOSCPathForParameters(const char* address, const int* ids, size_t count,
                                                bool normalised);

    // "host:port" with an optional "osc.udp://" in front; the host part is
    // returned (text is cut at the ':'), port is -1 when none is given.
    static const char* ParseAddress(char* text, int& port);

    // The published service's name, "Orvotide 3.1.4 on <host>".
    static std::string ServiceName();

    // A bounded ring of {id, value}: many writers, one reader, no locks. At
    // most kQueueSize - 1 entries wait; one more is dropped with a message.
    class SetParamQueue
    {
    public:
        static constexpr uint32_t kQueueSize = 64;
        SetParamQueue();
        bool Write(int id, float value);
        bool Read(int& id, float& value);

    private:
        struct Slot
        {
            std::atomic<uint32_t> sequence;
            int id;
            float value;
        };
        Slot m_slots[kQueueSize];
        std::atomic<uint32_t> m_writePosition{0};
        uint32_t m_readPosition = 0; // the reader's alone
        std::atomic<uint32_t> m_waiting{0};
    };

protected:
    // Every message, also each one inside a bundle, on the receive task.
    void ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& source) override;
    // Addresses the dispatcher does not know; nothing here.
    virtual void ProcessMessage(const std::string& address, const osc::ReceivedMessage& message,
                                const IpEndpointName& source);
    virtual bool isParameterUsed(int id);

    VmraAuBase* Unit() const { return m_unit; }

private:
    // One packet: malformed packets and handler errors end here, printed,
    // and the server listens on.
    void ProcessPacket(const char* data, int size, const IpEndpointName& source) override;

    struct Registration
    {
        IpEndpointName endpoint;
        std::string path;
    };
    struct RegisteredPathParam
    {
        int id;
        float offset;
        float scale;
    };
    typedef std::vector<RegisteredPathParam> RegisteredPath;

    class RestartCheck;
    static void ReceiveBody(void* self, MPEventFlags flags);
    static void NotifyBody(void* self, MPEventFlags flags);
    void ListenOnce();
    void NotifyLoop();
    void BreakListening();

    void HandleFixed(const std::string& address, const osc::ReceivedMessage& message, const IpEndpointName& source);
    void HandleLuaCall(const osc::ReceivedMessage& message, bool withResults);
    bool ApplyRegisteredPath(const std::string& address, const osc::ReceivedMessage& message);

    VmraAuBase* m_unit;
    LuaMIDIHelper* m_lua;

    WorkerTask m_receiveTask;
    WorkerTask m_notifyTask;
    sem_t m_notifyWake;
    std::atomic<bool> m_notifyStop{false};

    // Guards the listening run's state below and the tasks' Start, Signal
    // and Stop.
    std::mutex m_socketLock;
    int m_requestedPort = 0;
    // A SetPort, Disable or DestroyTask since the run began; a periodic check
    // inside the run sees it even when it came before the loop started.
    std::atomic<bool> m_restart{false};
    bool m_stopping = false; // DestroyTask has begun
    SocketReceiveMultiplexer* m_multiplexer = nullptr;
    UdpReceiveSocket* m_socket = nullptr; // valid only on the receive task
    std::atomic<int> m_boundPort{0};

    std::mutex m_registrationLock;
    std::multimap<long, Registration> m_registrations;
    std::atomic<uint8_t> m_registered[kNumParams];

    SetParamQueue m_queue;

    std::mutex m_pathLock;
    std::multimap<std::string, RegisteredPath> m_paths;
};
} // namespace VL
