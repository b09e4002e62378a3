#include "plugin/ParameterValues.h"

#include <cmath>
#include <cstdio>

namespace
{
const ParamInfo& infoOf(const AudioUnitParameter* p)
{
    return astParamInfos[p->mParameterID];
}
} // namespace

float AUParameterValueFromLinear(float x, const AudioUnitParameter* p)
{
    const ParamInfo& info = infoOf(p);
    switch (info.unit)
    {
    case kAudioUnitParameterUnit_Indexed:
    case kAudioUnitParameterUnit_Beats:
        return std::floor(info.min + x * (info.max - info.min) + 0.5f);
    case kAudioUnitParameterUnit_Hertz:
        return static_cast<float>(static_cast<double>(info.min) *
                                  std::exp2(static_cast<double>(x) * std::log2(static_cast<double>(info.max) /
                                                                               static_cast<double>(info.min))));
    default:
        return info.min + x * (info.max - info.min);
    }
}

float AUParameterValueToLinear(float v, const AudioUnitParameter* p)
{
    const ParamInfo& info = infoOf(p);
    if (info.unit == kAudioUnitParameterUnit_Hertz)
        return static_cast<float>(std::log2(static_cast<double>(v) / static_cast<double>(info.min)) /
                                  std::log2(static_cast<double>(info.max) / static_cast<double>(info.min)));
    if (info.min != info.max)
        return (v - info.min) / (info.max - info.min);
    return info.max;
}

void float2string(float x, char* text)
{
    const char* format = x < 10.0f ? "%.3f" : x < 100.0f ? "%.2f" : x < 1000.0f ? "%.1f" : "%.0f";
    snprintf(text, kDisplayTextSize, format, static_cast<double>(x));
}

const char* ParameterUnitLabel(AudioUnitParameterUnit unit)
{
    switch (unit)
    {
    case kAudioUnitParameterUnit_Percent:
        return "%";
    case kAudioUnitParameterUnit_Seconds:
        return "seconds";
    case kAudioUnitParameterUnit_Hertz:
        return "Hz";
    case kAudioUnitParameterUnit_Cents:
        return "cents";
    case kAudioUnitParameterUnit_Decibels:
        return "dB";
    case kAudioUnitParameterUnit_Pan:
        return "L/R";
    case kAudioUnitParameterUnit_BPM:
        return "BPM";
    case kAudioUnitParameterUnit_Beats:
        return "beats";
    case kAudioUnitParameterUnit_Milliseconds:
        return "ms";
    default:
        return "";
    }
}
