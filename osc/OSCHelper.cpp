#include "osc/OSCHelper.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>

#include <oscpack/ip/NetworkingUtils.h>
#include <oscpack/ip/TimerListener.h>
#include <oscpack/ip/UdpSocket.h>
#include <oscpack/osc/OscException.h>
#include <oscpack/osc/OscOutboundPacketStream.h>

extern "C" {
#include <lauxlib.h>
#include <lualib.h>
}

#include "midi/LuaMIDIHelper.h"
#include "osc/ServicePublisher.h"
#include "platform/Alert.h"
#include "plugin/VmraAuBase.h"
#include "xfadelooper/ParamInfo.h"

namespace VL
{
namespace
{
constexpr MPEventFlags kWorkFlag = 2;
// How often a listening run looks for a restart it may have missed.
constexpr int kRestartCheckMs = 50;
constexpr int kMaxCallResults = 16;
const char kUrlPrefix[] = "osc.udp://";
const char kStopTimeout[] = "OSC: DestroyTask timeout on shutdown";

// Sends one message, wrapped in an immediate bundle, as one datagram.
template <typename AddArgs> void sendMessage(const IpEndpointName& endpoint, const char* path, AddArgs addArgs)
{
    char buffer[OSCHelper::kBufferSize];
    osc::OutboundPacketStream p(buffer, sizeof buffer);
    p << osc::BeginBundleImmediate << osc::BeginMessage(path);
    addArgs(p);
    p << osc::EndMessage << osc::EndBundle;
    UdpTransmitSocket socket(endpoint);
    socket.Send(p.Data(), p.Size());
}

// The endpoint a return address names; false when it names no port.
bool endpointFor(const char* url, IpEndpointName& endpoint)
{
    char text[OSCHelper::kBufferSize];
    snprintf(text, sizeof text, "%s", url);
    int port = -1;
    const char* host = OSCHelper::ParseAddress(text, port);
    if (port < 0 || port > 65535)
        return false;
    endpoint = IpEndpointName(GetHostByName(host), port);
    return true;
}

IpEndpointName replyEndpoint(const char* url)
{
    IpEndpointName endpoint;
    if (!endpointFor(url, endpoint))
        throw osc::Exception("no port in return address");
    return endpoint;
}

osc::int32 checkedId(osc::int32 id, const char* outOfRange)
{
    if (static_cast<uint32_t>(id) >= static_cast<uint32_t>(OSCHelper::kNumParams))
        throw osc::Exception(outOfRange);
    return id;
}

// The C functions the standard libraries put into the globals: calling them
// from the network (dofile, loadstring, require ...) is refused.
const std::set<lua_CFunction>& standardGlobals()
{
    static std::set<lua_CFunction> functions;
    static std::once_flag once;
    std::call_once(once, [] {
        lua_State* L = luaL_newstate();
        if (!L)
            return;
        luaL_openlibs(L);
        lua_pushnil(L);
        while (lua_next(L, LUA_GLOBALSINDEX))
        {
            if (lua_iscfunction(L, -1))
                functions.insert(lua_tocfunction(L, -1));
            lua_pop(L, 1);
        }
        lua_close(L);
    });
    return functions;
}

// Puts the Lua stack back to its height on construction.
class StackRestore
{
public:
    explicit StackRestore(lua_State* L) : m_L(L), m_top(lua_gettop(L)) {}
    ~StackRestore() { lua_settop(m_L, m_top); }
    StackRestore(const StackRestore&) = delete;
    StackRestore& operator=(const StackRestore&) = delete;
    int Top() const { return m_top; }

private:
    lua_State* m_L;
    int m_top;
};

void printHandlerError(const char* kind, const char* text)
{
    printf("%s in TaskMain(): %s\n", kind, text);
    fflush(stdout);
}

// Prints the exception being handled, named by its kind, as the receive loop
// prints every error.
void printHandledException()
{
    try
    {
        throw;
    }
    catch (const osc::Exception& e)
    {
        printHandlerError("osc::Exception", e.what());
    }
    catch (const std::runtime_error& e)
    {
        printHandlerError("std::runtime_error", e.what());
    }
    catch (const std::exception& e)
    {
        printHandlerError("std::exception", e.what());
    }
}
} // namespace

// ---- the notification queue --------------------------------------------------------------

OSCHelper::SetParamQueue::SetParamQueue()
{
    for (uint32_t i = 0; i < kQueueSize; ++i)
        m_slots[i].sequence.store(i, std::memory_order_relaxed);
}

bool OSCHelper::SetParamQueue::Write(int id, float value)
{
    // Reserving a place first keeps at most kQueueSize - 1 entries between
    // the writers and the reader, so the slot below has always been freed.
    if (m_waiting.fetch_add(1, std::memory_order_acq_rel) >= kQueueSize - 1)
    {
        m_waiting.fetch_sub(1, std::memory_order_acq_rel);
        fputs("OSCHelper::SetParamQueue::Write() overflow\n", stderr);
        return false;
    }
    uint32_t position = m_writePosition.fetch_add(1, std::memory_order_relaxed);
    Slot& slot = m_slots[position % kQueueSize];
    while (slot.sequence.load(std::memory_order_acquire) != position)
    {
        // The reader is freeing this slot this very moment.
    }
    slot.id = id;
    slot.value = value;
    slot.sequence.store(position + 1, std::memory_order_release);
    return true;
}

bool OSCHelper::SetParamQueue::Read(int& id, float& value)
{
    Slot& slot = m_slots[m_readPosition % kQueueSize];
    if (slot.sequence.load(std::memory_order_acquire) != m_readPosition + 1)
        return false; // empty, or the next writer has not finished; it wakes us when it has
    id = slot.id;
    value = slot.value;
    slot.sequence.store(m_readPosition + kQueueSize, std::memory_order_release);
    ++m_readPosition;
    m_waiting.fetch_sub(1, std::memory_order_acq_rel);
    return true;
}

// ---- lifecycle ---------------------------------------------------------------------------

OSCHelper::OSCHelper(VmraAuBase* unit, LuaMIDIHelper* lua) : m_unit(unit), m_lua(lua)
{
    for (auto& flag : m_registered)
        flag.store(0, std::memory_order_relaxed);
    sem_init(&m_notifyWake, 0, 0);
}

OSCHelper::~OSCHelper()
{
    DestroyTask();
    sem_destroy(&m_notifyWake);
}

void OSCHelper::CreateTask()
{
    std::lock_guard<std::mutex> lock(m_socketLock);
    if (m_receiveTask.IsRunning())
    {
        printf("Warning: Attempt to recreate OSC task\n");
        fflush(stdout);
        return;
    }
    if (!MPIsFullyInitialized())
    {
        printf("Disaster - no MP lib loaded\n");
        fflush(stdout);
        ShowAlert("No MP Library: Oh dear.");
        return;
    }
    m_stopping = false;
    m_notifyStop.store(false);
    OSStatus status = m_receiveTask.Start(ReceiveBody, this);
    if (status == 0)
        status = m_notifyTask.Start(NotifyBody, this);
    if (status != 0)
    {
        printf("MPCreateTask returned %d\n", static_cast<int>(status));
        fflush(stdout);
        return;
    }
    m_notifyTask.Signal(kWorkFlag); // enters the notify loop
    if (m_requestedPort != 0)
        m_receiveTask.Signal(kWorkFlag);
}

void OSCHelper::DestroyTask()
{
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        if (!m_receiveTask.IsRunning() && !m_notifyTask.IsRunning())
            return;
        m_stopping = true;
        BreakListening();
    }
    // No Signal can run now: SetPort sees m_stopping.
    m_receiveTask.Stop(kStopTimeout, 10000);
    m_notifyStop.store(true);
    sem_post(&m_notifyWake);
    m_notifyTask.Stop(kStopTimeout, 10000);
}

void OSCHelper::BreakListening()
{
    m_restart.store(true);
    if (m_multiplexer)
        m_multiplexer->AsynchronousBreak();
}

void OSCHelper::SetPort(int port)
{
    std::lock_guard<std::mutex> lock(m_socketLock);
    m_requestedPort = port;
    BreakListening();
    if (!m_stopping)
        m_receiveTask.Signal(kWorkFlag);
}

void OSCHelper::Disable()
{
    std::lock_guard<std::mutex> lock(m_socketLock);
    m_requestedPort = 0;
    BreakListening();
}

// ---- the receive task --------------------------------------------------------------------

// Ends the run from inside the loop when a restart was asked for before the
// loop could be broken from outside.
class OSCHelper::RestartCheck : public TimerListener
{
public:
    RestartCheck(OSCHelper& server, SocketReceiveMultiplexer& multiplexer)
        : m_server(server), m_multiplexer(multiplexer)
    {
    }
    void TimerExpired() override
    {
        if (m_server.m_restart.load())
            m_multiplexer.Break();
    }

private:
    OSCHelper& m_server;
    SocketReceiveMultiplexer& m_multiplexer;
};

void OSCHelper::ReceiveBody(void* self, MPEventFlags flags)
{
    if (flags & kWorkFlag)
        static_cast<OSCHelper*>(self)->ListenOnce();
}

void OSCHelper::ListenOnce()
{
    int port;
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        if (m_stopping)
            return;
        m_restart.store(false);
        port = m_requestedPort;
    }
    m_boundPort.store(0);
    if (port == 0)
        return;
    try
    {
        UdpReceiveSocket socket(IpEndpointName(IpEndpointName::ANY_ADDRESS, port));
        SocketReceiveMultiplexer multiplexer;
        RestartCheck check(*this, multiplexer);
        multiplexer.AttachSocketListener(&socket, this);
        multiplexer.AttachPeriodicTimerListener(kRestartCheckMs, &check);

        // Forgets the run before its objects go, however it ends.
        struct Exposed
        {
            OSCHelper& server;
            Exposed(OSCHelper& s, SocketReceiveMultiplexer* m, UdpReceiveSocket* u) : server(s)
            {
                std::lock_guard<std::mutex> lock(server.m_socketLock);
                server.m_multiplexer = m;
                server.m_socket = u;
            }
            ~Exposed()
            {
                std::lock_guard<std::mutex> lock(server.m_socketLock);
                server.m_multiplexer = nullptr;
                server.m_socket = nullptr;
                server.m_boundPort.store(0);
            }
            Exposed(const Exposed&) = delete;
            Exposed& operator=(const Exposed&) = delete;
        } exposed(*this, &multiplexer, &socket);
        m_boundPort.store(port);

        ServicePublisher service(ServiceName(), port); // withdrawn at every end of the run
        multiplexer.Run();
    }
    catch (const std::exception&)
    {
        printHandledException();
    }
    m_boundPort.store(0);
}

namespace
{
// The end of the 4-byte padded, NUL-terminated string at p, or null when it
// runs past end.
const char* skipString(const char* p, const char* end)
{
    const void* nul = memchr(p, 0, static_cast<size_t>(end - p));
    if (!nul)
        return nullptr;
    size_t length = static_cast<size_t>(static_cast<const char*>(nul) - p) + 1;
    size_t padded = (length + 3) & ~static_cast<size_t>(3);
    return padded <= static_cast<size_t>(end - p) ? p + padded : nullptr;
}

int32_t bigEndian32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<int32_t>((static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
                                (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]));
}

// Whether every argument the type tags announce lies inside the message.
bool wellFormedMessage(const char* p, const char* end)
{
    p = skipString(p, end); // the address
    if (!p || p == end || *p != ',')
        return false;
    const char* tag = p + 1;
    p = skipString(p, end);
    if (!p)
        return false;
    int depth = 0;
    auto take = [&](long bytes) {
        if (bytes < 0 || bytes > end - p)
            return false;
        p += bytes;
        return true;
    };
    for (; *tag; ++tag)
    {
        switch (*tag)
        {
        case 'i':
        case 'f':
        case 'c':
        case 'r':
        case 'm':
            if (!take(4))
                return false;
            break;
        case 'h':
        case 't':
        case 'd':
            if (!take(8))
                return false;
            break;
        case 's':
        case 'S':
            p = skipString(p, end);
            if (!p)
                return false;
            break;
        case 'b':
        {
            if (end - p < 4)
                return false;
            int32_t size = bigEndian32(p);
            p += 4;
            if (size < 0 || !take((static_cast<long>(size) + 3) & ~3L))
                return false;
            break;
        }
        case 'T':
        case 'F':
        case 'N':
        case 'I':
            break;
        case '[':
            ++depth;
            break;
        case ']':
            if (--depth < 0)
                return false;
            break;
        default:
            return false;
        }
    }
    return depth == 0;
}

// Checks a whole packet before the parser sees it: the system's oscpack reads
// past the end of messages whose type tags announce more data than they hold.
bool wellFormedPacket(const char* data, long size, int nesting)
{
    if (size <= 0 || size % 4 != 0 || nesting > 16)
        return false;
    if (size >= 8 && memcmp(data, "#bundle", 8) == 0)
    {
        if (size < 16)
            return false;
        const char* p = data + 16;
        const char* end = data + size;
        while (p < end)
        {
            if (end - p < 4)
                return false;
            int32_t element = bigEndian32(p);
            p += 4;
            if (element < 0 || element > end - p || !wellFormedPacket(p, element, nesting + 1))
                return false;
            p += element;
        }
        return true;
    }
    return wellFormedMessage(data, data + size);
}
} // namespace

void OSCHelper::ProcessPacket(const char* data, int size, const IpEndpointName& source)
{
    try
    {
        if (!data || !wellFormedPacket(data, size, 0))
            throw osc::MalformedPacketException("malformed packet");
        osc::OscPacketListener::ProcessPacket(data, size, source);
    }
    catch (const std::exception&)
    {
        printHandledException();
    }
}

// ---- addresses ---------------------------------------------------------------------------

const char* OSCHelper::ParseAddress(char* text, int& port)
{
    if (strncmp(text, kUrlPrefix, sizeof kUrlPrefix - 1) == 0)
        text += sizeof kUrlPrefix - 1;
    port = -1;
    char* colon = strchr(text, ':');
    if (colon)
    {
        if (sscanf(colon + 1, "%d", &port) != 1)
            port = -1;
        *colon = '\0';
    }
    return text;
}

std::string OSCHelper::ServiceName()
{
    char name[300];
    snprintf(name, sizeof name, "Orvotide %d.%d.%d", 3, 1, 4);
    std::string result = name;
    char host[256];
    if (gethostname(host, sizeof host) == 0)
    {
        host[sizeof host - 1] = '\0';
        if (host[0])
            result += std::string(" on ") + host;
    }
    return result;
}

// ---- dispatch ----------------------------------------------------------------------------

void OSCHelper::ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& source)
{
    std::string address = message.AddressPattern();
    if (ApplyRegisteredPath(address, message))
        return;
    HandleFixed(address, message, source);
}

void OSCHelper::ProcessMessage(const std::string&, const osc::ReceivedMessage&, const IpEndpointName&) {}

bool OSCHelper::isParameterUsed(int)
{
    return true;
}

bool OSCHelper::ApplyRegisteredPath(const std::string& address, const osc::ReceivedMessage& message)
{
    std::vector<RegisteredPath> paths;
    {
        std::lock_guard<std::mutex> lock(m_pathLock);
        auto range = m_paths.equal_range(address);
        for (auto it = range.first; it != range.second; ++it)
            paths.push_back(it->second);
    }
    if (paths.empty())
        return false;
    size_t count = paths.front().size();
    std::vector<float> values(count);
    osc::ReceivedMessageArgumentStream args = message.ArgumentStream();
    for (float& value : values)
        args >> value;
    args >> osc::EndMessage;
    for (const RegisteredPath& path : paths)
    {
        for (size_t i = 0; i < count && i < path.size(); ++i)
            m_unit->CurrentProgram()->SetParameter(path[i].id, path[i].scale * values[i] + path[i].offset);
        m_unit->updateDisplay();
    }
    return true;
}

void OSCHelper::HandleFixed(const std::string& address, const osc::ReceivedMessage& message,
                            const IpEndpointName& source)
{
    osc::ReceivedMessageArgumentStream args = message.ArgumentStream();
    const char* url = nullptr;
    const char* path = nullptr;
    osc::int32 id = 0;

    if (address == "/ping")
    {
        args >> url >> path >> osc::EndMessage;
        IpEndpointName reply = replyEndpoint(url);
        char local[IpEndpointName::ADDRESS_AND_PORT_STRING_LENGTH];
        m_socket->LocalEndpointFor(reply).AddressAndPortAsString(local);
        std::string self = std::string(kUrlPrefix) + local;
        char product[64];
        snprintf(product, sizeof product, "Orvotide %d.%d.%d", 3, 1, 4);
        sendMessage(reply, path, [&](osc::OutboundPacketStream& p) { p << self.c_str() << product; });
    }
    else if (address == "/set")
    {
        float value;
        args >> id >> value >> osc::EndMessage;
        checkedId(id, "parameter id out of range in set");
        m_unit->CurrentProgram()->SetParameter(id, value);
        m_unit->updateDisplay();
    }
    else if (address == "/get")
    {
        args >> id >> url >> path >> osc::EndMessage;
        checkedId(id, "parameter id out of range in get");
        float value = m_unit->CurrentProgram()->GetParameter(id);
        sendMessage(replyEndpoint(url), path, [&](osc::OutboundPacketStream& p) { p << id << value; });
    }
    else if (address == "/getAll")
    {
        args >> url >> path >> osc::EndMessage;
        IpEndpointName reply = replyEndpoint(url);
        for (osc::int32 i = 0; i < kNumParams; ++i)
        {
            if (!isParameterUsed(i))
                continue;
            float value = m_unit->CurrentProgram()->GetParameter(i);
            sendMessage(reply, path, [&](osc::OutboundPacketStream& p) { p << i << value; });
        }
    }
    else if (address == "/getAllRegistered")
    {
        args >> osc::EndMessage;
        std::vector<std::pair<long, Registration>> registrations;
        {
            std::lock_guard<std::mutex> lock(m_registrationLock);
            registrations.assign(m_registrations.begin(), m_registrations.end());
        }
        for (const auto& r : registrations)
        {
            osc::int32 rid = static_cast<osc::int32>(r.first);
            float value = m_unit->CurrentProgram()->GetParameter(rid);
            sendMessage(r.second.endpoint, r.second.path.c_str(),
                        [&](osc::OutboundPacketStream& p) { p << rid << value; });
        }
    }
    else if (address == "/getNumParameters")
    {
        args >> url >> path >> osc::EndMessage;
        sendMessage(replyEndpoint(url), path,
                    [&](osc::OutboundPacketStream& p) { p << static_cast<osc::int32>(kNumParams); });
    }
    else if (address == "/isParameterUsed")
    {
        args >> id >> url >> path >> osc::EndMessage;
        checkedId(id, "parameter id out of range in isParameterUsed");
        bool used = isParameterUsed(id);
        sendMessage(replyEndpoint(url), path, [&](osc::OutboundPacketStream& p) { p << id << used; });
    }
    else if (address == "/getInfo")
    {
        args >> id >> url >> path >> osc::EndMessage;
        checkedId(id, "parameter id out of range in getInfo");
        if (!isParameterUsed(id))
            throw osc::Exception("parameter id is unused");
        const ParamInfo& info = astParamInfos[id];
        char name[256];
        snprintf(name, sizeof name, "%s", info.name ? info.name : "");
        sendMessage(replyEndpoint(url), path, [&](osc::OutboundPacketStream& p) {
            p << id << info.min << info.max << info.defaultValue << name << static_cast<osc::int32>(info.unit);
        });
    }
    else if (address == "/registerUpdate")
    {
        args >> id >> url >> path >> osc::EndMessage;
        checkedId(id, "parameter id out of range in registerUpdate");
        Registration registration{replyEndpoint(url), path};
        std::lock_guard<std::mutex> lock(m_registrationLock);
        auto range = m_registrations.equal_range(id);
        for (auto it = range.first; it != range.second; ++it)
        {
            if (it->second.endpoint == registration.endpoint && it->second.path == registration.path)
                return;
        }
        m_registrations.emplace(id, std::move(registration));
        m_registered[id].store(1);
    }
    else if (address == "/unregisterUpdate")
    {
        args >> id >> url >> path >> osc::EndMessage;
        checkedId(id, "parameter id out of range in unregisterUpdate");
        IpEndpointName endpoint = replyEndpoint(url);
        std::lock_guard<std::mutex> lock(m_registrationLock);
        auto range = m_registrations.equal_range(id);
        for (auto it = range.first; it != range.second; ++it)
        {
            if (it->second.endpoint == endpoint && it->second.path == path)
            {
                m_registrations.erase(it);
                break;
            }
        }
        if (m_registrations.count(id) == 0)
            m_registered[id].store(0);
    }
    else if (address == "/exec")
        HandleLuaCall(message, false);
    else if (address == "/call")
        HandleLuaCall(message, true);
    else if (address == "/startNote" || address == "/stopNote")
    {
        float velocity;
        args >> id >> velocity >> osc::EndMessage;
        if (!m_lua)
            throw osc::Exception("no Lua support from OSC");
        auto note = static_cast<unsigned char>(id & 0xFF);
        // Velocities far outside 0...1 (or not a number) must not overflow
        // the conversion.
        float scaled = velocity * 127;
        int whole = scaled > -2147483520.0f && scaled < 2147483520.0f ? static_cast<int>(scaled) : 0;
        auto midiVelocity = static_cast<unsigned char>(whole & 0xFF);
        if (address == "/startNote")
            m_lua->HandleNoteOn(1, note, midiVelocity, 0);
        else
            m_lua->HandleNoteOff(1, note, midiVelocity, 0);
    }
    else
        ProcessMessage(address, message, source);
}

void OSCHelper::HandleLuaCall(const osc::ReceivedMessage& message, bool withResults)
{
    if (!m_lua)
        throw osc::Exception("no Lua support from OSC");
    auto arg = message.ArgumentsBegin();
    auto end = message.ArgumentsEnd();
    auto nextString = [&]() {
        if (arg == end)
            throw osc::MissingArgumentException();
        if (!arg->IsString())
            throw osc::WrongArgumentTypeException();
        const char* text = arg->AsStringUnchecked();
        ++arg;
        return text;
    };
    const char* function = nextString();
    const char* url = withResults ? nextString() : nullptr;
    const char* path = withResults ? nextString() : nullptr;
    IpEndpointName reply;
    if (withResults)
        reply = replyEndpoint(url);

    const std::set<lua_CFunction>& refused = standardGlobals();
    char buffer[kBufferSize];
    osc::OutboundPacketStream p(buffer, sizeof buffer);
    {
        lua_State* L = m_lua->LuaInit();
        if (!L)
            throw osc::Exception("no Lua support from OSC");
        LuaLock lock(*m_lua);
        StackRestore restore(L); // before the lock is released, also on errors
        int nargs = static_cast<int>(message.ArgumentCount()) - (withResults ? 3 : 1);
        if (!lua_checkstack(L, nargs + kMaxCallResults + 2))
            throw osc::Exception("failed to exec function");
        // A raw read: a metatable on the globals must not raise here.
        lua_pushstring(L, function);
        lua_rawget(L, LUA_GLOBALSINDEX);
        if (lua_iscfunction(L, -1) && refused.count(lua_tocfunction(L, -1)))
            throw osc::Exception("function not callable from OSC");
        for (; arg != end; ++arg)
        {
            switch (arg->TypeTag())
            {
            case osc::TRUE_TYPE_TAG: lua_pushboolean(L, 1); break;
            case osc::FALSE_TYPE_TAG: lua_pushboolean(L, 0); break;
            case osc::NIL_TYPE_TAG: lua_pushnil(L); break;
            case osc::DOUBLE_TYPE_TAG: lua_pushnumber(L, arg->AsDoubleUnchecked()); break;
            case osc::FLOAT_TYPE_TAG: lua_pushnumber(L, arg->AsFloatUnchecked()); break;
            case osc::INT64_TYPE_TAG:
            {
                osc::int64 v = arg->AsInt64Unchecked();
                double high = static_cast<double>(static_cast<int32_t>(v >> 32));
                double low = static_cast<double>(static_cast<uint32_t>(v & 0xFFFFFFFF));
                lua_pushnumber(L, high * 4294967296.0 + low);
                break;
            }
            case osc::INT32_TYPE_TAG: lua_pushnumber(L, arg->AsInt32Unchecked()); break;
            case osc::STRING_TYPE_TAG: lua_pushstring(L, arg->AsStringUnchecked()); break;
            default: throw osc::Exception("unhandled argument type to exec");
            }
        }
        if (lua_pcall(L, nargs, withResults ? kMaxCallResults : 0, 0) != 0)
        {
            printf("OSC: %s\n", lua_isstring(L, -1) ? lua_tostring(L, -1) : "error");
            fflush(stdout);
            throw osc::Exception("failed to exec function");
        }
        if (!withResults)
            return;
        p << osc::BeginBundleImmediate << osc::BeginMessage(path);
        for (int i = 0; i < kMaxCallResults; ++i)
        {
            int index = restore.Top() + 1 + i;
            int type = lua_type(L, index);
            if (type == LUA_TNIL)
                break;
            if (type == LUA_TNUMBER)
                p << static_cast<float>(lua_tonumber(L, index));
            else if (type == LUA_TSTRING)
                p << lua_tostring(L, index);
            else
                throw osc::Exception("unhandled argument type return from call");
        }
        p << osc::EndMessage << osc::EndBundle;
    }
    UdpTransmitSocket socket(reply);
    socket.Send(p.Data(), p.Size());
}

// ---- notifications -----------------------------------------------------------------------

void OSCHelper::NotifySetParam(int id, float value)
{
    if (static_cast<unsigned>(id) >= static_cast<unsigned>(kNumParams) ||
        !m_registered[id].load(std::memory_order_relaxed))
        return;
    if (m_queue.Write(id, value))
        sem_post(&m_notifyWake); // lock-free, like the ring
}

void OSCHelper::NotifyBody(void* self, MPEventFlags flags)
{
    if (flags & kWorkFlag)
        static_cast<OSCHelper*>(self)->NotifyLoop();
}

void OSCHelper::NotifyLoop()
{
    std::vector<Registration> targets;
    while (!m_notifyStop.load())
    {
        if (sem_wait(&m_notifyWake) != 0 && errno != EINTR)
            return;
        int id;
        float value;
        while (m_queue.Read(id, value))
        {
            targets.clear();
            {
                std::lock_guard<std::mutex> lock(m_registrationLock);
                auto range = m_registrations.equal_range(id);
                for (auto it = range.first; it != range.second; ++it)
                    targets.push_back(it->second);
            }
            for (const Registration& target : targets)
            {
                try
                {
                    osc::int32 oscId = id;
                    sendMessage(target.endpoint, target.path.c_str(),
                                [&](osc::OutboundPacketStream& p) { p << oscId << value; });
                }
                catch (const std::exception& e)
                {
                    printf("OSC notification to %s failed: %s\n", target.path.c_str(), e.what());
                    fflush(stdout);
                }
            }
        }
    }
}

// ---- registered paths --------------------------------------------------------------------

OSCHelper::RegisterResult OSCHelper::RegisterOSCPathForParameters(const char* address, const int* ids, size_t count,
                                                                  bool normalised)
{
    try
    {
        RegisteredPath path;
        for (size_t i = 0; i < count; ++i)
        {
            int id = ids[i];
            if (id < 0 || id >= kNumParams)
                return kIdOutOfRange;
            const ParamInfo& info = astParamInfos[id];
            if (normalised)
                path.push_back({id, info.min, info.max - info.min});
            else
                path.push_back({id, 0.0f, 1.0f});
        }
        std::lock_guard<std::mutex> lock(m_pathLock);
        auto existing = m_paths.find(address);
        if (existing != m_paths.end() && existing->second.size() != count)
            return kInconsistentSizes;
        m_paths.emplace(address, std::move(path));
        return kRegistered;
    }
    catch (const std::bad_alloc&)
    {
        return kNoMemory;
    }
}

// ---- sendOSC -----------------------------------------------------------------------------

namespace
{
// Everything sendOSC does that may fail, with no Lua error raised: the
// caller raises it once every C++ object here is gone.
bool sendFromLua(lua_State* L, char* error, size_t errorSize) noexcept
{
    try
    {
        int count = lua_gettop(L);
        if (count < 2 || !lua_isstring(L, 1) || !lua_isstring(L, 2))
        {
            snprintf(error, errorSize, "sendOSC needs a destination and an address");
            return false;
        }
        IpEndpointName endpoint;
        if (!endpointFor(lua_tostring(L, 1), endpoint))
        {
            snprintf(error, errorSize, "no port in OSC destination '%s'", lua_tostring(L, 1));
            return false;
        }
        const char* address = lua_tostring(L, 2);
        const char* format = nullptr;
        int table = 0;
        if (count == 3)
            table = 3;
        else if (count == 4)
        {
            if (!lua_isstring(L, 3))
            {
                snprintf(error, errorSize, "format string expected in sendOSC");
                return false;
            }
            format = lua_tostring(L, 3);
            table = 4;
        }
        if (table && !lua_istable(L, table))
        {
            snprintf(error, errorSize, "table of values expected in sendOSC");
            return false;
        }
        size_t n = table ? lua_objlen(L, table) : 0;
        if (format && strlen(format) != n)
        {
            snprintf(error, errorSize, "format string length mismatch in sendOSC");
            return false;
        }
        if (!lua_checkstack(L, 2))
        {
            snprintf(error, errorSize, "stack overflow in sendOSC");
            return false;
        }

        char buffer[OSCHelper::kBufferSize];
        osc::OutboundPacketStream p(buffer, sizeof buffer);
        p << osc::BeginBundleImmediate << osc::BeginMessage(address);
        for (size_t i = 1; i <= n; ++i)
        {
            lua_rawgeti(L, table, static_cast<int>(i));
            int type = lua_type(L, -1);
            if (type == LUA_TNIL)
                p << osc::OscNil;
            else if (type == LUA_TNUMBER || (type == LUA_TSTRING && lua_isnumber(L, -1)))
            {
                double number = lua_tonumber(L, -1);
                if (format && format[i - 1] == 'i')
                    p << static_cast<osc::int32>(number);
                else
                    p << static_cast<float>(number);
            }
            else if (type == LUA_TSTRING)
                p << lua_tostring(L, -1);
            else
            {
                lua_pop(L, 1);
                snprintf(error, errorSize, "unhandled argument type return from call");
                return false;
            }
            lua_pop(L, 1);
        }
        p << osc::EndMessage << osc::EndBundle;
        UdpTransmitSocket socket(endpoint);
        socket.Send(p.Data(), p.Size());
        return true;
    }
    catch (const std::exception& e)
    {
        snprintf(error, errorSize, "sendOSC: %s", e.what());
        return false;
    }
    catch (...)
    {
        snprintf(error, errorSize, "sendOSC failed");
        return false;
    }
}
} // namespace

int OSCHelper::LuaSendOSC(lua_State* L)
{
    char error[256];
    if (!sendFromLua(L, error, sizeof error))
        return luaL_error(L, "%s", error);
    return 0;
}
} // namespace VL
