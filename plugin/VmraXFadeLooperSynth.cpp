#include "plugin/VmraXFadeLooperSynth.h"

#include <cstring>

VmraXFadeLooperSynth::VmraXFadeLooperSynth(audioMasterCallback audioMaster)
    : VmraXFadeLooperPlugin(audioMaster, false)
{
}

void VmraXFadeLooperSynth::Render(const float*, const float*, float* outL, float* outR, VstInt32 frames)
{
    memset(outL, 0, sizeof(float) * static_cast<size_t>(frames));
    memset(outR, 0, sizeof(float) * static_cast<size_t>(frames));
    if (m_engine.PrepareToRender(static_cast<unsigned long>(frames)))
        m_engine.RenderNotes(outL, outR, false);
}
