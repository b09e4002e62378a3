// The per-voice state-variable filter with its morph from dry through
// low-, band- and high-pass back to dry, and the saturator.
#pragma once

#include "xfadelooper/Note.h"

struct FilterCoefficients
{
    float base;     // coefficient with the filter envelope at 0
    float envRange; // added at envelope level 1
    float damping;
};

// Coefficients for one block. lfo is the filter LFO's value on the warped
// cutoff scale (octaves of log2(1 + f / 62.5)).
FilterCoefficients ComputeFilterCoefficients(float cutoff, float q, float envAmount, float lfo, float sampleRate);

// Output weights of the filter type morph: dry, low, band, high.
void FilterTypeWeights(float type, float weights[4]);

// Filters the voice's block in place: the left run (len floats) and the
// right run after it. Walks the voice's filter envelope.
void Filter(float* buffer, unsigned long len, float base, float envRange, float damping, float type, Note& voice);

struct SaturationSettings
{
    float drive;
    float makeup;
    float clip;
    float cubic;

    static SaturationSettings From(float amount, float shape);
    float Apply(float x) const
    {
        float e = drive * x;
        float y = e > 1.5f ? clip : (e < -1.5f ? -clip : e - cubic * e * e * e);
        return y * makeup;
    }
};
