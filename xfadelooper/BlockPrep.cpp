// The start of every audio block: queued messages, drones, the voices' share
// of the block, LFOs, host time and the record length.
#include <algorithm>
#include <cmath>

#include "plugin/VmraAuBase.h"
#include "xfadelooper/ParamInfo.h"
#include "xfadelooper/VmraXFadeLooper.h"

float VmraXFadeLooper::HostSampleRate() const
{
    return m_base->getSampleRate();
}

bool VmraXFadeLooper::PrepareToRender(unsigned long n)
{
    if (n == 0)
        return false;
    ApplyQueuedMessages();
    UpdateDrones();
    for (int i = 0; i < m_numNotes; ++i)
    {
        m_notes[i].blockRemaining = static_cast<uint32_t>(n);
        m_notes[i].blockOffset = 0;
    }
    AdvanceLfos(static_cast<float>(n) / HostSampleRate());
    ReadHostTime();
    if (m_isEffect)
        UpdateRecordLength();
    Publish(m_dataToGui.bufferFrames, m_bufferFrames);
    Publish(m_dataToGui.bufferSampleRate, m_bufferSampleRate);
    if (m_bufferChanged)
    {
        m_bufferChanged = false;
        AnnounceBufferChange();
    }
    return true;
}

namespace
{
void advance(float& phase, float& ramp, float dt, float speed, float delay)
{
    float x = phase + dt * speed;
    phase = x - std::floor(x);
    ramp = std::min(ramp + dt / std::max(delay, 0.000001f), 1.0f);
}
} // namespace

void VmraXFadeLooper::AdvanceLfos(float dt)
{
    struct Lfo
    {
        int speed, delay, mono;
        float Note::*phase;
        float Note::*ramp;
    };
    static const Lfo kLfos[] = {
        {kParam_FilterLFOSpeed, kParam_FilterLFODelay, kParam_FilterLFOMono, &Note::filterLfoPhase,
         &Note::filterLfoRamp},
        {kParam_PitchLFOSpeed, kParam_PitchLFODelay, kParam_PitchLFOMono, &Note::pitchLfoPhase, &Note::pitchLfoRamp},
        {kParam_PulseWidthLFOSpeed, kParam_PulseWidthLFODelay, kParam_PulseWidthLFOMono, &Note::pwmLfoPhase,
         &Note::pwmLfoRamp},
    };
    for (const Lfo& lfo : kLfos)
    {
        int count = Param(lfo.mono) != 0 ? 1 : m_numNotes;
        float speed = Param(lfo.speed), delay = Param(lfo.delay);
        for (int i = 0; i < count; ++i)
            advance(m_notes[i].*lfo.phase, m_notes[i].*lfo.ramp, dt, speed, delay);
    }
    advance(m_syncLfoPhase, m_syncLfoRamp, dt, Param(kParam_SyncDetuneLFOSpeed), Param(kParam_SyncDetuneLFODelay));
}

void VmraXFadeLooper::ReadHostTime()
{
    double tempo = 120.0;
    float numerator = 4.0f;
    int32_t denominator = 4;
    if (const VstTimeInfo* time = m_base->getTimeInfo(kVstTempoValid | kVstTimeSigValid))
    {
        if (time->flags & kVstTempoValid)
            tempo = time->tempo;
        if (time->flags & kVstTimeSigValid)
        {
            numerator = static_cast<float>(time->timeSigNumerator);
            denominator = time->timeSigDenominator;
        }
    }
    Publish(m_dataToGui.tempo, tempo);
    Publish(m_dataToGui.timeSigNumerator, numerator);
    Publish(m_dataToGui.timeSigDenominator, denominator);
}

void VmraXFadeLooper::UpdateRecordLength()
{
    int useBeats = static_cast<int>(Param(kParam_UseBeats));
    double tempo = Observe(m_dataToGui.tempo);
    double seconds;
    if (useBeats >= 2 && tempo != 0)
        seconds = std::exp2(-static_cast<double>(Param(kParam_BeatDivisor))) * Param(kParam_Beats) *
                  (Param(kParam_Triplet) != 0 ? 160.0 : 240.0) / tempo;
    else
        seconds = Param(kParam_BufferSize);
    if (useBeats == 1 || useBeats == 3)
        seconds /= static_cast<double>((Param(kParam_LoopEnd) - Param(kParam_LoopStart)) *
                                       (1.0f - 0.005f * Param(kParam_Crossfade)));
    double frames = std::min(static_cast<double>(HostSampleRate()) * seconds, static_cast<double>(m_maxBufferFrames));
    // NaN (a zero or negative tempo, an empty loop) ends up as the capacity.
    if (std::isnan(frames))
        frames = m_maxBufferFrames;
    frames = std::max(frames, 1.0);
    float newFrames = static_cast<float>(frames);
    if (newFrames != m_bufferFrames)
    {
        m_bufferFrames = newFrames;
        GenerateSampleOverview();
        AnnounceBufferChange();
    }
}
