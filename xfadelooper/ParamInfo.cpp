#include "xfadelooper/ParamInfo.h"

#include <cmath>
#include <cstdio>

ParamInfo astParamInfos[kNumParams] = {
    {"Volume", kAudioUnitParameterUnit_MixerFaderCurve1, 0.0f, 2.0f, 1.0f}, // 0
    {"Root Note", kAudioUnitParameterUnit_MIDINoteNumber, 0.0f, 127.0f, 60.0f}, // 1
    {"Fine Tune", kAudioUnitParameterUnit_Cents, -50.0f, 50.0f, 0.0f}, // 2
    {"Start Offset", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.0f}, // 3
    {"Loop Start", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.0f}, // 4
    {"Loop End", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 1.0f}, // 5
    {"Crossfade", kAudioUnitParameterUnit_Percent, 0.0f, 100.0f, 50.0f}, // 6
    {"Attack", kAudioUnitParameterUnit_Seconds, 0.0f, 5.0f, 0.5f}, // 7
    {"Decay", kAudioUnitParameterUnit_Seconds, 0.0f, 5.0f, 0.5f}, // 8
    {"Release", kAudioUnitParameterUnit_Seconds, 0.0f, 5.0f, 0.5f}, // 9
    {"Attack Shape", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.0f}, // 10
    {"Decay Shape", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.0f}, // 11
    {"Release Shape", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.0f}, // 12
    {"Unused", kAudioUnitParameterUnit_Generic, 0.0f, 0.0f, 0.0f}, // 13
    {"Sustain", kAudioUnitParameterUnit_LinearGain, 0.0f, 1.0f, 0.7f}, // 14
    {"Filter Cutoff", kAudioUnitParameterUnit_Hertz, 50.0f, 12000.0f, 1000.0f}, // 15
    {"Filter Q", kAudioUnitParameterUnit_Generic, 0.01f, 1.0f, 0.1f}, // 16
    {"Filter Type", kAudioUnitParameterUnit_Generic, 0.0f, 4.0f, 0.0f}, // 17
    {"Filter Env Amount", kAudioUnitParameterUnit_Generic, -4.0f, 4.0f, 0.0f}, // 18
    {"Filter Env Attack", kAudioUnitParameterUnit_Seconds, 0.0f, 5.0f, 0.5f}, // 19
    {"Filter Env Decay", kAudioUnitParameterUnit_Seconds, 0.0f, 5.0f, 0.5f}, // 20
    {"Filter Env Release", kAudioUnitParameterUnit_Seconds, 0.0f, 5.0f, 0.5f}, // 21
    {"Filter Env Attack Shape", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 1.0f}, // 22
    {"Filter Env Decay Shape", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 1.0f}, // 23
    {"Filter Env Release Shape", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 1.0f}, // 24
    {"Unused", kAudioUnitParameterUnit_Generic, 0.0f, 0.0f, 0.0f}, // 25
    {"Filter Env Sustain", kAudioUnitParameterUnit_LinearGain, 0.0f, 1.0f, 0.7f}, // 26
    {"No Loop Fade", kAudioUnitParameterUnit_Milliseconds, 0.0f, 100.0f, 0.0f}, // 27
    {"No Loop On/Off", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 28
    {"Loop Mode", kAudioUnitParameterUnit_Indexed, 0.0f, 2.0f, 0.0f}, // 29
    {"Saturation On/Off", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 30
    {"Saturation Amount", kAudioUnitParameterUnit_Generic, 0.0f, 11.0f, 0.0f}, // 31
    {"Saturation Shape", kAudioUnitParameterUnit_Generic, 0.0f, 11.0f, 1.0f}, // 32
    {"Crossfade Type", kAudioUnitParameterUnit_Indexed, 0.0f, 1.0f, 0.0f}, // 33
    {"Pitch Wheel Range", kAudioUnitParameterUnit_RelativeSemiTones, 0.0f, 12.0f, 2.0f}, // 34
    {"Play Position Memory", kAudioUnitParameterUnit_Indexed, 0.0f, 4.0f, 0.0f}, // 35
    {"Record Mode", kAudioUnitParameterUnit_Indexed, 0.0f, 5.0f, 1.0f}, // 36
    {"Record On/Off", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 37
    {"Record Level", kAudioUnitParameterUnit_MixerFaderCurve1, 0.0f, 2.0f, 1.0f}, // 38
    {"Dry Level", kAudioUnitParameterUnit_MixerFaderCurve1, 0.0f, 2.0f, 1.0f}, // 39
    {"Feedback", kAudioUnitParameterUnit_Percent, 0.0f, 100.0f, 0.0f}, // 40
    {"Drone 0 On/Off", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 41
    {"Drone 0 Note", kAudioUnitParameterUnit_MIDINoteNumber, 0.0f, 127.0f, 48.0f}, // 42
    {"Drone 0 Volume", kAudioUnitParameterUnit_MixerFaderCurve1, 0.0f, 1.0f, 0.8f}, // 43
    {"Drone 1 On/Off", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 44
    {"Drone 1 Note", kAudioUnitParameterUnit_MIDINoteNumber, 0.0f, 127.0f, 60.0f}, // 45
    {"Drone 1 Volume", kAudioUnitParameterUnit_MixerFaderCurve1, 0.0f, 1.0f, 0.8f}, // 46
    {"Drone 2 On/Off", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 47
    {"Drone 2 Note", kAudioUnitParameterUnit_MIDINoteNumber, 0.0f, 127.0f, 72.0f}, // 48
    {"Drone 2 Volume", kAudioUnitParameterUnit_MixerFaderCurve1, 0.0f, 1.0f, 0.8f}, // 49
    {"Filter LFO Shape", kAudioUnitParameterUnit_Indexed, 0.0f, 3.0f, 0.0f}, // 50
    {"Filter LFO Speed", kAudioUnitParameterUnit_Hertz, 0.05f, 20.0f, 0.2f}, // 51
    {"Filter LFO Amount", kAudioUnitParameterUnit_Generic, 0.0f, 3.0f, 0.0f}, // 52
    {"Filter LFO Invert", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 53
    {"Filter LFO Delay", kAudioUnitParameterUnit_Seconds, 0.0f, 10.0f, 0.0f}, // 54
    {"Filter LFO Retrigger", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 55
    {"Filter LFO Mono", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 56
    {"Pitch LFO Shape", kAudioUnitParameterUnit_Indexed, 0.0f, 3.0f, 0.0f}, // 57
    {"Pitch LFO Speed", kAudioUnitParameterUnit_Hertz, 0.05f, 20.0f, 5.0f}, // 58
    {"Pitch LFO Amount", kAudioUnitParameterUnit_Cents, 0.0f, 100.0f, 0.0f}, // 59
    {"Pitch LFO Invert", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 60
    {"Pitch LFO Delay", kAudioUnitParameterUnit_Seconds, 0.0f, 10.0f, 0.0f}, // 61
    {"Pitch LFO Retrigger", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 62
    {"Pitch LFO Mono", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 63
    {"Calibration Note", kAudioUnitParameterUnit_MIDINoteNumber, 0.0f, 127.0f, 60.0f}, // 64
    {"Buffer Size", kAudioUnitParameterUnit_Seconds, 0.0f, 60.0f, 1.0f}, // 65
    {"Use Beats", kAudioUnitParameterUnit_Indexed, 0.0f, 3.0f, 0.0f}, // 66
    {"Beats", kAudioUnitParameterUnit_Indexed, 1.0f, 64.0f, 4.0f}, // 67
    {"Beat Divisor", kAudioUnitParameterUnit_Indexed, 0.0f, 5.0f, 2.0f}, // 68
    {"Triplet", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 69
    {"Pulse Width", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.0f}, // 70
    {"Pulse Width LFO Shape", kAudioUnitParameterUnit_Indexed, 0.0f, 3.0f, 0.0f}, // 71
    {"Pulse Width LFO Speed", kAudioUnitParameterUnit_Hertz, 0.05f, 20.0f, 0.1f}, // 72
    {"Pulse Width LFO Amount", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.0f}, // 73
    {"Pulse Width LFO Invert", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 74
    {"Pulse Width LFO Delay", kAudioUnitParameterUnit_Seconds, 0.0f, 10.0f, 0.0f}, // 75
    {"Pulse Width LFO Retrigger", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 76
    {"Pulse Width LFO Mono", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 77
    {"Reference Tone Level", kAudioUnitParameterUnit_EqualPowerCrossfade, 0.0f, 100.0f, 0.0f}, // 78
    {"Hard Sync Cycles", kAudioUnitParameterUnit_Indexed, 0.0f, 16.0f, 0.0f}, // 79
    {"Hard Sync Detune", kAudioUnitParameterUnit_Cents, -2400.0f, 2400.0f, 0.0f}, // 80
    {"Sync Detune LFO Shape", kAudioUnitParameterUnit_Indexed, 0.0f, 3.0f, 0.0f}, // 81
    {"Sync Detune LFO Speed", kAudioUnitParameterUnit_Hertz, 0.05f, 20.0f, 0.1f}, // 82
    {"Sync Detune LFO Amount", kAudioUnitParameterUnit_Cents, 0.0f, 1200.0f, 0.0f}, // 83
    {"Sync Detune LFO Invert", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 84
    {"Sync Detune LFO Delay", kAudioUnitParameterUnit_Seconds, 0.0f, 10.0f, 0.0f}, // 85
    {"Sync Detune LFO Retrigger", kAudioUnitParameterUnit_Boolean, 0.0f, 1.0f, 0.0f}, // 86
    {"OSC Port Offset", kAudioUnitParameterUnit_Indexed, 0.0f, 100.0f, 0.0f}, // 87
};

bool IsParameterUsed(int index)
{
    return index != kParam_Unused13 && index != kParam_Unused25;
}

void SetBufferSizeMaximum(float seconds)
{
    astParamInfos[kParam_BufferSize].max = seconds;
}

namespace
{
// ---- value strings --------------------------------------------------------

#define STR(name, text) CFLITE_STATIC_STRING(name, text)
STR(sForwards, "Forwards");
STR(sReverse, "Reverse");
STR(sAlternate, "Alternate");
STR(sEqualGain, "Equal Gain");
STR(sEqualPower, "Equal Power");
STR(sOff, "Off");
STR(sOn, "On");
STR(sGlobal, "Global");
STR(sPerNote, "Per Note");
STR(sSameNote, "Same Note");
STR(sDifferentNote, "Different Note");
STR(sContinuous, "Continuous");
STR(sGated, "Gated");
STR(sGatedWithReset, "Gated With Reset");
STR(sGatedByNotes, "Gated By Notes");
STR(sGatedByNotesWithReset, "Gated By Notes With Reset");
STR(sTriggered, "Triggered");
STR(sSine, "Sine");
STR(sTriangle, "Triangle");
STR(sSaw, "Saw");
STR(sSquare, "Square");
STR(sOffAdaptive, "Off (Adaptive)");
STR(sOnAdaptive, "On (Adaptive)");
STR(sDiv1, "1/1");
STR(sDiv2, "1/2");
STR(sDiv4, "1/4");
STR(sDiv8, "1/8");
STR(sDiv16, "1/16");
STR(sDiv32, "1/32");
STR(sInf, "Inf");
STR(sThru, "Thru");
STR(sLow, "Low");
STR(sBand, "Band");
STR(sHigh, "High");
#undef STR

const __CFString* const kLoopModes[] = {&sForwards, &sReverse, &sAlternate};
const __CFString* const kCrossfadeTypes[] = {&sEqualGain, &sEqualPower};
const __CFString* const kPlayPositionMemory[] = {&sOff, &sGlobal, &sPerNote, &sSameNote, &sDifferentNote};
const __CFString* const kRecordModes[] = {&sContinuous,    &sGated,     &sGatedWithReset, &sGatedByNotes,
                                          &sGatedByNotesWithReset, &sTriggered};
const __CFString* const kLfoShapes[] = {&sSine, &sTriangle, &sSaw, &sSquare};
const __CFString* const kUseBeats[] = {&sOff, &sOffAdaptive, &sOn, &sOnAdaptive};
const __CFString* const kBeatDivisors[] = {&sDiv1, &sDiv2, &sDiv4, &sDiv8, &sDiv16, &sDiv32};
const __CFString* const kFilterTypes[] = {&sThru, &sLow, &sBand, &sHigh, &sThru};

template <size_t N> constexpr long countOf(const __CFString* const (&)[N])
{
    return static_cast<long>(N);
}

const __CFArray aLoopModes = CFArrayCreateStatic(kLoopModes, countOf(kLoopModes));
const __CFArray aCrossfadeTypes = CFArrayCreateStatic(kCrossfadeTypes, countOf(kCrossfadeTypes));
const __CFArray aPlayPositionMemory = CFArrayCreateStatic(kPlayPositionMemory, countOf(kPlayPositionMemory));
const __CFArray aRecordModes = CFArrayCreateStatic(kRecordModes, countOf(kRecordModes));
const __CFArray aLfoShapes = CFArrayCreateStatic(kLfoShapes, countOf(kLfoShapes));
const __CFArray aUseBeats = CFArrayCreateStatic(kUseBeats, countOf(kUseBeats));
const __CFArray aBeatDivisors = CFArrayCreateStatic(kBeatDivisors, countOf(kBeatDivisors));

// Texts built once, so that no answer here ever allocates: "Off", "1" ...
// "100" for the OSC port offset and the 128 note names.
struct BuiltStrings
{
    char portText[101][4];
    __CFString port[101];
    const __CFString* portItems[101];
    __CFArray portArray = CFArrayCreateStatic(portItems, 101);

    char noteText[128][12];
    __CFString note[128];

    BuiltStrings()
    {
        static const char* const kNoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
        for (int i = 0; i < 101; ++i)
        {
            snprintf(portText[i], sizeof(portText[i]), "%d", i);
            port[i].header.refCount.store(-1);
            port[i].header.kind = 0;
            port[i].text = i == 0 ? "Off" : portText[i];
            portItems[i] = &port[i];
        }
        for (int v = 0; v < 128; ++v)
        {
            snprintf(noteText[v], sizeof(noteText[v]), "%2d %s%d", v, kNoteNames[v % 12], v / 12 - 1);
            note[v].header.refCount.store(-1);
            note[v].header.kind = 0;
            note[v].text = noteText[v];
        }
    }
};

const BuiltStrings& builtStrings()
{
    static const BuiltStrings strings;
    return strings;
}

CFArrayRef valueStringsOf(unsigned long index)
{
    switch (index)
    {
    case kParam_LoopMode:
        return &aLoopModes;
    case kParam_CrossfadeType:
        return &aCrossfadeTypes;
    case kParam_PlayPositionMemory:
        return &aPlayPositionMemory;
    case kParam_RecordMode:
        return &aRecordModes;
    case kParam_FilterLFOShape:
    case kParam_PitchLFOShape:
    case kParam_PulseWidthLFOShape:
    case kParam_SyncDetuneLFOShape:
        return &aLfoShapes;
    case kParam_UseBeats:
        return &aUseBeats;
    case kParam_BeatDivisor:
        return &aBeatDivisors;
    case kParam_OSCPortOffset:
        return &builtStrings().portArray;
    default:
        return nullptr;
    }
}

// The texts handed out are immortal; retaining keeps the caller's release
// balanced for any string.
OSStatus answer(CFStringRef string, CFStringRef* out)
{
    *out = static_cast<CFStringRef>(CFRetain(string));
    return noErr;
}
} // namespace

int GetParameterValueStrings(unsigned long scope, unsigned long index, CFArrayRef* out)
{
    if (!out)
        return 0;
    if (scope != kAudioUnitScope_Global)
        return -1;
    CFArrayRef strings = valueStringsOf(index);
    if (!strings)
        return -1;
    *out = strings;
    return 0;
}

OSStatus GetParameterStringFromValue(int index, float value, CFStringRef* out)
{
    *out = nullptr;
    if (!IsValidParamIndex(index))
        return kAudioUnitErr_InvalidParameter;
    switch (astParamInfos[index].unit)
    {
    case kAudioUnitParameterUnit_MIDINoteNumber:
    {
        // Values outside the MIDI range have no note name; the caller shows
        // the number.
        if (!(value > -1.0f && value < 128.0f))
            return noErr;
        return answer(&builtStrings().note[static_cast<int>(value)], out);
    }
    case kAudioUnitParameterUnit_Boolean:
        return answer(value != 0.0f ? &sOn : &sOff, out);
    default:
        break;
    }
    switch (index)
    {
    case kParam_FilterEnvRelease:
        return value == 5.0f ? answer(&sInf, out) : noErr;
    case kParam_HardSyncCycles:
        return value == 0.0f ? answer(&sOff, out) : noErr;
    case kParam_FilterType:
    {
        if (!(value > -1.0f && value < 5.0f))
            return noErr;
        int e = static_cast<int>(value + 0.5f);
        if (std::fabs(value - static_cast<float>(e)) < 0.005f && e >= 0 && e <= 4)
            return answer(kFilterTypes[e], out);
        return noErr;
    }
    default:
        return kAudioUnitErr_InvalidParameter;
    }
}
