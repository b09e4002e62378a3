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
    // Without input pointers from the host the input is silence.
    if (!inL || !inR)
    {
        float* silence = m_silence.data();
        memset(silence, 0, sizeof(float) * static_cast<size_t>(frames));
        inL = inL ? inL : silence;
        inR = inR ? inR : silence;
    }
    m_engine.Record(inL, inR, static_cast<unsigned long>(frames));
    float d = CurrentProgram()->GetParameter(kParam_DryLevel);
    float g = d * d * d;
    for (VstInt32 i = 0; i < frames; ++i)
    {
        outL[i] = g * inL[i];
        outR[i] = g * inR[i];
    }
    if (!m_engine.PrepareToRender(static_cast<unsigned long>(frames)))
        return;
    if (m_engine.FigureDangerNotes())
        m_engine.RenderNotes(outL, outR, true);
    m_engine.RecordBufferCopy();
    m_engine.RenderNotes(outL, outR, false);
}
