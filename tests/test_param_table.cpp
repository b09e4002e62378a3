// The parameter table, its value strings and the display texts of values.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "plugin/VmraAuBase.h"
#include "xfadelooper/ParamInfo.h"

namespace
{
std::string text(CFStringRef s)
{
    return s ? CFStringGetCStringPtr(s) : "<none>";
}
} // namespace

TEST(ParamTable, RowsAreConsistent)
{
    std::set<std::string> names;
    for (int i = 0; i < kNumParams; ++i)
    {
        const ParamInfo& p = astParamInfos[i];
        SCOPED_TRACE(i);
        EXPECT_LE(p.min, p.defaultValue);
        EXPECT_LE(p.defaultValue, p.max);
        ASSERT_NE(p.name, nullptr);
        if (IsParameterUsed(i))
            EXPECT_TRUE(names.insert(p.name).second) << "duplicate name " << p.name;
        else
            EXPECT_STREQ(p.name, "Unused");
    }
    EXPECT_EQ(names.size(), 86u);
}

TEST(ParamTable, SampleRows)
{
    struct Row
    {
        int index;
        const char* name;
        AudioUnitParameterUnit unit;
        float min, max, def;
    } rows[] = {
        {0, "Volume", kAudioUnitParameterUnit_MixerFaderCurve1, 0, 2, 1},
        {1, "Root Note", kAudioUnitParameterUnit_MIDINoteNumber, 0, 127, 60},
        {13, "Unused", kAudioUnitParameterUnit_Generic, 0, 0, 0},
        {15, "Filter Cutoff", kAudioUnitParameterUnit_Hertz, 50, 12000, 1000},
        {24, "Filter Env Release Shape", kAudioUnitParameterUnit_Generic, 0, 1, 1},
        {36, "Record Mode", kAudioUnitParameterUnit_Indexed, 0, 5, 1},
        {65, "Buffer Size", kAudioUnitParameterUnit_Seconds, 0, 60, 1},
        {78, "Reference Tone Level", kAudioUnitParameterUnit_EqualPowerCrossfade, 0, 100, 0},
        {80, "Hard Sync Detune", kAudioUnitParameterUnit_Cents, -2400, 2400, 0},
        {87, "OSC Port Offset", kAudioUnitParameterUnit_Indexed, 0, 100, 0},
    };
    for (const Row& r : rows)
    {
        const ParamInfo& p = astParamInfos[r.index];
        SCOPED_TRACE(r.index);
        EXPECT_STREQ(p.name, r.name);
        EXPECT_EQ(p.unit, r.unit);
        EXPECT_EQ(p.min, r.min);
        EXPECT_EQ(p.max, r.max);
        EXPECT_EQ(p.defaultValue, r.def);
    }
}

TEST(ParamTable, OnlyThePlaceholdersAreUnused)
{
    for (int i = 0; i < kNumParams; ++i)
        EXPECT_EQ(IsParameterUsed(i), i != 13 && i != 25) << i;
}

TEST(ParamTable, BufferSizeMaximumFollowsItsSetter)
{
    SetBufferSizeMaximum(120);
    EXPECT_EQ(astParamInfos[kParam_BufferSize].max, 120.0f);
    SetBufferSizeMaximum(60);
    EXPECT_EQ(astParamInfos[kParam_BufferSize].max, 60.0f);
}

TEST(ValueStrings, ListsOfTheIndexedParameters)
{
    struct Case
    {
        int index;
        long count;
        long position;
        const char* text;
    } cases[] = {
        {29, 3, 2, "Alternate"},      {33, 2, 1, "Equal Power"}, {35, 5, 4, "Different Note"},
        {36, 6, 0, "Continuous"},     {36, 6, 4, "Gated By Notes With Reset"},
        {36, 6, 5, "Triggered"},      {50, 4, 3, "Square"},      {57, 4, 1, "Triangle"},
        {71, 4, 2, "Saw"},            {81, 4, 0, "Sine"},        {66, 4, 1, "Off (Adaptive)"},
        {68, 6, 5, "1/32"},           {87, 101, 0, "Off"},       {87, 101, 1, "1"},
        {87, 101, 100, "100"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.index);
        CFArrayRef array = nullptr;
        ASSERT_EQ(GetParameterValueStrings(0, static_cast<unsigned long>(c.index), &array), 0);
        ASSERT_NE(array, nullptr);
        EXPECT_EQ(CFArrayGetCount(array), c.count);
        EXPECT_EQ(text(CFArrayGetValueAtIndex(array, c.position)), c.text);
        EXPECT_EQ(CFArrayGetValueAtIndex(array, c.count), nullptr);
        CFRelease(array);
    }
}

TEST(ValueStrings, NullOutputScopeAndIndicesWithoutStrings)
{
    for (unsigned long i = 0; i < 100; ++i)
        EXPECT_EQ(GetParameterValueStrings(0, i, nullptr), 0) << i;
    CFArrayRef array = nullptr;
    EXPECT_EQ(GetParameterValueStrings(1, 29, &array), -1);
    for (unsigned long index : {0ul, 13ul, 67ul, 79ul, 88ul})
        EXPECT_EQ(GetParameterValueStrings(0, index, &array), -1) << index;
    EXPECT_EQ(array, nullptr);
}

TEST(DisplayStrings, RulesByUnitAndIndex)
{
    const char* kNone = "<none>";
    struct Case
    {
        int index;
        float value;
        OSStatus status;
        const char* text;
    } cases[] = {
        {1, 60, 0, "60 C4"},
        {1, 0, 0, " 0 C-1"},
        {1, 127, 0, "127 G9"},
        {42, 61.9f, 0, "61 C#4"},
        {64, 11, 0, "11 B-1"},
        {1, 200, 0, kNone}, // outside the MIDI range: the caller shows the number
        {28, 0, 0, "Off"},
        {28, 1, 0, "On"},
        {53, 0.5f, 0, "On"},
        {21, 5, 0, "Inf"},
        {21, 4.99f, 0, kNone},
        {79, 0, 0, "Off"},
        {79, 3, 0, kNone},
        {17, 0, 0, "Thru"},
        {17, 1, 0, "Low"},
        {17, 1.003f, 0, "Low"},
        {17, 0.996f, 0, "Low"},
        {17, 1.01f, 0, kNone},
        {17, 1.5f, 0, kNone},
        {17, 2, 0, "Band"},
        {17, 3, 0, "High"},
        {17, 4, 0, "Thru"},
        {0, 1, kAudioUnitErr_InvalidParameter, kNone},
        {15, 1000, kAudioUnitErr_InvalidParameter, kNone},
        {29, 1, kAudioUnitErr_InvalidParameter, kNone},
        {88, 1, kAudioUnitErr_InvalidParameter, kNone},
        {-1, 1, kAudioUnitErr_InvalidParameter, kNone},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << "index " << c.index << " value " << c.value);
        CFStringRef out = nullptr;
        EXPECT_EQ(GetParameterStringFromValue(c.index, c.value, &out), c.status);
        EXPECT_EQ(text(out), c.text);
        CFRelease(out);
    }
}

TEST(Conversions, HertzIsLogarithmic)
{
    AudioUnitParameter cutoff = {nullptr, kParam_FilterCutoff, 0, 0};
    EXPECT_FLOAT_EQ(AUParameterValueFromLinear(0.0f, &cutoff), 50.0f);
    EXPECT_FLOAT_EQ(AUParameterValueFromLinear(1.0f, &cutoff), 12000.0f);
    EXPECT_NEAR(AUParameterValueFromLinear(0.5f, &cutoff), 774.6f, 0.05f);
    EXPECT_NEAR(AUParameterValueToLinear(774.6f, &cutoff), 0.5f, 1e-5f);
    for (float x : {0.0f, 0.1f, 0.37f, 0.9f, 1.0f})
        EXPECT_NEAR(AUParameterValueToLinear(AUParameterValueFromLinear(x, &cutoff), &cutoff), x, 1e-6f) << x;
}

TEST(Conversions, IndexedAndBeatsRound)
{
    AudioUnitParameter loopMode = {nullptr, kParam_LoopMode, 0, 0}; // indexed 0...2
    struct Case
    {
        float x, plain;
    } cases[] = {{0.0f, 0}, {0.24f, 0}, {0.25f, 1}, {0.5f, 1}, {0.74f, 1}, {0.75f, 2}, {1.0f, 2}};
    for (const Case& c : cases)
        EXPECT_EQ(AUParameterValueFromLinear(c.x, &loopMode), c.plain) << c.x;
    EXPECT_FLOAT_EQ(AUParameterValueToLinear(1, &loopMode), 0.5f);
}

TEST(Conversions, LinearUnitsAndEmptyRange)
{
    AudioUnitParameter amount = {nullptr, kParam_FilterEnvAmount, 0, 0}; // -4...4
    EXPECT_FLOAT_EQ(AUParameterValueFromLinear(0.25f, &amount), -2.0f);
    EXPECT_FLOAT_EQ(AUParameterValueToLinear(2.0f, &amount), 0.75f);
    AudioUnitParameter toggle = {nullptr, kParam_NoLoopOnOff, 0, 0}; // booleans are not rounded
    EXPECT_FLOAT_EQ(AUParameterValueFromLinear(0.5f, &toggle), 0.5f);
    AudioUnitParameter unused = {nullptr, kParam_Unused13, 0, 0}; // 0...0
    EXPECT_EQ(AUParameterValueToLinear(0.0f, &unused), 0.0f);
    // No clamping either way.
    EXPECT_FLOAT_EQ(AUParameterValueFromLinear(1.5f, &amount), 8.0f);
}

TEST(Formatting, NumberFormatChosenByMagnitude)
{
    struct Case
    {
        float value;
        const char* text;
    } cases[] = {{9.9996f, "10.000"}, {10.0f, "10.00"}, {99.999f, "100.00"}, {999.96f, "1000.0"},
                 {1000.0f, "1000"},   {0.25f, "0.250"}, {12000.0f, "12000"}, {0.0f, "0.000"}};
    for (const Case& c : cases)
    {
        char text[kDisplayTextSize];
        float2string(c.value, text);
        EXPECT_STREQ(text, c.text) << c.value;
    }
}

TEST(Formatting, UnitLabels)
{
    EXPECT_STREQ(ParameterUnitLabel(kAudioUnitParameterUnit_Hertz), "Hz");
    EXPECT_STREQ(ParameterUnitLabel(kAudioUnitParameterUnit_Seconds), "seconds");
    EXPECT_STREQ(ParameterUnitLabel(kAudioUnitParameterUnit_Percent), "%");
    EXPECT_STREQ(ParameterUnitLabel(kAudioUnitParameterUnit_Cents), "cents");
    EXPECT_STREQ(ParameterUnitLabel(kAudioUnitParameterUnit_Milliseconds), "ms");
    EXPECT_STREQ(ParameterUnitLabel(kAudioUnitParameterUnit_Beats), "beats");
    EXPECT_STREQ(ParameterUnitLabel(kAudioUnitParameterUnit_MixerFaderCurve1), "");
    EXPECT_STREQ(ParameterUnitLabel(kAudioUnitParameterUnit_Indexed), "");
}
