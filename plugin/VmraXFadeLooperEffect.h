// The effect: a stereo input recorded into the loop buffer and mixed dry
// into the output.
#pragma once

#include "plugin/VmraXFadeLooperPlugin.h"

class VmraXFadeLooperEffect : public VmraXFadeLooperPlugin
{
public:
    explicit VmraXFadeLooperEffect(audioMasterCallback audioMaster);
    VstPlugCategory getPlugCategory() override { return kPlugCategEffect; }
    VstInt32 canDo(char* text) override;

protected:
    void Render(const float* inL, const float* inR, float* outL, float* outR, VstInt32 frames) override;
};
