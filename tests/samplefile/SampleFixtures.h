// Helpers for the sample-file tests: sound files with known samples written
// through libsndfile, raw byte files, and capture of standard output.
#pragma once

#include <sndfile.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Known sample values, indexed (frame + 3 x channel) % 8 so that every channel
// differs from its neighbours in every frame. Full scale both ways included.
inline int32_t KnownSample(int bytesPerSample, int frame, int channel)
{
    static const int32_t k16[8] = {32767, -32768, 0x0102, -0x0102, 0x1234, -1, 1, 0x4000};
    static const int32_t k24[8] = {8388607, -8388608, 0x010203, -0x010203, 0x123456, -1, 1, 0x400000};
    const int i = (frame + 3 * channel) % 8;
    return bytesPerSample == 2 ? k16[i] : k24[i];
}

// Writes frames x channels known samples (as 32-bit ints scaled to the file's
// depth) in the given libsndfile format. False when this libsndfile cannot
// write that format.
inline bool WriteKnownSoundFile(const std::string& path, int format, int channels, int rate, int frames,
                                int bytesPerSample)
{
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const int32_t scale = bytesPerSample == 2 ? 65536 : 256;
    std::vector<int> data;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data.push_back(KnownSample(bytesPerSample, i % 8, c) * scale);
    const bool ok = sf_writef_int(file, data.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}

// A sine wave, for formats that need real audio to encode (FLAC, Vorbis, MP3...).
inline bool WriteToneSoundFile(const std::string& path, int format, int channels, int rate, int frames)
{
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> data;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data.push_back(0.5f * static_cast<float>(((i * 37) % 200) - 100) / 100.0f);
    const bool ok = sf_writef_float(file, data.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}

inline std::vector<unsigned char> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Sends standard output to a temporary file from construction until Text().
class CapturedStdout
{
public:
    CapturedStdout()
    {
        std::fflush(stdout);
        m_file = std::tmpfile();
        m_saved = dup(STDOUT_FILENO);
        if (m_file && m_saved >= 0)
            dup2(fileno(m_file), STDOUT_FILENO);
    }
    ~CapturedStdout()
    {
        Restore();
        if (m_file)
            std::fclose(m_file);
    }
    CapturedStdout(const CapturedStdout&) = delete;
    CapturedStdout& operator=(const CapturedStdout&) = delete;

    // Everything written since construction; stops the capture.
    std::string Text()
    {
        Restore();
        std::string text;
        if (!m_file)
            return text;
        std::rewind(m_file);
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            text.append(buffer, n);
        return text;
    }

private:
    void Restore()
    {
        std::fflush(stdout);
        if (m_saved >= 0)
        {
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
            m_saved = -1;
        }
    }

    FILE* m_file = nullptr;
    int m_saved = -1;
};
