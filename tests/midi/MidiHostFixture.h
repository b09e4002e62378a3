// A real instrument instance with its own MIDI host, scripts written into
// temporary per-user and machine-wide support folders, and helpers to send
// host MIDI blocks and to evaluate Lua in the host's interpreter.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "midi/OrvoLuaMIDIHelper.h"
#include "plugin/VmraXFadeLooperSynth.h"
#include "tests/TempDir.h"
#include "xfadelooper/DataToGui.h"

inline VstIntPtr midiTestHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == 1 ? 2400 : 0;
}

inline void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// One MIDI message as the host sends it.
struct Msg
{
    unsigned char status, data1, data2;
};

// A host event block over owned events.
class EventBlock
{
public:
    explicit EventBlock(const std::vector<Msg>& messages)
    {
        for (const Msg& m : messages)
        {
            VstMidiEvent e{};
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.midiData[0] = static_cast<char>(m.status);
            e.midiData[1] = static_cast<char>(m.data1);
            e.midiData[2] = static_cast<char>(m.data2);
            m_midi.push_back(e);
        }
        Rebuild();
    }
    // Adds an event that is not a MIDI event.
    void AddOther(VstInt32 type)
    {
        VstMidiEvent e{};
        e.type = type;
        e.byteSize = sizeof(VstMidiEvent);
        e.midiData[0] = static_cast<char>(0x90); // would be a note-on if it were MIDI
        e.midiData[1] = 60;
        e.midiData[2] = 100;
        m_midi.push_back(e);
        Rebuild();
    }
    VstEvents* Events() { return reinterpret_cast<VstEvents*>(m_storage.data()); }

private:
    void Rebuild()
    {
        size_t slots = m_midi.size() < 2 ? 2 : m_midi.size();
        m_storage.assign(sizeof(VstEvents) + slots * sizeof(VstEvent*), 0);
        VstEvents* events = Events();
        events->numEvents = static_cast<VstInt32>(m_midi.size());
        for (size_t i = 0; i < m_midi.size(); ++i)
            events->events[i] = reinterpret_cast<VstEvent*>(&m_midi[i]);
    }
    std::vector<VstMidiEvent> m_midi;
    std::vector<unsigned char> m_storage;
};

class MidiHostFixture : public ::testing::Test
{
protected:
    TempDir userData, localData, config;
    ScopedEnv dataHome{"XDG_DATA_HOME", userData.Path()};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", localData.Path() + ":/usr/share"};
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.Path()};
    std::unique_ptr<VmraXFadeLooperSynth> unit;
    std::unique_ptr<OrvoLuaMIDIHelper> host;
    std::string initOutput;

    void SetUp() override
    {
        unit = std::make_unique<VmraXFadeLooperSynth>(midiTestHost);
        DrainQueue();
    }
    void TearDown() override
    {
        host.reset();
        unit.reset();
    }

    static std::string ScriptsFolder(const TempDir& domain)
    {
        std::string folder = domain.Path() + "/Velmora/Orvotide/Scripts";
        std::filesystem::create_directories(folder);
        return folder;
    }
    void UserScript(const std::string& name, const std::string& text)
    {
        WriteFile(ScriptsFolder(userData) + "/" + name, text);
    }
    void LocalScript(const std::string& name, const std::string& text)
    {
        WriteFile(ScriptsFolder(localData) + "/" + name, text);
    }

    // Makes the host and runs the scripts, keeping what they printed.
    void Start()
    {
        host = std::make_unique<OrvoLuaMIDIHelper>(unit.get(), unit->Engine());
        testing::internal::CaptureStdout();
        lua_State* L = host->LuaInit();
        initOutput = testing::internal::GetCapturedStdout();
        ASSERT_NE(L, nullptr);
    }

    // Sends a block; returns what the scripts printed meanwhile.
    std::string Send(const std::vector<Msg>& messages)
    {
        EventBlock block(messages);
        testing::internal::CaptureStdout();
        int result = host->HandleVstEvents(block.Events());
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result, 1);
        return out;
    }

    // Runs Lua code in the host's interpreter and returns its first result
    // converted with tostring (or "error: <message>").
    std::string Lua(const std::string& code)
    {
        VL::LuaLock lock(*host);
        lua_State* L = host->LuaInit();
        std::string result;
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0)
            result = std::string("error: ") + lua_tostring(L, -1);
        else
        {
            lua_getglobal(L, "tostring");
            lua_insert(L, -2);
            lua_call(L, 1, 1);
            result = lua_tostring(L, -1);
        }
        lua_pop(L, 1);
        return result;
    }

    // Messages that reached the engine's queue, as text ("on 60", "off 60",
    // "sustain 1", "alloff").
    std::vector<std::string> EngineMessages()
    {
        std::vector<std::string> seen;
        while (const NoteOnOffInfo* info = unit->Engine().Queue().Read())
        {
            switch (info->message)
            {
            case NoteOnOffInfo::kNoteOn:
                seen.push_back("on " + std::to_string(info->note));
                break;
            case NoteOnOffInfo::kNoteOff:
                seen.push_back("off " + std::to_string(info->note));
                break;
            case NoteOnOffInfo::kSustain:
                seen.push_back(std::string("sustain ") + (info->down ? "1" : "0"));
                break;
            case NoteOnOffInfo::kAllNotesOff:
                seen.push_back("alloff");
                break;
            default:
                seen.push_back("other");
                break;
            }
        }
        return seen;
    }
    void DrainQueue() { EngineMessages(); }

    bool Flag(VmraXFadeLooperSynth& u, int id) { return Observe(u.Engine().GetDataToGui()->guiBools[id]); }

    // Waits until the indicator flag is set; false after a generous bound.
    bool WaitForFlag(int id)
    {
        for (int i = 0; i < 2000; ++i)
        {
            if (Flag(*unit, id))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
};
