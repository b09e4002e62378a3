// What the benchmarks share: a plug-in instance driven in-process at 48 kHz,
// a private preferences folder, and a rich 4-second stereo sound written to
// a real file and loaded through the sample-path property.
#pragma once

#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "plugin/VmraXFadeLooperEffect.h"
#include "plugin/VmraXFadeLooperSynth.h"
#include "xfadelooper/ParamInfo.h"

namespace bench
{
constexpr int kRate = 48000;
constexpr int kBlock = 512;
constexpr int kSoundSeconds = 4;

inline VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A temporary folder for the process: the preferences home (so the user's
// own settings stay out of the figures) and the sound file. Removed at exit.
class Scratch
{
public:
    static Scratch& Get()
    {
        static Scratch scratch;
        return scratch;
    }
    const std::string& Path() const { return m_path; }

    // The sound, written once: a sum of detuned, slowly beating harmonics
    // with a little noise, different in the two channels.
    const std::string& SoundPath()
    {
        if (m_sound.empty())
        {
            std::string path = m_path + "/sound.wav";
            if (WriteSound(path))
                m_sound = path;
        }
        return m_sound;
    }

    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

private:
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvo-bench-XXXXXX").string();
        if (char* made = mkdtemp(pattern.data()))
            m_path = made;
        else
        {
            perror("orvo bench: mkdtemp");
            std::exit(1);
        }
        setenv("XDG_CONFIG_HOME", m_path.c_str(), 1);
    }

public:
    static bool WriteSound(const std::string& path)
    {
        const int frames = kSoundSeconds * kRate;
        const double kTwoPi = 6.283185307179586;
        std::vector<float> interleaved(2 * static_cast<size_t>(frames));
        std::mt19937 random(1234);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        for (int i = 0; i < frames; ++i)
        {
            double t = static_cast<double>(i) / kRate;
            double left = 0, right = 0;
            for (int h = 1; h <= 24; ++h)
            {
                double amp = 1.0 / h;
                left += amp * std::sin(kTwoPi * 110.0 * h * t + 0.3 * h);
                right += amp * std::sin(kTwoPi * 110.4 * h * t + 0.7 * h) * (1 + 0.3 * std::sin(kTwoPi * 0.5 * t));
            }
            interleaved[2 * static_cast<size_t>(i)] = static_cast<float>(0.25 * left) + 0.01f * noise(random);
            interleaved[2 * static_cast<size_t>(i) + 1] = static_cast<float>(0.25 * right) + 0.01f * noise(random);
        }
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!file)
            return false;
        sf_count_t written = sf_writef_float(file, interleaved.data(), frames);
        sf_close(file);
        return written == frames;
    }

private:
    std::string m_path;
    std::string m_sound;
};

// Runs f with the process's standard output sent to /dev/null (the sample
// loader logs a line per load).
template <typename F> void Quietly(F f)
{
    fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    FILE* null = fopen("/dev/null", "w");
    if (null && saved >= 0)
        dup2(fileno(null), STDOUT_FILENO);
    f();
    fflush(stdout);
    if (saved >= 0)
    {
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    if (null)
        fclose(null);
}

// One plug-in instance and the blocks it renders from and into.
template <typename Unit> class Rig
{
public:
    explicit Rig(int rate = kRate, int block = kBlock) : block(block)
    {
        Scratch::Get(); // the preferences home comes first
        unit = std::make_unique<Unit>(Host);
        unit->setSampleRate(static_cast<float>(rate));
        unit->setBlockSize(block);
        for (auto* channel : {&inL, &inR, &outL, &outR})
            channel->assign(static_cast<size_t>(block), 0.0f);
    }

    void Set(int index, float plain) { unit->CurrentProgram()->SetParameter(index, plain); }

    // Every voice at full level from its first sample on: no envelope
    // stages, crossfade at its default.
    void PlainKernel()
    {
        Set(kParam_Attack, 0);
        Set(kParam_Decay, 0);
        Set(kParam_Sustain, 1);
        Set(kParam_Crossfade, 50);
    }

    // Loads the sound file at path, or the generated one.
    bool LoadSound(std::string path = std::string())
    {
        if (path.empty())
            path = Scratch::Get().SoundPath();
        if (path.empty())
            return false;
        OSStatus status = noErr;
        Quietly([&] {
            status = AudioUnitSetProperty(unit.get(), kOrvoProperty_SamplePath, 0, 0, path.c_str(), path.size() + 1);
        });
        Process();
        return status == noErr && unit->Engine().BufferFrames() > 0;
    }

    // count notes from first upwards, semitone apart; they start with the
    // next block, which this renders.
    void StartNotes(int count, int first = 48)
    {
        for (int i = 0; i < count; ++i)
            unit->Engine().HandleNoteOn(0, static_cast<unsigned char>(first + i), 127);
        Process();
    }

    void Process()
    {
        float* inputs[2] = {inL.data(), inR.data()};
        float* outputs[2] = {outL.data(), outR.data()};
        unit->processReplacing(inputs, outputs, block);
    }

    int Voices() { return unit->Engine().NumNotes(); }

    int block;
    std::unique_ptr<Unit> unit;
    std::vector<float> inL, inR, outL, outR;
};
} // namespace bench
