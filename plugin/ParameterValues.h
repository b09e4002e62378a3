// Plain parameter values and the host's 0...1 range, and the texts shown
// for values.
#pragma once

#include "plugin/AUTypes.h"
#include "xfadelooper/ParamInfo.h"

// Longest display text written into a host buffer, terminator included.
constexpr int kDisplayTextSize = 24;

// Host range (0...1) to plain value and back, for the parameter named by p.
float AUParameterValueFromLinear(float x, const AudioUnitParameter* p);
float AUParameterValueToLinear(float v, const AudioUnitParameter* p);

// The number format of parameter displays: three decimals below 10, two
// below 100, one below 1000, none from 1000 on. text holds kDisplayTextSize.
void float2string(float x, char* text);

// The unit label of a parameter unit ("Hz", "seconds", ...), empty for most.
const char* ParameterUnitLabel(AudioUnitParameterUnit unit);
