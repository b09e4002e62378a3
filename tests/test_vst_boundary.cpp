// Both plug-ins as a host sees them: loaded with dlopen, created through
// VSTPluginMain and driven through the AEffect record and the dispatcher.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tools/PluginHost.h"

namespace
{
struct Deliverable
{
    const char* path;
    const char* label;
};
void PrintTo(const Deliverable& d, std::ostream* os)
{
    *os << d.label;
}
const Deliverable kSynth = {ORVO_SYNTH_PATH, "OrvoVST"};
const Deliverable kEffect = {ORVO_EFFECT_PATH, "OrvoEffVST"};

std::unique_ptr<PluginHost> load(const Deliverable& d)
{
    auto host = std::make_unique<PluginHost>();
    std::string error;
    EXPECT_TRUE(host->Load(d.path, &error)) << error;
    return host;
}

// Normalised value that makes the plug-in store `plain` for a linear
// parameter with range [min, max].
float linear(float plain, float min, float max)
{
    return (plain - min) / (max - min);
}

class BothPlugins : public ::testing::TestWithParam<Deliverable>
{
protected:
    void SetUp() override { host = load(GetParam()); ASSERT_TRUE(host->IsLoaded()); }
    std::unique_ptr<PluginHost> host;
};

std::string paramName(const ::testing::TestParamInfo<Deliverable>& info)
{
    return info.param.label;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Deliverables, BothPlugins, ::testing::Values(kSynth, kEffect), paramName);

TEST(Identity, BothDeliverables)
{
    struct Expected
    {
        Deliverable d;
        VstInt32 uniqueID;
        VstInt32 flags;
        int inputs;
        VstIntPtr category;
        VstIntPtr receivesMidi;
    } cases[] = {
        {kSynth, 0x564C7866, 0x130, 0, 2, 0},
        {kEffect, 0x564C7865, 0x30, 2, 1, 1},
    };
    for (const Expected& c : cases)
    {
        SCOPED_TRACE(c.d.label);
        auto host = load(c.d);
        AEffect* e = host->Effect();
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->magic, 0x56737450);
        EXPECT_EQ(e->uniqueID, c.uniqueID);
        EXPECT_EQ(e->flags, c.flags);
        EXPECT_EQ(e->numInputs, c.inputs);
        EXPECT_EQ(e->numOutputs, 2);
        EXPECT_EQ(e->numPrograms, 1);
        EXPECT_EQ(e->numParams, 88);
        EXPECT_EQ(e->version, 1);
        EXPECT_EQ(e->initialDelay, 0);
        EXPECT_EQ(e->__ioRatioDeprecated, 1.0f);
        EXPECT_NE(e->processReplacing, nullptr);
        EXPECT_EQ(host->Dispatch(effGetPlugCategory), c.category);
        EXPECT_EQ(host->CanDo("receiveVstMidiEvent"), c.receivesMidi);
        EXPECT_EQ(host->Dispatch(effGetVendorVersion), 0x00030104);
        EXPECT_EQ(host->Dispatch(effGetVstVersion), 2400);
        EXPECT_EQ(host->GetString(effGetEffectName), "Orvotide");
        EXPECT_EQ(host->GetString(effGetProductString), "Orvotide");
        EXPECT_EQ(host->GetString(effGetVendorString), "Velmora");
        EXPECT_EQ(host->Dispatch(effIdentify), 0x4E764566);
    }
}

TEST(EntryPoint, NoPluginForAHostThatAnswersVersionZero)
{
    PluginHost host;
    host.SetVersionAnswer(0);
    std::string error;
    EXPECT_FALSE(host.Load(kSynth.path, &error));
    EXPECT_EQ(error, "VSTPluginMain returned no plug-in");
}

TEST(EntryPoint, OnlyVSTPluginMainIsExported)
{
    for (const Deliverable& d : {kSynth, kEffect})
    {
        std::string command = std::string("nm -D --defined-only ") + d.path;
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::set<std::string> symbols;
        char line[512];
        while (fgets(line, sizeof(line), pipe))
        {
            char type = 0;
            char name[400] = {0};
            if (sscanf(line, "%*s %c %399s", &type, name) == 2)
                symbols.insert(name);
        }
        EXPECT_EQ(pclose(pipe), 0);
        // The toolchain may add its own entries (such as _init/_fini); nothing
        // of ours but the entry point may appear.
        std::set<std::string> allowed = {"VSTPluginMain", "_init", "_fini", "__bss_start", "_edata", "_end"};
        EXPECT_TRUE(symbols.count("VSTPluginMain")) << d.label;
        for (const std::string& s : symbols)
            EXPECT_TRUE(allowed.count(s)) << d.label << " exports " << s;
    }
}

TEST(EntryPoint, BothPluginsLiveInOneProcess)
{
    auto synth = load(kSynth);
    auto effect = load(kEffect);
    synth->SetParameter(0, 0.25f);
    effect->SetParameter(0, 0.75f);
    EXPECT_FLOAT_EQ(synth->GetParameter(0), 0.25f);
    EXPECT_FLOAT_EQ(effect->GetParameter(0), 0.75f);
    EXPECT_EQ(synth->Effect()->uniqueID, 0x564C7866);
    EXPECT_EQ(effect->Effect()->uniqueID, 0x564C7865);
}

TEST_P(BothPlugins, ParameterTexts)
{
    struct Case
    {
        int index;
        float normalised; // < 0: leave the default
        const char* name;
        const char* label;
        const char* display;
    } cases[] = {
        {1, -1, "Root Note", "", "60 C4"},
        {1, 0.0f, "Root Note", "", " 0 C-1"},
        {1, 1.0f, "Root Note", "", "127 G9"},
        {15, -1, "Filter Cutoff", "Hz", "1000"},
        {17, 0.25f, "Filter Type", "", "Low"},
        {17, 1.003f / 4, "Filter Type", "", "Low"},
        {17, 1.01f / 4, "Filter Type", "", "1.010"},
        {17, 1.0f, "Filter Type", "", "Thru"},
        {21, 1.0f, "Filter Env Rele", "seconds", "Inf"},
        {21, 4.99f / 5, "Filter Env Rele", "seconds", "4.990"},
        {79, 0.0f, "Hard Sync Cycle", "", "Off"},
        {79, 0.5f, "Hard Sync Cycle", "", "8"},
        {28, 1.0f, "No Loop On/Off", "", "On"},
        {28, 0.0f, "No Loop On/Off", "", "Off"},
        {53, 0.5f, "Filter LFO Inve", "", "On"},
        {29, 0.5f, "Loop Mode", "", "Reverse"},
        {36, 1.0f, "Record Mode", "", "Triggered"},
        {68, -1, "Beat Divisor", "", "1/4"},
        {87, -1, "OSC Port Offset", "", "Off"},
        {87, 0.05f, "OSC Port Offset", "", "5"},
        {6, 0.1f, "Crossfade", "%", "10.00"},
        {2, linear(9.9996f, -50, 50), "Fine Tune", "cents", "10.000"},
        {83, linear(999.96f, 0, 1200), "Sync Detune LFO", "cents", "1000.0"},
        {18, linear(-0.25f, -4, 4), "Filter Env Amou", "", "-0.250"},
        {80, linear(-1500, -2400, 2400), "Hard Sync Detun", "cents", "-1500"},
        {27, 0.5f, "No Loop Fade", "ms", "50.00"},
        {13, 1.0f, "Unused", "", "Unused"},
        {25, 0.3f, "Unused", "", "Unused"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << "index " << c.index << " at " << c.normalised);
        if (c.normalised >= 0)
            host->SetParameter(c.index, c.normalised);
        EXPECT_EQ(host->GetString(effGetParamName, c.index), c.name);
        EXPECT_EQ(host->GetString(effGetParamLabel, c.index), c.label);
        EXPECT_EQ(host->GetString(effGetParamDisplay, c.index), c.display);
    }
}

TEST_P(BothPlugins, ParameterValuesRoundTrip)
{
    EXPECT_NEAR(host->GetParameter(15), std::log2(1000.0 / 50) / std::log2(240.0), 1e-6); // default cutoff
    host->SetParameter(15, 0.5f);
    EXPECT_NEAR(host->GetParameter(15), 0.5f, 1e-6f);
    host->SetParameter(29, 0.24f); // indexed: rounds to 0
    EXPECT_EQ(host->GetParameter(29), 0.0f);
    host->SetParameter(29, 0.25f); // ... and to 1
    EXPECT_EQ(host->GetParameter(29), 0.5f);
    // Placeholders store nothing and read back 0.
    host->SetParameter(13, 1.0f);
    host->SetParameter(25, 0.5f);
    EXPECT_EQ(host->GetParameter(13), 0.0f);
    EXPECT_EQ(host->GetParameter(25), 0.0f);
}

TEST_P(BothPlugins, ProgramsAndChunk)
{
    EXPECT_EQ(host->GetString(effGetProgramName), "Defaults");
    char name[64] = "x";
    EXPECT_EQ(host->Dispatch(effGetProgramNameIndexed, 0, 0, name), 1);
    EXPECT_STREQ(name, "Defaults");
    strcpy(name, "untouched");
    EXPECT_EQ(host->Dispatch(effGetProgramNameIndexed, 1, 0, name), 0);
    EXPECT_STREQ(name, "untouched");

    char newName[] = "Bell Loop";
    host->Dispatch(effSetProgramName, 0, 0, newName);
    host->SetParameter(15, 0.5f);
    host->SetParameter(6, 0.25f);

    void* data = nullptr;
    VstIntPtr size = host->Dispatch(effGetChunk, 0, 0, &data);
    ASSERT_EQ(size, 652);
    ASSERT_NE(data, nullptr);
    std::vector<unsigned char> saved(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    // Bank and program requests give the same block.
    void* bankData = nullptr;
    EXPECT_EQ(host->Dispatch(effGetChunk, 1, 0, &bankData), 652);
    EXPECT_EQ(bankData, data);

    // Into a fresh instance: the same bytes and the same values.
    auto other = load(GetParam());
    EXPECT_EQ(other->Dispatch(effSetChunk, 0, size, saved.data()), 1);
    void* loaded = nullptr;
    ASSERT_EQ(other->Dispatch(effGetChunk, 0, 0, &loaded), 652);
    EXPECT_EQ(memcmp(loaded, saved.data(), 652), 0);
    EXPECT_EQ(other->GetString(effGetProgramName), "Bell Loop");
    EXPECT_NEAR(other->GetParameter(15), 0.5f, 1e-6f);
    EXPECT_EQ(other->GetString(effGetParamDisplay, 6), "25.00");
}

TEST_P(BothPlugins, ByteSwappedChunkThroughTheDispatcher)
{
    host->SetParameter(6, 0.25f);
    void* data = nullptr;
    ASSERT_EQ(host->Dispatch(effGetChunk, 0, 0, &data), 652);
    std::vector<unsigned char> chunk(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + 652);
    for (size_t offset = 0; offset < 652; offset += 4)
        if (offset < 12 || offset >= 300)
            std::reverse(chunk.begin() + static_cast<long>(offset), chunk.begin() + static_cast<long>(offset) + 4);

    auto other = load(GetParam());
    testing::internal::CaptureStdout();
    EXPECT_EQ(other->Dispatch(effSetChunk, 0, 652, chunk.data()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "orvo vst byte swapping chunk\n");
    EXPECT_EQ(other->GetString(effGetParamDisplay, 6), "25.00");
    EXPECT_EQ(other->GetString(effGetParamDisplay, 1), "60 C4");
}

TEST_P(BothPlugins, OutputPinsAndCanDo)
{
    VstPinProperties pin;
    for (int i = 0; i < 2; ++i)
    {
        memset(&pin, 0, sizeof(pin));
        EXPECT_EQ(host->Dispatch(effGetOutputProperties, i, 0, &pin), 1);
        EXPECT_EQ(std::string(pin.label), "Orvo " + std::to_string(i + 1));
        EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    EXPECT_EQ(host->Dispatch(effGetOutputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(host->Dispatch(effGetInputProperties, 0, 0, &pin), 0);
    for (const char* other : {"sendVstEvents", "receiveVstEvents", "bypass", "", "receiveVstMidiEvents"})
        EXPECT_EQ(host->CanDo(other), 0) << other;
}

TEST_P(BothPlugins, EditorOpcodesWithoutAnEditor)
{
    ERect* rect = nullptr;
    EXPECT_EQ(host->Dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(host->Dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(host->Dispatch(effEditKeyDown, 'a', 0, nullptr, 0), 0);
    EXPECT_EQ(host->Dispatch(effEditIdle), 0);
    EXPECT_EQ(host->Dispatch(effEditClose), 0);
}

TEST_P(BothPlugins, BadInputFromTheHostIsIgnored)
{
    // Null text buffers.
    for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay, effGetProgramName,
                            effSetProgramName, effGetEffectName, effGetVendorString, effGetProductString,
                            effCanDo, effGetProgramNameIndexed, effGetOutputProperties, effGetChunk})
        EXPECT_EQ(host->Dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    // Parameter indices outside 0...87.
    for (int index : {-1, 88, 1000, -2147483647 - 1})
    {
        host->SetParameter(index, 0.5f);
        EXPECT_EQ(host->GetParameter(index), 0.0f);
        char text[64] = "unchanged";
        host->Dispatch(effGetParamDisplay, index, 0, text);
        host->Dispatch(effGetParamName, index, 0, text);
        host->Dispatch(effGetParamLabel, index, 0, text);
        EXPECT_STREQ(text, "unchanged");
    }
    // Programs outside the range.
    host->Dispatch(effSetProgram, 0, 1);
    host->Dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(host->Dispatch(effGetProgram), 0);
    // Null, short and negative-size chunks.
    std::vector<unsigned char> before(652);
    void* data = nullptr;
    host->Dispatch(effGetChunk, 0, 0, &data);
    memcpy(before.data(), data, 652);
    EXPECT_EQ(host->Dispatch(effSetChunk, 0, 652, nullptr), 1);
    EXPECT_EQ(host->Dispatch(effSetChunk, 0, -20, before.data()), 1);
    EXPECT_EQ(host->Dispatch(effSetChunk, 0, 0, before.data()), 1);
    EXPECT_EQ(memcmp(data, before.data(), 652), 0);
    unsigned char shortChunk[3] = {1, 2, 3};
    EXPECT_EQ(host->Dispatch(effSetChunk, 0, 3, shortChunk), 1);
    EXPECT_EQ(host->GetString(effGetParamDisplay, 1), "60 C4");
    EXPECT_EQ(host->GetString(effGetProgramName), "Defaults");
}

TEST_P(BothPlugins, SuspendResumeAndConfiguration)
{
    host->Start(48000.0f, 256);
    host->Dispatch(effMainsChanged, 0, 0);
    host->Dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host->Dispatch(effGetTailSize), 0);
    EXPECT_EQ(host->Dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(host->Dispatch(effSetTotalSampleToProcess, 0, 777), 777);
    EXPECT_EQ(host->Dispatch(effCanBeAutomated, 5), 1);
}

TEST(Processing, InstrumentClearsItsOutputs)
{
    auto host = load(kSynth);
    host->Start(44100.0f, 64);
    std::vector<float> left(64, 0.7f), right(64, -0.3f);
    float* outputs[2] = {left.data(), right.data()};
    host->Process(nullptr, outputs, 64);
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(left[i] == 0.0f && right[i] == 0.0f) << i;
}

TEST(Processing, EffectMixesItsInputAtTheDryLevelCubed)
{
    auto host = load(kEffect);
    host->Start(44100.0f, 64);
    std::vector<float> inL(64), inR(64);
    for (int i = 0; i < 64; ++i)
    {
        inL[i] = std::sin(0.1f * static_cast<float>(i)) * 0.8f;
        inR[i] = std::cos(0.37f * static_cast<float>(i)) * 0.4f;
    }
    struct Case
    {
        float normalised;
        float gain;
    } cases[] = {{0.5f, 1.0f}, {0.0f, 0.0f}, {1.0f, 8.0f}};
    for (const Case& c : cases)
    {
        host->SetParameter(39, c.normalised); // Dry Level 0...2
        std::vector<float> outL(64, 5.0f), outR(64, 5.0f);
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        host->Process(inputs, outputs, 64);
        for (int i = 0; i < 64; ++i)
        {
            ASSERT_EQ(outL[i], c.gain * inL[i]) << i;
            ASSERT_EQ(outR[i], c.gain * inR[i]) << i;
        }
    }
}

TEST(VendorSpecific, SavesTheBufferAsAiff)
{
    auto host = load(kEffect);
    host->Start(44100.0f, 512);
    std::string path = "/tmp/orvo-boundary-buffer-" + std::to_string(getpid()) + ".aiff";
    const VstInt32 selector = VstFourCC('O', 'r', 'v', 'B');
    EXPECT_EQ(host->Dispatch(effVendorSpecific, selector, 0, const_cast<char*>(path.c_str())), 1);
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.frames, 44100); // one second of silence by default
    EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    sf_close(file);
    unlink(path.c_str());
    EXPECT_EQ(host->Dispatch(effVendorSpecific, selector, 0, const_cast<char*>("/no/such/folder/x.aiff")), 0);
    EXPECT_EQ(host->Dispatch(effVendorSpecific, 1234, 0, const_cast<char*>(path.c_str())), 0);
}
