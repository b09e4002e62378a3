#include <algorithm>
#include <cmath>

#include "xfadelooper/Note.h"

void Note::Stage::Setup(float time, float shape, float from, float to, float sampleRate)
{
    float n = std::max(time * sampleRate, 1.0f);
    float d = to - from;
    float a, b;
    if (d >= 0)
    {
        a = (1 - shape) * d;
        b = shape * d;
    }
    else
    {
        a = (shape - 1) * d;
        b = (2 - shape) * d;
    }
    increment = b / n + a / (n * n);
    acceleration = 2 * a / (n * n);
    // Lengths beyond the counter's range hold (a hold is what such a
    // segment amounts to anyway).
    count = n < 4294967295.0f ? static_cast<uint32_t>(n) : kEndless - 1;
}

void Note::Stage::Setup(float time, float shape, float from, float to, float sampleRate, float endlessTime)
{
    if (time == endlessTime)
    {
        increment = 0;
        acceleration = 0;
        count = kEndless;
        return;
    }
    Setup(time, shape, from, to, sampleRate);
}

uint32_t Note::Envelope::Take(uint32_t r, Stage** current)
{
    Stage& s = stages[stage];
    *current = &s;
    uint32_t k = std::min(r, s.count);
    if (s.count != Stage::kEndless)
    {
        s.count -= k;
        if (s.count == 0)
            stage = std::max(stage - 1, 0);
    }
    return k;
}
