#include "plugin/VmraXFadeLooperEffect.h"

#include <cstring>

VmraXFadeLooperEffect::VmraXFadeLooperEffect(audioMasterCallback audioMaster)
    : VmraXFadeLooperPlugin(audioMaster, true)
{
}

VstInt32 VmraXFadeLooperEffect::canDo(char* text)
{
    return strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
}

void VmraXFadeLooperEffect::Render(const float* inL, const float* inR, float* outL, float* outR, VstInt32 frames)
{
    float d = CurrentProgram()->GetParameter(kParam_DryLevel);
    float g = d * d * d;
    for (VstInt32 i = 0; i < frames; ++i)
    {
        outL[i] = inL ? g * inL[i] : 0.0f;
        outR[i] = inR ? g * inR[i] : 0.0f;
    }
}
