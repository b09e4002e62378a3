// One voice slot and its envelopes.
#pragma once

#include <algorithm>
#include <cstdint>

struct Note
{
    // One envelope segment: count samples, each adding increment to the
    // level and then acceleration to the increment. A count of 0xFFFFFFFF
    // never runs out.
    struct Stage
    {
        static constexpr uint32_t kEndless = 0xFFFFFFFFu;

        float increment = 0;
        float acceleration = 0;
        uint32_t count = kEndless;

        // A segment from `from` to `to` over time seconds; shape 1 is a
        // straight line, shape 0 starts slowly when rising and fast when
        // falling.
        void Setup(float time, float shape, float from, float to, float sampleRate);
        // The same, except that time == endlessTime holds the level forever.
        void Setup(float time, float shape, float from, float to, float sampleRate, float endlessTime);
    };

    // Stage indices count down: 4 attack, 3 decay, 2 sustain, 1 release,
    // 0 finished.
    struct Envelope
    {
        enum
        {
            kFinished = 0,
            kRelease = 1,
            kSustain = 2,
            kDecay = 3,
            kAttack = 4,
        };
        int stage = kAttack;
        int sustainStage = kSustain;
        float level = 0;
        float peak = 0;
        Stage stages[5];

        Stage& Current() { return stages[stage]; }

        // Takes up to r samples of the current stage: returns k, does the
        // stage bookkeeping (count down, step to the next stage when the
        // count runs out) and leaves in *stage the stage to produce them from.
        uint32_t Take(uint32_t r, Stage** stage);
    };

    double position = 0;
    double partnerPosition = 0;
    int note = 0;
    float velocity = 0;
    float direction = 1;
    bool danger = false;
    uint32_t blockRemaining = 0;
    uint32_t blockOffset = 0;
    float filterLfoPhase = 0, filterLfoRamp = 0;
    float pitchLfoPhase = 0, pitchLfoRamp = 0;
    float pwmLfoPhase = 0, pwmLfoRamp = 0;
    float refTonePhase = 0;
    float frequency = 0; // cycles per sample
    int drone = -1;
    float droneVolume = 0;
    Envelope ampEnv;
    Envelope filterEnv;
    uint32_t noLoopFade = 0;
    float filterState[6] = {};
};

// One cycle of a sine over x in 0...1, from a fixed odd polynomial.
inline float Sin01(float x)
{
    const float c1 = -6.2831855f, c3 = 41.341679f, c5 = -81.602234f, c7 = 76.574974f, c9 = -39.710674f;
    float u = std::max(-x, std::min(x - 0.5f, 1.0f - x));
    float u2 = u * u;
    return u * (c1 + u2 * (c3 + u2 * (c5 + u2 * (c7 + u2 * c9))));
}

// One LFO sample in -1...+1 for phase 0...1 and the shape parameter:
// sine below 1, triangle below 2, saw below 3, square from 3.
inline float LFO(float phase, float shape)
{
    if (shape < 1.0f)
        return Sin01(phase);
    if (shape < 2.0f)
        return std::min(3.0f - 4.0f * phase, 4.0f * phase - 1.0f);
    if (shape < 3.0f)
        return 2.0f * phase - 1.0f;
    return 2.0f * phase - 1.0f >= 0.0f ? 1.0f : -1.0f;
}
