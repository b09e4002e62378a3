// The instrument: no audio input; plays its buffer from MIDI notes.
#pragma once

#include "plugin/VmraXFadeLooperPlugin.h"

class VmraXFadeLooperSynth : public VmraXFadeLooperPlugin
{
public:
    explicit VmraXFadeLooperSynth(audioMasterCallback audioMaster);
    VstPlugCategory getPlugCategory() override { return kPlugCategSynth; }

protected:
    void Render(const float* inL, const float* inR, float* outL, float* outR, VstInt32 frames) override;
};
