// The 88 automatable parameters: names, units, ranges and defaults, their
// value strings and the display texts of their values.
#pragma once

#include "plugin/AUTypes.h"

struct ParamInfo
{
    const char* name;
    AudioUnitParameterUnit unit;
    float min;
    float max;
    float defaultValue;
};

constexpr int kNumParams = 88;

// Shared by every instance in the process. Constant apart from the maximum
// of "Buffer Size", which follows the "Max buffer size" preference.
extern ParamInfo astParamInfos[kNumParams];

enum ParamIndex
{
    kParam_Volume = 0,
    kParam_RootNote = 1,
    kParam_FineTune = 2,
    kParam_StartOffset = 3,
    kParam_LoopStart = 4,
    kParam_LoopEnd = 5,
    kParam_Crossfade = 6,
    kParam_Attack = 7,
    kParam_Decay = 8,
    kParam_Release = 9,
    kParam_AttackShape = 10,
    kParam_DecayShape = 11,
    kParam_ReleaseShape = 12,
    kParam_Unused13 = 13,
    kParam_Sustain = 14,
    kParam_FilterCutoff = 15,
    kParam_FilterQ = 16,
    kParam_FilterType = 17,
    kParam_FilterEnvAmount = 18,
    kParam_FilterEnvAttack = 19,
    kParam_FilterEnvDecay = 20,
    kParam_FilterEnvRelease = 21,
    kParam_FilterEnvAttackShape = 22,
    kParam_FilterEnvDecayShape = 23,
    kParam_FilterEnvReleaseShape = 24,
    kParam_Unused25 = 25,
    kParam_FilterEnvSustain = 26,
    kParam_NoLoopFade = 27,
    kParam_NoLoopOnOff = 28,
    kParam_LoopMode = 29,
    kParam_SaturationOnOff = 30,
    kParam_SaturationAmount = 31,
    kParam_SaturationShape = 32,
    kParam_CrossfadeType = 33,
    kParam_PitchWheelRange = 34,
    kParam_PlayPositionMemory = 35,
    kParam_RecordMode = 36,
    kParam_RecordOnOff = 37,
    kParam_RecordLevel = 38,
    kParam_DryLevel = 39,
    kParam_Feedback = 40,
    kParam_Drone0OnOff = 41,
    kParam_Drone0Note = 42,
    kParam_Drone0Volume = 43,
    kParam_Drone1OnOff = 44,
    kParam_Drone1Note = 45,
    kParam_Drone1Volume = 46,
    kParam_Drone2OnOff = 47,
    kParam_Drone2Note = 48,
    kParam_Drone2Volume = 49,
    kParam_FilterLFOShape = 50,
    kParam_FilterLFOSpeed = 51,
    kParam_FilterLFOAmount = 52,
    kParam_FilterLFOInvert = 53,
    kParam_FilterLFODelay = 54,
    kParam_FilterLFORetrigger = 55,
    kParam_FilterLFOMono = 56,
    kParam_PitchLFOShape = 57,
    kParam_PitchLFOSpeed = 58,
    kParam_PitchLFOAmount = 59,
    kParam_PitchLFOInvert = 60,
    kParam_PitchLFODelay = 61,
    kParam_PitchLFORetrigger = 62,
    kParam_PitchLFOMono = 63,
    kParam_CalibrationNote = 64,
    kParam_BufferSize = 65,
    kParam_UseBeats = 66,
    kParam_Beats = 67,
    kParam_BeatDivisor = 68,
    kParam_Triplet = 69,
    kParam_PulseWidth = 70,
    kParam_PulseWidthLFOShape = 71,
    kParam_PulseWidthLFOSpeed = 72,
    kParam_PulseWidthLFOAmount = 73,
    kParam_PulseWidthLFOInvert = 74,
    kParam_PulseWidthLFODelay = 75,
    kParam_PulseWidthLFORetrigger = 76,
    kParam_PulseWidthLFOMono = 77,
    kParam_ReferenceToneLevel = 78,
    kParam_HardSyncCycles = 79,
    kParam_HardSyncDetune = 80,
    kParam_SyncDetuneLFOShape = 81,
    kParam_SyncDetuneLFOSpeed = 82,
    kParam_SyncDetuneLFOAmount = 83,
    kParam_SyncDetuneLFOInvert = 84,
    kParam_SyncDetuneLFODelay = 85,
    kParam_SyncDetuneLFORetrigger = 86,
    kParam_OSCPortOffset = 87,
};

inline bool IsValidParamIndex(long index)
{
    return index >= 0 && index < kNumParams;
}

// False only for the two placeholder slots 13 and 25.
bool IsParameterUsed(int index);

// Sets the maximum of "Buffer Size" (seconds).
void SetBufferSizeMaximum(float seconds);

// Value strings of the indexed parameters that have them. With a null out
// pointer: 0 (strings exist). Scope other than global: -1. Otherwise the
// array for the index (released by the caller) and 0, or -1 for an index
// without strings.
int GetParameterValueStrings(unsigned long scope, unsigned long index, CFArrayRef* out);

// The display text of one value (the parameter-string-from-value property).
// Returns 0 for the parameters with their own texts, setting *out to a
// retained string or leaving it null when this value has no text; returns
// kAudioUnitErr_InvalidParameter for every other parameter, which the caller
// then formats as a number.
OSStatus GetParameterStringFromValue(int index, float value, CFStringRef* out);
