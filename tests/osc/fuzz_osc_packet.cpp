// libFuzzer target for the OSC server's handling of one datagram: the bytes
// go to the same ProcessPacket the receive task calls, on a real instrument
// instance made once. The server listens on a free loopback port (handlers
// such as /ping need the socket); replies go where the packet says, so
// run-fuzz.sh runs this in a network namespace of its own, where only the
// loopback interface exists.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include <oscpack/osc/OscPacketListener.h>

#include "osc/OrvoOSCHelper.h"
#include "plugin/VmraXFadeLooperSynth.h"
#include "tests/osc/LoopbackPorts.h"

namespace
{
VstIntPtr fuzzHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}


std::string scratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orvo-fuzz-osc-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made)
    {
        perror("mkdtemp");
        abort();
    }
    return made;
}

struct Rig
{
    std::string scratch = scratchFolder();
    VmraXFadeLooperSynth* unit = nullptr;
    IpEndpointName source;

    Rig()
    {
        // Preferences and scripts come from a private folder, and relative
        // paths in requests land there too.
        setenv("XDG_CONFIG_HOME", scratch.c_str(), 1);
        setenv("XDG_DATA_HOME", scratch.c_str(), 1);
        if (chdir(scratch.c_str()) != 0)
            abort();
        // Never deleted: the receive and notify tasks keep running until exit.
        unit = new VmraXFadeLooperSynth(fuzzHost);
        for (int attempt = 0; attempt < 20 && unit->Osc().BoundPort() == 0; ++attempt)
        {
            unit->Osc().SetPort(FreePort());
            for (int wait = 0; wait < 500 && unit->Osc().BoundPort() == 0; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (unit->Osc().BoundPort() == 0)
        {
            fprintf(stderr, "fuzz_osc_packet: the OSC server never started listening\n");
            abort();
        }
        // The packet's sender: a loopback port nobody listens on.
        source = IpEndpointName(127, 0, 0, 1, FreePort());
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Rig rig;
    // The receive task hands over only datagrams of at least one byte.
    if (size == 0)
        return -1;
    // Writing or reading the sample file at a path the fuzzer picks would
    // touch arbitrary files (the file reader has a fuzz target of its own).
    static const char* const kSkipped[] = {"saveSample", "loadSample"};
    for (const char* word : kSkipped)
    {
        size_t length = strlen(word);
        for (size_t i = 0; i + length <= size; ++i)
            if (memcmp(data + i, word, length) == 0)
                return -1;
    }
    // The datagram as the receive task has it: its own buffer, exactly size bytes.
    char* packet = new char[size];
    memcpy(packet, data, size);
    osc::OscPacketListener& server = rig.unit->Osc();
    server.ProcessPacket(packet, static_cast<int>(size), rig.source);
    delete[] packet;
    return 0;
}
