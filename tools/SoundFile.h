// Sound files through libsndfile, as stereo float audio: reading any format
// libsndfile knows, writing the formats the tools produce, and measuring
// levels.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Two non-interleaved channels at one sample rate.
struct StereoAudio
{
    int sampleRate = 0;
    std::vector<float> left;
    std::vector<float> right;

    size_t Frames() const { return left.size(); }
    // Cuts to frames or pads with silence.
    void Resize(size_t frames);
};

// Reads a whole sound file as floats (integer formats scaled to -1...1). A
// mono file feeds both channels; of more than two channels the first two are
// kept. *channels (if given) receives the file's own channel count. Returns
// false and a message in *error if the file cannot be opened or read.
bool ReadStereoFile(const std::string& path, StereoAudio* out, std::string* error, int* channels = nullptr);

// The libsndfile format the tools write for a file name, from its extension
// (case-insensitive): .wav float 32-bit WAV, .aiff/.aif 24-bit AIFF, .flac
// 24-bit FLAC. Returns 0 and a message in *error for any other name.
int OutputFormatForPath(const std::string& path, std::string* error);

// Writes stereo audio in the format OutputFormatForPath picks. Integer
// formats clip at full scale. On failure nothing is left at path.
bool WriteStereoFile(const std::string& path, const StereoAudio& audio, std::string* error);

struct AudioLevels
{
    float peak = 0.0f; // largest magnitude over both channels
    double rms = 0.0;  // over all samples of both channels
};
AudioLevels MeasureLevels(const StereoAudio& audio);

// 20 log10(linear); -inf for 0.
double LinearToDbfs(double linear);
