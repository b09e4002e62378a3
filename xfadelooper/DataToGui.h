// The engine's state for displays and scripts. Written by the audio thread
// (and the indicator flags by scripts) and read by the GUI without locking:
// every field is a single 32- or 64-bit value, so a reader at worst sees
// values from two different blocks. Fields are written and read with the
// relaxed atomic accessors below.
#pragma once

#include <cstdint>

struct DataToGui
{
    float unused[3];
    float playPosition;      // voice 0's position / buffer length
    float playGain;          // 1 - crossfadeGain; 0 when no voice plays
    float crossfadePosition; // voice 0's crossfade partner / buffer length
    float crossfadeGain;     // voice 0's crossfade fraction, negative outside
    float recordPosition;    // record head / buffer length
    float recordGain;        // 1 while recording
    double tempo;            // host tempo, 120 without one
    float timeSigNumerator;
    int32_t timeSigDenominator;
    float bufferFrames;
    float bufferSampleRate;
    bool guiBools[8]; // indicator flags of the scripts
};

template <typename T> inline void Publish(T& field, T value)
{
    __atomic_store(&field, &value, __ATOMIC_RELAXED);
}

template <typename T> inline T Observe(const T& field)
{
    T value;
    __atomic_load(&field, &value, __ATOMIC_RELAXED);
    return value;
}
