#include "tools/SoundFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <utility>

void StereoAudio::Resize(size_t frames)
{
    left.resize(frames, 0.0f);
    right.resize(frames, 0.0f);
}

bool ReadStereoFile(const std::string& path, StereoAudio* out, std::string* error, int* channels)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
    {
        if (error)
            *error = "cannot read sound file " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1)
    {
        sf_close(file);
        if (error)
            *error = "sound file " + path + " has no channels or no sample rate";
        return false;
    }

    StereoAudio audio;
    audio.sampleRate = info.samplerate;
    if (info.frames > 0 && info.frames < (sf_count_t(1) << 28))
    {
        audio.left.reserve(static_cast<size_t>(info.frames));
        audio.right.reserve(static_cast<size_t>(info.frames));
    }
    const size_t width = static_cast<size_t>(info.channels);
    const sf_count_t chunkFrames = 4096;
    std::vector<float> interleaved(static_cast<size_t>(chunkFrames) * width);
    for (;;)
    {
        sf_count_t got = sf_readf_float(file, interleaved.data(), chunkFrames);
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got; ++i)
        {
            const float* frame = &interleaved[static_cast<size_t>(i) * width];
            audio.left.push_back(frame[0]);
            audio.right.push_back(width > 1 ? frame[1] : frame[0]);
        }
    }
    const int status = sf_error(file);
    const std::string why = status ? sf_strerror(file) : "";
    sf_close(file);
    if (status)
    {
        if (error)
            *error = "cannot read sound file " + path + ": " + why;
        return false;
    }
    if (out)
        *out = std::move(audio);
    if (channels)
        *channels = info.channels;
    return true;
}

int OutputFormatForPath(const std::string& path, std::string* error)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    std::string extension;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "wav")
        return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    if (extension == "aiff" || extension == "aif")
        return SF_FORMAT_AIFF | SF_FORMAT_PCM_24;
    if (extension == "flac")
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    if (error)
        *error = "cannot tell the output format of " + path + ": use .wav (32-bit float), .aiff/.aif (24-bit) or " +
                 ".flac (24-bit)";
    return 0;
}

bool WriteStereoFile(const std::string& path, const StereoAudio& audio, std::string* error)
{
    const int format = OutputFormatForPath(path, error);
    if (!format)
        return false;
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = 2;
    info.format = format;
    if (!sf_format_check(&info))
    {
        if (error)
            *error = "libsndfile cannot write " + path + " at " + std::to_string(audio.sampleRate) + " Hz";
        return false;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
    {
        if (error)
            *error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if ((format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT)
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    const size_t frames = audio.Frames();
    const size_t chunkFrames = 4096;
    std::vector<float> interleaved(chunkFrames * 2);
    bool ok = true;
    for (size_t start = 0; start < frames && ok; start += chunkFrames)
    {
        const size_t n = std::min(chunkFrames, frames - start);
        for (size_t i = 0; i < n; ++i)
        {
            interleaved[2 * i] = audio.left[start + i];
            interleaved[2 * i + 1] = audio.right[start + i];
        }
        ok = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(n)) == static_cast<sf_count_t>(n);
    }
    const std::string why = ok ? "" : sf_strerror(file);
    if (sf_close(file) != 0 && ok)
        ok = false;
    if (!ok)
    {
        std::remove(path.c_str());
        if (error)
            *error = "cannot write " + path + ": " + (why.empty() ? "error while closing the file" : why);
    }
    return ok;
}

AudioLevels MeasureLevels(const StereoAudio& audio)
{
    AudioLevels levels;
    double sumOfSquares = 0.0;
    for (const std::vector<float>* channel : {&audio.left, &audio.right})
        for (float sample : *channel)
        {
            levels.peak = std::max(levels.peak, std::fabs(sample));
            sumOfSquares += static_cast<double>(sample) * static_cast<double>(sample);
        }
    const size_t samples = audio.left.size() + audio.right.size();
    levels.rms = samples ? std::sqrt(sumOfSquares / static_cast<double>(samples)) : 0.0;
    return levels;
}

double LinearToDbfs(double linear)
{
    return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY;
}
