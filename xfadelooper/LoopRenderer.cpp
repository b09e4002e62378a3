// The loop renderer: every active voice reads the buffer at its own rate with
// a crossfaded seam, passes through saturation and filter, and is added into
// the output.
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin/VmraAuBase.h"
#include "xfadelooper/Filter.h"
#include "xfadelooper/ParamInfo.h"
#include "xfadelooper/VmraXFadeLooper.h"

struct RenderLoopData
{
    int loopMode;
    float loopStart;
    float loopEnd;
    float loopLength;
    float loopBody;
    float invCrossfade;
    float curve[4];
    float pulseWidth;
    double rate;
    double rateLow;
    double rateHigh;
    float* outLeft;
    float* outRight;
    const float* buffer;
    const float* newBuffer;
    double crossfadeMix;
    float dangerMix;
    float toneGain;
    float sampleGain;
    long lastIndex; // last frame an interpolation may start at (length - 1)
};

namespace
{
constexpr double kMaxSteps = 4294967295.0;

// Left and right of frames i and i + 1 of an interleaved buffer.
struct FramePair
{
    float l0, l1, r0, r1;
};

inline FramePair load(const float* buffer, long i)
{
    const float* f = buffer + 2 * i;
    return {f[0], f[2], f[1], f[3]};
}

inline double clampPosition(double p, double limit)
{
    return std::min(std::max(p, 0.0), limit);
}

// One head read with linear interpolation: left and right at position.
// The partner head is always clamped to 0...limit, the main head only in the
// pulse-width kernels (they step at other rates than the boundary count
// assumes). A head sitting exactly on the last frame reads it as frame
// lastIndex with fraction 1, which gives the same value without touching the
// frame after the guard.
inline void interpolate(const float* buffer, double position, long lastIndex, float* out)
{
    long i = std::min(static_cast<long>(position), lastIndex);
    float a = static_cast<float>(position - static_cast<double>(i));
    FramePair f = load(buffer, i);
    out[0] = a * f.l1 + (f.l0 - f.l0 * a);
    out[1] = a * f.r1 + (f.r0 - f.r0 * a);
}

// InterpolateLoad_Safe1 (ClampMain false) and InterpolateLoad_Safe01 (true),
// one head at a time.
template <bool ClampMain> struct Loader
{
    static inline void Main(const float* buffer, double position, double limit, long lastIndex, float* out)
    {
        interpolate(buffer, ClampMain ? clampPosition(position, limit) : position, lastIndex, out);
    }
    static inline void Partner(const float* buffer, double partner, double limit, long lastIndex, float* out)
    {
        interpolate(buffer, clampPosition(partner, limit), lastIndex, out);
    }
};

} // namespace

namespace
{
// The kernel family, generated from one template: reference tone, pulse
// width and danger crossfade are compile-time switches, so the per-sample
// loop tests none of them. Renders n samples with no loop boundary or
// envelope stage end inside.
template <bool RefTone, bool PWM, bool Danger>
void RenderLoopKernel(unsigned long n, RenderLoopData& d, Note& voice, Note::Stage& stage, unsigned long dangerCount)
{
    using L = Loader<PWM>;
    const double S = d.loopStart, E = d.loopEnd, J = d.loopBody;
    const bool forwards = voice.direction > 0;
    const bool alternate = d.loopMode == 2;
    double p = voice.position;
    double dist, partner;
    if (!alternate)
    {
        partner = forwards ? p - J : p + J;
        dist = forwards ? p - S - J : E - (p + J);
    }
    else
    {
        dist = forwards ? p - S - J : E - J - p;
        partner = forwards ? E - dist : S + dist;
    }
    const double mainDir = forwards ? 1.0 : -1.0;
    const double partnerDir = alternate ? -mainDir : mainDir;
    double C = dist * d.invCrossfade;
    const double cStep = d.rate * d.invCrossfade;
    const float c0 = d.curve[0], c1 = d.curve[1], c2 = d.curve[2], c3 = d.curve[3];

    float level = voice.ampEnv.level;
    float increment = stage.increment;
    const float acceleration = stage.acceleration;
    level += increment;
    increment += acceleration;

    float phase = voice.refTonePhase;
    const float frequency = voice.frequency;
    float q = d.dangerMix;
    const float qStep = Danger && dangerCount ? 1.0f / static_cast<float>(dangerCount) : 0.0f;
    float* outL = d.outLeft;
    float* outR = d.outRight;

    for (unsigned long s = 0; s < n; ++s)
    {
        // The partner is read only inside the crossfade.
        float v[2];
        L::Main(d.buffer, p, E, d.lastIndex, v);
        float left, right;
        if (dist >= 0)
        {
            float u[2];
            L::Partner(d.buffer, partner, E, d.lastIndex, u);
            float c = static_cast<float>(C);
            float cc = c * c, ccc = cc * c;
            float partnerGain = c0 * c + c1 * ccc;
            float mainGain = 1 - c2 * c + c3 * cc - c1 * ccc;
            left = v[0] * mainGain + u[0] * partnerGain;
            right = v[1] * mainGain + u[1] * partnerGain;
            if (Danger)
            {
                float w[2], x[2];
                L::Main(d.newBuffer, p, E, d.lastIndex, w);
                L::Partner(d.newBuffer, partner, E, d.lastIndex, x);
                float newLeft = w[0] * mainGain + x[0] * partnerGain;
                float newRight = w[1] * mainGain + x[1] * partnerGain;
                left = left * (1 - q) + newLeft * q;
                right = right * (1 - q) + newRight * q;
            }
        }
        else
        {
            left = v[0];
            right = v[1];
            if (Danger)
            {
                float w[2];
                L::Main(d.newBuffer, p, E, d.lastIndex, w);
                left = left * (1 - q) + w[0] * q;
                right = right * (1 - q) + w[1] * q;
            }
        }
        if (RefTone)
        {
            float tone = Sin01(phase) * d.toneGain;
            left = level * (left * d.sampleGain + tone);
            right = level * (right * d.sampleGain + tone);
        }
        else
        {
            left *= level;
            right *= level;
        }
        *outL++ = left;
        *outR++ = right;

        double step = d.rate;
        if (PWM)
            step = phase <= d.pulseWidth ? d.rateLow : d.rateHigh;
        if (RefTone || PWM)
        {
            phase += frequency;
            if (phase >= 1.0f)
                phase -= std::floor(phase);
        }
        p += mainDir * step;
        partner += partnerDir * step;
        dist += step;
        C += cStep;
        if (Danger)
            q += qStep;
        if (s + 1 < n)
        {
            level += increment;
            increment += acceleration;
        }
    }
    voice.position = p;
    voice.partnerPosition = partner;
    voice.ampEnv.level = level;
    stage.increment = increment;
    voice.refTonePhase = phase;
    d.outLeft = outL;
    d.outRight = outR;
    d.crossfadeMix = C;
    d.dangerMix = q;
}

typedef void (*Kernel)(unsigned long, RenderLoopData&, Note&, Note::Stage&, unsigned long);

// Indexed by refTone + 2 * pwm + 4 * danger.
const Kernel kKernels[8] = {
    RenderLoopKernel<false, false, false>, RenderLoopKernel<true, false, false>,
    RenderLoopKernel<false, true, false>,  RenderLoopKernel<true, true, false>,
    RenderLoopKernel<false, false, true>,  RenderLoopKernel<true, false, true>,
    RenderLoopKernel<false, true, true>,   RenderLoopKernel<true, true, true>,
};

// A loop point as a fraction of the buffer; out-of-range or broken values
// (from a foreign preset) are brought into 0...1.
float unitRange(float v, float fallback)
{
    if (std::isnan(v))
        return fallback;
    return std::min(std::max(v, 0.0f), 1.0f);
}

float clampWidth(float w)
{
    return std::min(std::max(w, 0.1f), 0.9f);
}

float inverseCrossfade(float S, float E, float J)
{
    float X = E - (S + J);
    return X > 0.1f ? 1.0f / X : 0.0f;
}

// Flushes denormals to zero while voices render; restores the caller's
// mode afterwards.
class DenormalGuard
{
public:
    DenormalGuard() : m_saved(_mm_getcsr()) { _mm_setcsr(m_saved | 0x8040); }
    ~DenormalGuard() { _mm_setcsr(m_saved); }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    unsigned int m_saved;
};
} // namespace

unsigned long VmraXFadeLooper::RenderLoopOuter(unsigned long n, RenderLoopData& data, Note& voice,
                                               unsigned long& fadeCount, unsigned long dangerCount, bool refTone)
{
    const double S = data.loopStart, E = data.loopEnd, J = data.loopBody, L = data.loopLength;
    // Bring the head back inside the loop.
    double& p = voice.position;
    if (voice.direction > 0)
    {
        if (p >= E)
            p -= J * (std::floor((p - E) / J) + 1);
        while (p >= E)
            p -= J;
    }
    else
    {
        if (p <= S)
            p += J * (std::floor((S - p) / J) + 1);
        while (p <= S)
            p += J;
    }
    // A head outside the sound (the record length shrank under it, or a
    // broken preset) starts over at the loop start.
    if (!(p >= 0 && p < static_cast<double>(data.lastIndex) + 1))
        p = S;
    const int kernel = (refTone ? 1 : 0) + (data.pulseWidth != 0.5f ? 2 : 0) + (dangerCount ? 4 : 0);
    // Boundary steps without samples are bounded: a head that cannot get
    // back inside (a broken buffer length) ends the call.
    int idleSteps = 0;
    while (n > 0)
    {
        double distance = voice.direction > 0 ? E - p : p - S;
        double steps = std::ceil(distance / data.rate);
        steps = std::min(std::max(steps, 0.0), kMaxSteps);
        if (std::isnan(steps))
            steps = kMaxSteps;
        uint32_t boundary = static_cast<uint32_t>(steps);
        Note::Stage* stage;
        uint32_t k = voice.ampEnv.Take(static_cast<uint32_t>(std::min<unsigned long>(
                                           std::min<unsigned long>(n, boundary), 0xFFFFFFFFul)),
                                       &stage);
        n -= k;
        if (k > 0)
        {
            kKernels[kernel](k, data, voice, *stage, dangerCount);
            idleSteps = 0;
        }
        else if (++idleSteps > 1024)
            break;
        if (k == boundary)
        {
            if (fadeCount == 0)
                fadeCount = n;
            if (data.loopMode == 2)
            {
                p += voice.direction > 0 ? J - L : L - J;
                voice.direction = -voice.direction;
            }
            else
                p -= J * voice.direction;
        }
    }
    return n;
}

bool VmraXFadeLooper::RenderNotes(float* left, float* right, bool dangerPass)
{
    const float sr = HostSampleRate();
    float rootPitch = Param(kParam_RootNote) - 0.01f * Param(kParam_FineTune) - PitchBend();
    const float pitchDepth = 0.01f * Param(kParam_PitchLFOAmount) * (1 - 2 * Param(kParam_PitchLFOInvert));
    const float pitchShape = Param(kParam_PitchLFOShape);
    const bool pitchMono = Param(kParam_PitchLFOMono) != 0;
    if (pitchMono)
        rootPitch -= LFO(m_notes[0].pitchLfoPhase, pitchShape) * m_notes[0].pitchLfoRamp * pitchDepth;

    if (m_numNotes == 0 || m_bufferFrames == 0)
    {
        Publish(m_dataToGui.playGain, 0.0f);
        Publish(m_dataToGui.crossfadeGain, 0.0f);
        return true;
    }

    // Loop geometry.
    const float N = m_bufferFrames;
    const float crossfade = Param(kParam_Crossfade);
    const int loopMode = static_cast<int>(Param(kParam_LoopMode));
    float S = unitRange(Param(kParam_LoopStart), 0) * N;
    float E = unitRange(Param(kParam_LoopEnd), 1) * N;
    const float h = Param(kParam_HardSyncCycles);
    if (h > 0)
    {
        float det = 0.01f * Param(kParam_HardSyncDetune) +
                    LFO(m_syncLfoPhase, Param(kParam_SyncDetuneLFOShape)) * m_syncLfoRamp * 0.01f *
                        Param(kParam_SyncDetuneLFOAmount) * (1 - 2 * Param(kParam_SyncDetuneLFOInvert));
        rootPitch -= det;
        double f = 440.0 * std::exp2((static_cast<double>(Param(kParam_RootNote)) - det - 69.0) / 12.0);
        double len = h * static_cast<double>(m_bufferSampleRate) / f / (1.0 - 0.005 * crossfade);
        if (loopMode == 2)
            len *= 0.5;
        E = static_cast<float>(std::min(static_cast<double>(S) + len, static_cast<double>(N)));
    }
    E = std::max(E, S + 1);
    if (E > N)
    {
        S = S - (E - N);
        E = N;
    }
    S = std::max(S, 0.0f);
    const float L = E - S;
    const float J = L * (1 - 0.005f * crossfade);
    const bool changed = m_lastLoopStart >= 0 && (S != m_lastLoopStart || E != m_lastLoopEnd || J != m_lastLoopBody);

    // Filter, saturation and one-shot values.
    const float cutoff = Param(kParam_FilterCutoff), filterQ = Param(kParam_FilterQ);
    const float envAmount = Param(kParam_FilterEnvAmount);
    const float filterLfoShape = Param(kParam_FilterLFOShape);
    const float filterLfoDepth = Param(kParam_FilterLFOAmount) * (1 - 2 * Param(kParam_FilterLFOInvert));
    const bool filterMono = Param(kParam_FilterLFOMono) != 0;
    auto filterLfo = [&](const Note& v) { return LFO(v.filterLfoPhase, filterLfoShape) * v.filterLfoRamp * filterLfoDepth; };
    FilterCoefficients monoFilter{};
    if (filterMono)
        monoFilter = ComputeFilterCoefficients(cutoff, filterQ, envAmount, filterLfo(m_notes[0]), sr);
    const bool saturation = Param(kParam_SaturationOnOff) != 0;
    const SaturationSettings saturator =
        SaturationSettings::From(Param(kParam_SaturationAmount), Param(kParam_SaturationShape));
    const float filterType = Param(kParam_FilterType);
    const bool filtering = filterType > 0 && filterType < 4;
    const bool noLoop = Param(kParam_NoLoopOnOff) != 0;
    const float fadeSamples = std::max(sr * Param(kParam_NoLoopFade) * 0.001f, 1.0f);
    const uint32_t fadeSamplesInt = fadeSamples < 4294967295.0f ? static_cast<uint32_t>(fadeSamples) : 0xFFFFFFFFu;

    // Crossfade law, pulse width, reference tone.
    RenderLoopData base{};
    base.loopMode = loopMode;
    base.loopStart = S;
    base.loopEnd = E;
    base.loopLength = L;
    base.loopBody = J;
    base.invCrossfade = inverseCrossfade(S, E, J);
    const float k = static_cast<int>(Param(kParam_CrossfadeType)) == 1 ? 1.5707964f : 1.0f;
    base.curve[0] = k;
    base.curve[1] = 1 - k;
    base.curve[2] = 1 + 2 * (1 - k);
    base.curve[3] = 3 * (1 - k);
    const float widthBase = 0.5f * Param(kParam_PulseWidth) + 0.5f;
    const float widthDepth = Param(kParam_PulseWidthLFOAmount) * (1 - 2 * Param(kParam_PulseWidthLFOInvert));
    const float widthShape = Param(kParam_PulseWidthLFOShape);
    const bool widthMono = Param(kParam_PulseWidthLFOMono) != 0;
    if (widthMono)
        base.pulseWidth =
            clampWidth(widthBase + LFO(m_notes[0].pwmLfoPhase, widthShape) * m_notes[0].pwmLfoRamp * widthDepth);
    const float toneLevel = Param(kParam_ReferenceToneLevel) * 0.01f;
    const bool refTone = Param(kParam_ReferenceToneLevel) > 0;
    base.toneGain = std::sqrt(std::max(toneLevel, 0.0f));
    base.sampleGain = std::sqrt(std::max(1 - toneLevel, 0.0f));
    base.buffer = m_buffer.Data();
    // The last frame whose successor is in memory: the guard frame after the
    // sound, or the rest of the record buffer's capacity.
    base.lastIndex = std::max(static_cast<long>(m_buffer.Size() / 2) - 2, 0L);
    base.newBuffer = m_recordBuffer.Data() ? m_recordBuffer.Data() : m_buffer.Data();
    const float volume = Param(kParam_Volume);

    DenormalGuard denormals;
    float* scratch = m_scratch.Data();
    float* scratchOld = m_scratchOld.Data();
    for (int i = 0; i < m_numNotes; ++i)
    {
        Note& voice = m_notes[i];
        unsigned long len = voice.blockRemaining;
        unsigned long dangerCount = 0;
        if (dangerPass)
        {
            if (!voice.danger)
                continue;
            voice.danger = false;
            len = std::min<unsigned long>(len, 64);
            dangerCount = len;
        }
        if (len == 0)
            continue;
        if (len > m_maxSliceFrames)
            len = m_maxSliceFrames;

        if (voice.ampEnv.stage == voice.ampEnv.sustainStage)
            voice.ampEnv.level = Param(kParam_Sustain) * voice.ampEnv.peak;
        if (voice.filterEnv.stage == voice.filterEnv.sustainStage)
            voice.filterEnv.level = Param(kParam_FilterEnvSustain) * voice.filterEnv.peak;
        if (loopMode < 2)
            voice.direction = loopMode == 1 ? -1.0f : 1.0f;

        float semis = static_cast<float>(voice.note) - rootPitch;
        if (!pitchMono)
            semis += LFO(voice.pitchLfoPhase, pitchShape) * voice.pitchLfoRamp * pitchDepth;
        RenderLoopData data = base;
        data.rate = static_cast<double>(m_rateScale) * std::exp2(static_cast<double>(semis) / 12.0);
        if (!(data.rate > 0 && std::isfinite(data.rate)))
            data.rate = 1.0; // a broken tuning plays at the buffer's own speed
        if (!widthMono)
            data.pulseWidth = clampWidth(widthBase + LFO(voice.pwmLfoPhase, widthShape) * voice.pwmLfoRamp * widthDepth);
        data.rateLow = data.rate * 0.5 / data.pulseWidth;
        data.rateHigh = data.rate * 0.5 / (1 - data.pulseWidth);
        data.outLeft = scratch;
        data.outRight = scratch + len;
        unsigned long fadeCount = voice.noLoopFade != 0 ? len : 0;
        data.dangerMix = 0;

        // The loop points moved: render the first samples with the old ones
        // too and crossfade, so the change does not click.
        unsigned long c = 0;
        if (changed)
        {
            c = std::min<unsigned long>(len, 64);
            Note copy = voice;
            RenderLoopData old = data;
            old.loopStart = m_lastLoopStart;
            old.loopEnd = m_lastLoopEnd;
            old.loopLength = m_lastLoopEnd - m_lastLoopStart;
            old.loopBody = m_lastLoopBody;
            old.invCrossfade = inverseCrossfade(m_lastLoopStart, m_lastLoopEnd, m_lastLoopBody);
            old.outLeft = scratchOld;
            old.outRight = scratchOld + c;
            unsigned long oldFade = fadeCount;
            RenderLoopOuter(c, old, copy, oldFade, dangerCount, refTone);
        }
        RenderLoopOuter(len, data, voice, fadeCount, dangerCount, refTone);
        if (c > 0)
        {
            float step = 1.0f / static_cast<float>(c), x = 0;
            for (unsigned long j = 0; j < c; ++j, x += step)
            {
                scratch[j] = scratchOld[j] * (1 - x) + scratch[j] * x;
                scratch[len + j] = scratchOld[c + j] * (1 - x) + scratch[len + j] * x;
            }
        }

        if (i == 0)
        {
            Publish(m_dataToGui.playPosition, static_cast<float>(voice.position / static_cast<double>(N)));
            Publish(m_dataToGui.crossfadePosition, static_cast<float>(voice.partnerPosition / static_cast<double>(N)));
            float crossfadeGain = static_cast<float>(data.crossfadeMix);
            Publish(m_dataToGui.crossfadeGain, crossfadeGain);
            Publish(m_dataToGui.playGain, 1 - crossfadeGain);
        }
        m_globalPlayPos = voice.position;
        m_notePlayPos[voice.note] = voice.position;

        if (saturation)
            for (unsigned long j = 0; j < 2 * len; ++j)
                scratch[j] = saturator.Apply(scratch[j]);
        if (filtering)
        {
            FilterCoefficients f = filterMono
                                       ? monoFilter
                                       : ComputeFilterCoefficients(cutoff, filterQ, envAmount, filterLfo(voice), sr);
            Filter(scratch, len, f.base, f.envRange, f.damping, filterType, voice);
        }

        if (noLoop && fadeCount > 0)
        {
            uint32_t counter = voice.noLoopFade != 0 ? voice.noLoopFade : fadeSamplesInt;
            unsigned long from = len - std::min(fadeCount, len);
            for (unsigned long j = from; j < len; ++j)
            {
                float g = static_cast<float>(counter) / fadeSamples;
                if (counter != 0)
                    --counter;
                scratch[j] *= g;
                scratch[len + j] *= g;
            }
            voice.noLoopFade = counter;
            if (counter == 0)
                voice.ampEnv.stage = Note::Envelope::kFinished;
        }

        float gain = volume * (voice.drone >= 0 ? voice.droneVolume : 1.0f);
        float gain3 = gain * gain * gain;
        float* outL = left + voice.blockOffset;
        float* outR = right + voice.blockOffset;
        for (unsigned long j = 0; j < len; ++j)
        {
            outL[j] += scratch[j] * gain3;
            outR[j] += scratch[len + j] * gain3;
        }
        voice.blockOffset += static_cast<uint32_t>(len);
        voice.blockRemaining -= static_cast<uint32_t>(len);
    }
    m_lastLoopStart = S;
    m_lastLoopEnd = E;
    m_lastLoopBody = J;
    RemoveFinishedVoices();
    return false;
}
