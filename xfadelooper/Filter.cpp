#include "xfadelooper/Filter.h"

#include <algorithm>
#include <cmath>

FilterCoefficients ComputeFilterCoefficients(float cutoff, float q, float envAmount, float lfo, float sampleRate)
{
    const double kQuarterPi = 0.7853981633974483;
    const double kPi = static_cast<double>(3.1415927f);
    float damping0 = std::min(2.0f * (1.0f - std::pow(q, 0.25f)), 2.0f);
    double envScale = std::exp2(static_cast<double>(envAmount));
    double warped = std::log2(1.0 + static_cast<double>(cutoff) * 0.016) + lfo;
    double fc = std::max(62.5 * std::exp2(warped) - 62.5, 0.0);
    double w = fc * kPi / static_cast<double>(sampleRate);
    float s1 = std::sin(static_cast<float>(std::min(w, kQuarterPi)));
    float s2 = std::sin(static_cast<float>(std::min(envScale * w, kQuarterPi)));
    FilterCoefficients c;
    c.base = 2 * s1;
    c.envRange = 2 * s2 - 2 * s1;
    c.damping = std::min({damping0, 2 / (2 * s1) - s1, 2 / (2 * s2) - s2});
    // A cutoff that is not a number (a broken preset) leaves the filter
    // standing still rather than poisoning the voice.
    if (!std::isfinite(c.base) || !std::isfinite(c.envRange))
        c.base = c.envRange = 0;
    if (!(c.damping >= 0))
        c.damping = std::isnan(c.damping) ? damping0 : 0;
    return c;
}

void FilterTypeWeights(float t, float w[4])
{
    w[0] = w[1] = w[2] = w[3] = 0;
    if (t < 1)
    {
        w[0] = 1 - t;
        w[1] = t;
    }
    else if (t < 2)
    {
        w[1] = 2 - t;
        w[2] = t - 1;
    }
    else if (t < 3)
    {
        w[2] = 3 - t;
        w[3] = t - 2;
    }
    else
    {
        w[0] = t - 3;
        w[3] = 4 - t;
    }
}

void Filter(float* buffer, unsigned long len, float base, float envRange, float damping, float type, Note& voice)
{
    float w[4];
    FilterTypeWeights(type, w);
    const float dry = w[0], wLow = w[1], wBand = w[2], wHigh = w[3];
    float* left = buffer;
    float* right = buffer + len;
    float lowL = voice.filterState[0], highL = voice.filterState[1], bandL = voice.filterState[2];
    float lowR = voice.filterState[3], highR = voice.filterState[4], bandR = voice.filterState[5];
    Note::Envelope& env = voice.filterEnv;
    float level = env.level;
    unsigned long done = 0;
    while (done < len)
    {
        Note::Stage* stage;
        uint32_t k = env.Take(static_cast<uint32_t>(std::min<unsigned long>(len - done, 0xFFFFFFFFul)), &stage);
        if (k == 0)
            break;
        float increment = stage->increment;
        const float acceleration = stage->acceleration;
        for (unsigned long s = done; s < done + k; ++s)
        {
            level += increment;
            increment += acceleration;
            float g = level * envRange + base;
            float x = left[s];
            lowL = bandL * g + lowL;
            highL = x - lowL - damping * bandL;
            bandL = bandL + g * highL;
            left[s] = x * dry + lowL * wLow + bandL * wBand + highL * wHigh;
            x = right[s];
            lowR = bandR * g + lowR;
            highR = x - lowR - damping * bandR;
            bandR = bandR + g * highR;
            right[s] = x * dry + lowR * wLow + bandR * wBand + highR * wHigh;
        }
        stage->increment = increment;
        done += k;
    }
    // A sample that was not a number would otherwise ring in the state for
    // the rest of the note.
    float sum = lowL + highL + bandL + lowR + highR + bandR;
    if (!std::isfinite(sum))
        lowL = highL = bandL = lowR = highR = bandR = 0;
    voice.filterState[0] = lowL;
    voice.filterState[1] = highL;
    voice.filterState[2] = bandL;
    voice.filterState[3] = lowR;
    voice.filterState[4] = highR;
    voice.filterState[5] = bandR;
    env.level = level;
}

SaturationSettings SaturationSettings::From(float amount, float shape)
{
    SaturationSettings s;
    s.drive = amount * 9.090909f + 1;
    s.makeup = std::max(1 / s.drive, 0.125f);
    s.clip = 1.5f - 0.5f * shape;
    s.cubic = shape * 0.14814815f;
    return s;
}
