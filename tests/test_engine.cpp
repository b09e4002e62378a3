// The engine object inside a plug-in: buffers, preferences it reads, its
// properties, the instance registry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "osc/OSCBasePort.h"
#include "platform/Preferences.h"
#include "plugin/VmraInstanceTracker.h"
#include "plugin/VmraXFadeLooperEffect.h"
#include "plugin/VmraXFadeLooperSynth.h"
#include "tests/TempDir.h"

namespace
{
int g_updateDisplays = 0;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    if (opcode == audioMasterUpdateDisplay)
        ++g_updateDisplays;
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

template <typename T> T getProperty(VmraAuBase& unit, unsigned long id)
{
    T value{};
    EXPECT_EQ(AudioUnitGetProperty(&unit, id, 0, 0, &value, nullptr), noErr) << id;
    return value;
}

std::vector<unsigned long> g_announced;
void recordAnnouncement(void*, VmraAuBase*, unsigned long id, unsigned long, unsigned long)
{
    g_announced.push_back(id);
}

class Engine : public ::testing::Test
{
protected:
    TempDir config;
    ScopedEnv configHome{"XDG_CONFIG_HOME", config.Path()};
};
} // namespace

TEST_F(Engine, FreshInstrumentHasAnEmptyBuffer)
{
    VmraXFadeLooperSynth unit(host);
    EXPECT_EQ(getProperty<float>(unit, kOrvoProperty_BufferFrames), 0.0f);
    EXPECT_EQ(getProperty<float>(unit, kOrvoProperty_BufferSampleRate), 0.0f);
    EXPECT_EQ(getProperty<unsigned char>(unit, kOrvoProperty_IsEffect), 0);
    EXPECT_EQ(getProperty<int32_t>(unit, kOrvoProperty_MaxBufferSeconds), 60);
    EXPECT_EQ(unit.Engine().BufferFloats(), 0u);
}

TEST_F(Engine, FreshEffectHoldsOneSecondOfSilence)
{
    VmraXFadeLooperEffect unit(host);
    const float sr = 44100.0f;
    EXPECT_EQ(getProperty<float>(unit, kOrvoProperty_BufferFrames), sr);
    EXPECT_EQ(getProperty<float>(unit, kOrvoProperty_BufferSampleRate), sr);
    EXPECT_EQ(getProperty<unsigned char>(unit, kOrvoProperty_IsEffect), 1);
    size_t floats = 2 * static_cast<size_t>(std::trunc(60.0 * sr + 2)) + 2;
    EXPECT_EQ(unit.Engine().BufferFloats(), floats);
    for (size_t i = 0; i < floats; i += 4099)
        ASSERT_EQ(unit.Engine().Buffer()[i], 0.0f);
    const DataToGui* data = getProperty<DataToGui*>(unit, kOrvoProperty_DataToGui);
    EXPECT_EQ(data, unit.GetDataToGui());
    EXPECT_EQ(data->tempo, 120.0);
    EXPECT_EQ(data->timeSigNumerator, 4.0f);
    EXPECT_EQ(data->timeSigDenominator, 4);
}

TEST_F(Engine, PreferencesSetBufferLimitAndOscBasePort)
{
    SetPrefInt("Max buffer size", 5);
    SetPrefInt("OSC Base Port", 9100);
    VmraXFadeLooperEffect unit(host);
    EXPECT_EQ(astParamInfos[kParam_BufferSize].max, 5.0f);
    EXPECT_EQ(VL::g_OSCBasePort.load(), 9100);
    EXPECT_EQ(unit.Engine().BufferFloats(), 2 * static_cast<size_t>(5 * 44100 + 2) + 2);
    // The limit follows the most recently constructed instance.
    SetPrefInt("Max buffer size", 60);
    VmraXFadeLooperSynth other(host);
    EXPECT_EQ(astParamInfos[kParam_BufferSize].max, 60.0f);
    SetPrefInt("OSC Base Port", 7000);
    VmraXFadeLooperSynth third(host);
    EXPECT_EQ(VL::g_OSCBasePort.load(), 7000);
}

TEST_F(Engine, FirstBlockAnnouncesTheBufferOnce)
{
    VmraXFadeLooperEffect unit(host);
    g_announced.clear();
    unit.AddPropertyListener(kOrvoProperty_BufferFrames, recordAnnouncement, nullptr);
    std::vector<float> in(64, 0.0f), outL(64), outR(64);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    unit.processReplacing(inputs, outputs, 64);
    unit.processReplacing(inputs, outputs, 64);
    EXPECT_EQ(g_announced, std::vector<unsigned long>{kOrvoProperty_BufferFrames});
    EXPECT_EQ(unit.GetDataToGui()->bufferFrames, 44100.0f);
    EXPECT_EQ(unit.GetDataToGui()->bufferSampleRate, 44100.0f);
}

TEST_F(Engine, PropertyInfoSizesAndWritability)
{
    VmraXFadeLooperEffect unit(host);
    struct Case
    {
        unsigned long id;
        unsigned long size;
        unsigned char writable;
    } cases[] = {
        {33, sizeof(AudioUnitParameterStringFromValue), 0},
        {64000, 1, 1},
        {64001, 8, 0},
        {64003, 8, 0},
        {64004, 1, 0},
        {64005, 4, 0},
        {64006, 4, 0},
        {64007, 4, 1},
        {64008, sizeof(VL::SampleBytes), 0},
    };
    for (const Case& c : cases)
    {
        unsigned long size = 999;
        unsigned char writable = 9;
        EXPECT_EQ(AudioUnitGetPropertyInfo(&unit, c.id, 0, 0, &size, &writable), noErr) << c.id;
        EXPECT_EQ(size, c.size) << c.id;
        EXPECT_EQ(writable, c.writable) << c.id;
    }
    unsigned long size = 0;
    unsigned char writable = 0;
    EXPECT_EQ(AudioUnitGetPropertyInfo(&unit, 64002, 0, 0, &size, &writable), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64005, 0, 0, &size, 4), kAudioUnitErr_InvalidProperty);
}

TEST_F(Engine, SamplePathPropertyStoresAndReportsThePath)
{
    VmraXFadeLooperSynth unit(host);
    g_announced.clear();
    unit.AddPropertyListener(kOrvoProperty_SamplePath, recordAnnouncement, nullptr);
    const char path[] = "/tmp/no-such-sample.wav";
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64000, 0, 0, path, sizeof(path)), noErr);
    char stored[256] = {0};
    EXPECT_EQ(AudioUnitGetProperty(&unit, 64000, 0, 0, stored, nullptr), noErr);
    EXPECT_STREQ(stored, path);
    unsigned long size = 0;
    unsigned char writable = 0;
    AudioUnitGetPropertyInfo(&unit, 64000, 0, 0, &size, &writable);
    EXPECT_EQ(size, sizeof(path));
    EXPECT_EQ(g_announced.size(), 1u);

    // A size one too large is reported and the shorter length used.
    testing::internal::CaptureStderr();
    const char other[] = "/tmp/other.wav";
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64000, 0, 0, other, sizeof(other) + 1), noErr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "string length error in SetProperty()\n");
    AudioUnitGetProperty(&unit, 64000, 0, 0, stored, nullptr);
    EXPECT_STREQ(stored, other);

    // A path longer than 255 characters is cut.
    std::string longPath = "/" + std::string(400, 'a');
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64000, 0, 0, longPath.c_str(), longPath.size() + 1), noErr);
    AudioUnitGetProperty(&unit, 64000, 0, 0, stored, nullptr);
    EXPECT_EQ(std::string(stored), longPath.substr(0, 255));
}

TEST_F(Engine, SamplePathPropertyRefusesBadInput)
{
    VmraXFadeLooperSynth unit(host);
    const char path[] = "/tmp/a.wav";
    ASSERT_EQ(AudioUnitSetProperty(&unit, 64000, 0, 0, path, sizeof(path)), noErr);
    g_announced.clear();
    unit.AddPropertyListener(kOrvoProperty_SamplePath, recordAnnouncement, nullptr);

    testing::internal::CaptureStderr();
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64000, 0, 0, nullptr, 10), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64000, 0, 0, "/x", 0), kAudioUnitErr_InvalidPropertyValue);
    testing::internal::GetCapturedStderr();
    // Text without a terminator inside the given size is cut, never overread.
    char unterminated[4] = {'/', 'a', 'b', 'c'};
    testing::internal::CaptureStderr();
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64000, 0, 0, unterminated, 4), noErr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "string length error in SetProperty()\n");
    char stored[256];
    AudioUnitGetProperty(&unit, 64000, 0, 0, stored, nullptr);
    EXPECT_STREQ(stored, "/ab");
    EXPECT_EQ(g_announced.size(), 1u);

    for (unsigned long id : {33ul, 64000ul, 64001ul, 64003ul, 64004ul, 64005ul, 64006ul, 64007ul, 64008ul})
        EXPECT_EQ(AudioUnitGetProperty(&unit, id, 0, 0, nullptr, nullptr), kAudioUnitErr_InvalidPropertyValue) << id;
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64007, 0, 0, nullptr, 4), kAudioUnitErr_InvalidPropertyValue);
    int32_t seconds = 30;
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64007, 0, 0, &seconds, 2), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(AudioUnitSetProperty(&unit, 64007, 0, 0, &seconds, 4), noErr);
    EXPECT_EQ(getProperty<int32_t>(unit, 64007), 30);
}

TEST_F(Engine, SampleBytesAreNormalisedTo24Bit)
{
    VmraXFadeLooperEffect unit(host);
    VL::SampleBytes record{};
    ASSERT_EQ(AudioUnitGetProperty(&unit, 64008, 0, 0, &record, nullptr), noErr);
    EXPECT_EQ(record.description.mSampleRate, 44100.0);
    EXPECT_EQ(record.description.mFormatID, kAudioFormatLinearPCM);
    EXPECT_EQ(record.description.mFormatFlags, 14u);
    EXPECT_EQ(record.description.mBytesPerFrame, 6u);
    EXPECT_EQ(record.description.mChannelsPerFrame, 2u);
    EXPECT_EQ(record.description.mBitsPerChannel, 24u);
    EXPECT_EQ(record.byteCount, 44100u * 6);
    ASSERT_NE(record.bytes, nullptr);
    // Silence stays silence.
    for (uint32_t i = 0; i < record.byteCount; i += 997)
        ASSERT_EQ(record.bytes[i], 0);
    delete[] record.bytes;
}

TEST_F(Engine, OverviewIsFlatForASilentBuffer)
{
    VmraXFadeLooperEffect unit(host);
    const float* overview = getProperty<float*>(unit, kOrvoProperty_Overview);
    for (int c = 0; c < 256; ++c)
    {
        EXPECT_EQ(overview[4 * c], static_cast<float>(c));
        EXPECT_EQ(overview[4 * c + 1], 0.0f);
        EXPECT_EQ(overview[4 * c + 2], static_cast<float>(c));
        EXPECT_EQ(overview[4 * c + 3], 0.0f);
    }
}

TEST_F(Engine, BlocksLargerThanAnnouncedAreRenderedInSlices)
{
    VmraXFadeLooperEffect unit(host);
    unit.setBlockSize(256);
    unit.setParameter(kParam_DryLevel, 1.0f); // gain 8
    const int frames = 3000;
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    for (int i = 0; i < frames; ++i)
    {
        inL[i] = static_cast<float>(i % 100) / 100.0f;
        inR[i] = -inL[i];
    }
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    unit.processReplacing(inputs, outputs, frames);
    for (int i = 0; i < frames; ++i)
        ASSERT_TRUE(outL[i] == 8 * inL[i] && outR[i] == 8 * inR[i]) << i;
}

TEST_F(Engine, UnusedParametersAreNotStoredAndShowUnused)
{
    VmraXFadeLooperSynth unit(host);
    unit.setParameter(13, 1.0f);
    unit.setParameter(25, 1.0f);
    EXPECT_EQ(unit.CurrentProgram()->GetParameter(13), 0.0f);
    EXPECT_EQ(unit.CurrentProgram()->GetParameter(25), 0.0f);
    char text[64];
    unit.getParameterDisplay(13, text);
    EXPECT_STREQ(text, "Unused");
}

TEST_F(Engine, RegistryReachesInstancesByOscIndex)
{
    int before = VmraInstanceTracker::NumInstances();
    auto a = std::make_unique<VmraXFadeLooperSynth>(host);
    auto b = std::make_unique<VmraXFadeLooperEffect>(host);
    auto c = std::make_unique<VmraXFadeLooperSynth>(host);
    EXPECT_EQ(VmraInstanceTracker::NumInstances(), before + 3);
    a->CurrentProgram()->SetParameter(kParam_OSCPortOffset, 3);
    b->CurrentProgram()->SetParameter(kParam_OSCPortOffset, 3);
    c->CurrentProgram()->SetParameter(kParam_OSCPortOffset, 4);

    g_updateDisplays = 0;
    VmraInstanceTracker::SetParameterOnAllByOSCIndex(3, kParam_Volume, 1.25f);
    EXPECT_EQ(a->CurrentProgram()->GetParameter(kParam_Volume), 1.25f);
    EXPECT_EQ(b->CurrentProgram()->GetParameter(kParam_Volume), 1.25f);
    EXPECT_EQ(c->CurrentProgram()->GetParameter(kParam_Volume), 1.0f);
    EXPECT_EQ(g_updateDisplays, 2);

    b->CurrentProgram()->SetParameter(kParam_Volume, 0.5f);
    EXPECT_EQ(VmraInstanceTracker::GetParameterFromAllByOSCIndex(3, kParam_Volume), 1.25f); // first registered
    EXPECT_EQ(VmraInstanceTracker::GetParameterFromAllByOSCIndex(9, kParam_Volume), 0.0f);  // nobody
    EXPECT_EQ(VmraInstanceTracker::GetParameterFromAllByOSCIndex(3, 88), 0.0f);
    VmraInstanceTracker::SetParameterOnAllByOSCIndex(3, 88, 1.0f); // ignored
    VmraInstanceTracker::SetParameterOnAllByOSCIndex(3, -1, 1.0f); // ignored

    VmraInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(4, 7, 1);
    EXPECT_TRUE(c->GetDataToGui()->guiBools[7]);
    EXPECT_FALSE(a->GetDataToGui()->guiBools[7]);
    EXPECT_TRUE(VmraInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(4, 7));
    EXPECT_FALSE(VmraInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(3, 7));
    EXPECT_FALSE(VmraInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(4, 8));
    VmraInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(4, 8, 1); // ignored

    // Registered twice, removed in one go.
    VmraInstanceTracker::AddInstance(a.get());
    VmraInstanceTracker::RemoveInstance(a.get());
    EXPECT_EQ(VmraInstanceTracker::NumInstances(), before + 2);
    EXPECT_EQ(VmraInstanceTracker::GetParameterFromAllByOSCIndex(3, kParam_Volume), 0.5f);
    a.reset();
    b.reset();
    c.reset();
    EXPECT_EQ(VmraInstanceTracker::NumInstances(), before);
}
