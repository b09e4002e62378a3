// Audio-unit style vocabulary used inside the plug-in: status codes, property
// IDs, parameter units and the records passed through property calls.
#pragma once

#include <cstdint>

#include "platform/CFLite.h"

typedef int32_t OSStatus;
typedef uint32_t AudioUnitParameterID;

enum : OSStatus
{
    noErr = 0,
    kAudioUnitErr_InvalidProperty = -10879,
    kAudioUnitErr_InvalidParameter = -10878,
};

enum : uint32_t
{
    kAudioUnitScope_Global = 0,
    kAudioUnitProperty_ParameterValueStrings = 16,
    kAudioUnitProperty_ParameterStringFromValue = 33,
};

enum AudioUnitParameterUnit : uint32_t
{
    kAudioUnitParameterUnit_Generic = 0,
    kAudioUnitParameterUnit_Indexed = 1,
    kAudioUnitParameterUnit_Boolean = 2,
    kAudioUnitParameterUnit_Percent = 3,
    kAudioUnitParameterUnit_Seconds = 4,
    kAudioUnitParameterUnit_SampleFrames = 5,
    kAudioUnitParameterUnit_Phase = 6,
    kAudioUnitParameterUnit_Rate = 7,
    kAudioUnitParameterUnit_Hertz = 8,
    kAudioUnitParameterUnit_Cents = 9,
    kAudioUnitParameterUnit_RelativeSemiTones = 10,
    kAudioUnitParameterUnit_MIDINoteNumber = 11,
    kAudioUnitParameterUnit_MIDIController = 12,
    kAudioUnitParameterUnit_Decibels = 13,
    kAudioUnitParameterUnit_LinearGain = 14,
    kAudioUnitParameterUnit_Degrees = 15,
    kAudioUnitParameterUnit_EqualPowerCrossfade = 16,
    kAudioUnitParameterUnit_MixerFaderCurve1 = 17,
    kAudioUnitParameterUnit_Pan = 18,
    kAudioUnitParameterUnit_Meters = 19,
    kAudioUnitParameterUnit_AbsoluteCents = 20,
    kAudioUnitParameterUnit_Octaves = 21,
    kAudioUnitParameterUnit_BPM = 22,
    kAudioUnitParameterUnit_Beats = 23,
    kAudioUnitParameterUnit_Milliseconds = 24,
};

class VmraAuBase;

// Names one parameter of one plug-in; the conversions read only mParameterID.
struct AudioUnitParameter
{
    VmraAuBase* mAudioUnit;
    AudioUnitParameterID mParameterID;
    uint32_t mScope;
    uint32_t mElement;
};

// Request record of property 33: the display text of a value of one
// parameter. inValue null means the current value; outString, when set, is
// released by the caller.
struct AudioUnitParameterStringFromValue
{
    AudioUnitParameterID inParamID;
    const float* inValue;
    CFStringRef outString;
};
