// The OSC server of a real instrument instance, measured over loopback UDP:
//   /set throughput: N /set datagrams sent as fast as the client can, then a
//     final /set whose arrival is confirmed with /get. The datagrams the
//     server's socket dropped (the kernel's per-socket count in
//     /proc/net/udp) are subtracted from N; handled/s is the rest divided by
//     the time from the first send to the confirmation.
//   /get latency: sequential /get requests answered to the client's own
//     socket, each timed from send to reply with steady_clock; p50 and p99.
//
//   orvo_osc_bench [SET_COUNT [GET_COUNT]]   (defaults 200000 and 10000)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <oscpack/osc/OscOutboundPacketStream.h>
#include <oscpack/osc/OscReceivedElements.h>

#include "bench/BenchRig.h"
#include "osc/OrvoOSCHelper.h"
#include "tests/osc/LoopbackPorts.h"

namespace
{
using Clock = std::chrono::steady_clock;

constexpr double kSetGoal = 50000.0;    // handled /set per second, at least
constexpr double kGetP99GoalMs = 1.0;  // /get round trip, 99th percentile, at most
constexpr int kParam = 1;               // an ordinary parameter, stored as sent
constexpr auto kReplyWait = std::chrono::milliseconds(1000);


// Datagrams the kernel dropped for the IPv4 UDP socket bound to port, or -1.
long long SocketDrops(int port)
{
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line); // header
    char wanted[8];
    snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(table, line))
    {
        std::istringstream fields(line);
        std::string slot, local, field;
        fields >> slot >> local;
        if (local.size() < 5 || local.compare(local.size() - 5, 5, wanted) != 0)
            continue;
        std::string last;
        while (fields >> field)
            last = field;
        return std::atoll(last.c_str());
    }
    return -1;
}

class Client
{
public:
    explicit Client(int serverPort)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        {
            perror("client socket");
            exit(1);
        }
        socklen_t length = sizeof local;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length);
        m_url = "osc.udp://127.0.0.1:" + std::to_string(ntohs(local.sin_port));
        m_server.sin_family = AF_INET;
        m_server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_server.sin_port = htons(static_cast<uint16_t>(serverPort));
    }
    ~Client() { close(m_fd); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void Set(int id, float value)
    {
        osc::OutboundPacketStream p(m_buffer, sizeof m_buffer);
        p << osc::BeginMessage("/set") << static_cast<osc::int32>(id) << value << osc::EndMessage;
        Send(p);
    }

    void Get(int id)
    {
        osc::OutboundPacketStream p(m_buffer, sizeof m_buffer);
        p << osc::BeginMessage("/get") << static_cast<osc::int32>(id) << m_url.c_str() << "/value"
          << osc::EndMessage;
        Send(p);
    }

    // Waits for the next /value reply; false when none came in time.
    bool Reply(int& id, float& value)
    {
        auto deadline = Clock::now() + kReplyWait;
        for (;;)
        {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() < 0)
                return false;
            pollfd wait{m_fd, POLLIN, 0};
            if (poll(&wait, 1, static_cast<int>(left.count()) + 1) <= 0)
                return false;
            char data[2048];
            ssize_t size = recv(m_fd, data, sizeof data, 0);
            if (size > 0 && Parse(data, static_cast<int>(size), id, value))
                return true;
        }
    }

    // /get until the parameter has the given value; false after a while.
    bool Confirm(int id, float expected)
    {
        auto deadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < deadline)
        {
            Get(id);
            int replyId = -1;
            float value = 0;
            if (Reply(replyId, value) && replyId == id && value == expected)
                return true;
        }
        return false;
    }

private:
    void Send(const osc::OutboundPacketStream& p)
    {
        while (sendto(m_fd, p.Data(), p.Size(), 0, reinterpret_cast<const sockaddr*>(&m_server),
                      sizeof m_server) < 0)
            if (errno != ENOBUFS && errno != EAGAIN && errno != EINTR)
            {
                perror("sendto");
                exit(1);
            }
    }

    static bool Parse(const char* data, int size, int& id, float& value)
    {
        try
        {
            osc::ReceivedPacket packet(data, size);
            if (packet.IsBundle())
            {
                osc::ReceivedBundle bundle(packet);
                for (auto e = bundle.ElementsBegin(); e != bundle.ElementsEnd(); ++e)
                    if (!e->IsBundle() && Parse(e->Contents(), static_cast<int>(e->Size()), id, value))
                        return true;
                return false;
            }
            osc::ReceivedMessage message(packet);
            if (strcmp(message.AddressPattern(), "/value") != 0)
                return false;
            osc::int32 replyId;
            message.ArgumentStream() >> replyId >> value >> osc::EndMessage;
            id = replyId;
            return true;
        }
        catch (const osc::Exception&)
        {
            return false;
        }
    }

    int m_fd = -1;
    sockaddr_in m_server{};
    std::string m_url;
    char m_buffer[512];
};

double Percentile(std::vector<double> sorted, double fraction)
{
    std::sort(sorted.begin(), sorted.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}
} // namespace

int main(int argc, char** argv)
{
    long setCount = argc > 1 ? std::atol(argv[1]) : 200000;
    long getCount = argc > 2 ? std::atol(argv[2]) : 10000;
    if (setCount < 1 || getCount < 1)
    {
        fprintf(stderr, "usage: %s [SET_COUNT [GET_COUNT]]\n", argv[0]);
        return 2;
    }
    bench::Scratch::Get();
    VmraXFadeLooperSynth unit(bench::Host);
    for (int attempt = 0; attempt < 20 && unit.Osc().BoundPort() == 0; ++attempt)
    {
        unit.Osc().SetPort(FreePort());
        for (int wait = 0; wait < 1000 && unit.Osc().BoundPort() == 0; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    int port = unit.Osc().BoundPort();
    if (port == 0)
    {
        fprintf(stderr, "the OSC server never started listening\n");
        return 1;
    }
    Client client(port);
    // The values sent: distinct, inside the parameter's range, stored as sent.
    auto valueFor = [](long i) { return static_cast<float>(i % 997) / 1000.0f; };
    const float last = 0.999f;
    if (!client.Confirm(kParam, valueFor(1)) && (client.Set(kParam, valueFor(1)), !client.Confirm(kParam, valueFor(1))))
    {
        fprintf(stderr, "no /get reply from the server on port %d\n", port);
        return 1;
    }

    // /set throughput.
    long long dropsBefore = SocketDrops(port);
    auto start = Clock::now();
    for (long i = 0; i < setCount - 1; ++i)
        client.Set(kParam, valueFor(i));
    client.Set(kParam, last);
    bool arrived = client.Confirm(kParam, last);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    long long dropsAfter = SocketDrops(port);
    if (!arrived)
    {
        fprintf(stderr, "the last /set never arrived\n");
        return 1;
    }
    long long dropped = dropsBefore >= 0 && dropsAfter >= 0 ? dropsAfter - dropsBefore : -1;
    long long handled = dropped >= 0 ? setCount - dropped : setCount;
    double perSecond = static_cast<double>(handled) / seconds;

    // /get latency.
    std::vector<double> ms;
    ms.reserve(static_cast<size_t>(getCount));
    long lost = 0;
    for (long i = 0; i < getCount; ++i)
    {
        auto sent = Clock::now();
        client.Get(kParam);
        int id = -1;
        float value = 0;
        if (!client.Reply(id, value))
        {
            ++lost;
            continue;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
    }
    if (ms.empty())
    {
        fprintf(stderr, "no /get reply at all\n");
        return 1;
    }
    double p50 = Percentile(ms, 0.50), p99 = Percentile(ms, 0.99);

    printf("OSC server on 127.0.0.1:%d\n", port);
    printf("/set: sent %ld, dropped by the socket %lld, handled %lld in %.3f s\n", setCount, dropped,
           handled, seconds);
    printf("/set: %.0f handled per second (goal >= %.0f): %s\n", perSecond, kSetGoal,
           perSecond >= kSetGoal ? "met" : "MISSED");
    printf("/get: %zu round trips, %ld without reply in %lld ms\n", ms.size(), lost,
           static_cast<long long>(kReplyWait.count()));
    printf("/get: p50 %.3f ms, p99 %.3f ms (goal p99 <= %.1f ms): %s\n", p50, p99, kGetP99GoalMs,
           p99 <= kGetP99GoalMs && lost == 0 ? "met" : "MISSED");
    unit.Osc().Disable();
    return 0;
}
