// The plug-in base inside the process: programs, names, properties and
// listeners, automation towards the host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/VmraXFadeLooperSynth.h"

namespace
{
struct HostLog
{
    std::vector<std::pair<int, float>> automation;
};
HostLog g_host;

VstIntPtr recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt)
{
    if (opcode == audioMasterVersion)
        return kVstVersion;
    if (opcode == audioMasterAutomate)
        g_host.automation.emplace_back(index, opt);
    return 0;
}

// An instrument whose property 64123 can be set, to see listeners called.
class SettableUnit : public VmraXFadeLooperSynth
{
public:
    SettableUnit() : VmraXFadeLooperSynth(recordingHost) {}
    OSStatus SetProperty(unsigned long id, unsigned long scope, unsigned long element, const void* data,
                         unsigned long size) override
    {
        if (id == 64123)
            return noErr;
        return VmraXFadeLooperSynth::SetProperty(id, scope, element, data, size);
    }
};

struct Call
{
    int tag;
    unsigned long id;
};
std::vector<Call> g_calls;

void listenerA(void* refCon, VmraAuBase*, unsigned long id, unsigned long, unsigned long)
{
    g_calls.push_back({*static_cast<int*>(refCon), id});
}
void listenerB(void* refCon, VmraAuBase*, unsigned long id, unsigned long, unsigned long)
{
    g_calls.push_back({100 + *static_cast<int*>(refCon), id});
}

std::string display(VmraAuBase& unit, int index)
{
    char text[64];
    memset(text, 'x', sizeof(text));
    unit.getParameterDisplay(index, text);
    return text;
}
} // namespace

TEST(PluginBase, FreshProgramHoldsTheDefaults)
{
    SettableUnit unit;
    for (int i = 0; i < kNumParams; ++i)
        EXPECT_EQ(unit.CurrentProgram()->GetParameter(i), astParamInfos[i].defaultValue) << i;
    char name[64];
    unit.getProgramName(name);
    EXPECT_STREQ(name, "Defaults");
}

TEST(PluginBase, NamesAreCutAfter15Bytes)
{
    SettableUnit unit;
    char text[64];
    memset(text, 'x', sizeof(text));
    unit.getParameterName(kParam_FilterEnvAttackShape, text);
    EXPECT_STREQ(text, "Filter Env Atta");
    unit.getParameterName(kParam_Volume, text);
    EXPECT_STREQ(text, "Volume");
}

TEST(PluginBase, ProgramNamesStayInsideTheHostBuffer)
{
    SettableUnit unit;
    char longName[] = "A program name far longer than the host's buffer";
    unit.setProgramName(longName);
    char text[kVstMaxProgNameLen + 8];
    memset(text, 'x', sizeof(text));
    unit.getProgramName(text);
    EXPECT_EQ(strlen(text), size_t(kVstMaxProgNameLen - 1));
    EXPECT_EQ(text[kVstMaxProgNameLen], 'x');
    EXPECT_TRUE(unit.getProgramNameIndexed(0, 0, text));
    EXPECT_FALSE(unit.getProgramNameIndexed(0, 1, text));
    EXPECT_FALSE(unit.getProgramNameIndexed(0, -1, text));
}

TEST(PluginBase, IndexedValueOutsideItsStringsShowsTheNumber)
{
    SettableUnit unit;
    unit.CurrentProgram()->SetParameter(kParam_LoopMode, 7);
    EXPECT_EQ(display(unit, kParam_LoopMode), "7");
    unit.CurrentProgram()->SetParameter(kParam_LoopMode, -3);
    EXPECT_EQ(display(unit, kParam_LoopMode), "-3");
    unit.CurrentProgram()->SetParameter(kParam_Beats, 16);
    EXPECT_EQ(display(unit, kParam_Beats), "16");
}

TEST(PluginBase, SetParameterAutomatedReportsNormalisedValue)
{
    SettableUnit unit;
    g_host.automation.clear();
    unit.SetParameterAutomated(kParam_FilterCutoff, 774.6f);
    unit.SetParameterAutomated(kParam_Crossfade, 25.0f);
    ASSERT_EQ(g_host.automation.size(), 2u);
    EXPECT_EQ(g_host.automation[0].first, kParam_FilterCutoff);
    EXPECT_NEAR(g_host.automation[0].second, 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(g_host.automation[1].second, 0.25f);
    // It only reports; the caller stores.
    EXPECT_EQ(unit.CurrentProgram()->GetParameter(kParam_Crossfade), 50.0f);
}

TEST(Properties, ListenersAreCalledInOrderOnlyAfterSuccessfulSets)
{
    SettableUnit unit;
    int one = 1, two = 2;
    g_calls.clear();
    AudioUnitAddPropertyListener(&unit, 64123, listenerA, &one);
    AudioUnitAddPropertyListener(&unit, 64123, listenerB, &two);
    AudioUnitAddPropertyListener(&unit, 64124, listenerA, &two);
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64123, 0, 0, nullptr, 0), noErr);
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64124, 0, 0, nullptr, 0), kAudioUnitErr_InvalidProperty);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].tag, 1);
    EXPECT_EQ(g_calls[1].tag, 102);
    EXPECT_EQ(g_calls[0].id, 64123u);
}

TEST(Properties, RemoveTakesEveryDuplicateWhateverItsRefCon)
{
    SettableUnit unit;
    int one = 1, two = 2;
    g_calls.clear();
    unit.AddPropertyListener(64123, listenerA, &one);
    unit.AddPropertyListener(64123, listenerA, &two);
    unit.AddPropertyListener(64123, listenerB, &one);
    unit.AddPropertyListener(64123, listenerA, &one);
    unit.RemovePropertyListener(64123, listenerA);
    unit.PropertyChanged(64123, 0, 0);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].tag, 101);
}

TEST(Properties, ValueStringsPropertyAlwaysSucceeds)
{
    SettableUnit unit;
    CFArrayRef array = nullptr;
    EXPECT_EQ(AudioUnitGetProperty(&unit, kAudioUnitProperty_ParameterValueStrings, 0, kParam_Beats, &array, nullptr),
              noErr);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(AudioUnitGetProperty(&unit, kAudioUnitProperty_ParameterValueStrings, 0, kParam_LoopMode, &array,
                                   nullptr),
              noErr);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(CFArrayGetCount(array), 3);
    CFRelease(array);

    unsigned long size = 0;
    unsigned char writable = 1;
    EXPECT_EQ(AudioUnitGetPropertyInfo(&unit, kAudioUnitProperty_ParameterValueStrings, 0, 29, &size, &writable),
              noErr);
    EXPECT_EQ(size, sizeof(CFArrayRef));
    EXPECT_EQ(writable, 0);
    EXPECT_EQ(AudioUnitGetPropertyInfo(&unit, 12345, 0, 0, &size, &writable), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(AudioUnitGetProperty(&unit, 12345, 0, 0, nullptr, nullptr), kAudioUnitErr_InvalidProperty);
}

TEST(Properties, StringFromValueForAGivenOrTheCurrentValue)
{
    SettableUnit unit;
    float value = 72;
    AudioUnitParameterStringFromValue request = {kParam_RootNote, &value, nullptr};
    ASSERT_EQ(AudioUnitGetProperty(&unit, kAudioUnitProperty_ParameterStringFromValue, 0, 0, &request, nullptr),
              noErr);
    EXPECT_STREQ(CFStringGetCStringPtr(request.outString), "72 C5");
    CFRelease(request.outString);

    AudioUnitParameterStringFromValue current = {kParam_RootNote, nullptr, nullptr};
    ASSERT_EQ(AudioUnitGetProperty(&unit, kAudioUnitProperty_ParameterStringFromValue, 0, 0, &current, nullptr),
              noErr);
    EXPECT_STREQ(CFStringGetCStringPtr(current.outString), "60 C4");
    CFRelease(current.outString);

    AudioUnitParameterStringFromValue numeric = {kParam_Volume, nullptr, nullptr};
    EXPECT_EQ(AudioUnitGetProperty(&unit, kAudioUnitProperty_ParameterStringFromValue, 0, 0, &numeric, nullptr),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(numeric.outString, nullptr);
}
