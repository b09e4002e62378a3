// A plug-in instance driven in-process, with a sound written to a real file
// and loaded through the sample-path property, as the editor does.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <memory>
#include <string>
#include <vector>

#include "plugin/VmraXFadeLooperEffect.h"
#include "plugin/VmraXFadeLooperSynth.h"
#include "tests/TempDir.h"

struct Block
{
    std::vector<float> left, right;
};

inline VstIntPtr fixtureHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// Writes frames of (left, right) as a 24-bit stereo WAV file.
inline bool WriteWav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right,
                     int rate = 44100, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_24)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> interleaved(2 * left.size());
    for (size_t i = 0; i < left.size(); ++i)
    {
        interleaved[2 * i] = left[i];
        interleaved[2 * i + 1] = right[i];
    }
    sf_count_t written = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(left.size()));
    sf_close(file);
    return written == static_cast<sf_count_t>(left.size());
}

template <typename Unit> class EngineFixture : public ::testing::Test
{
protected:
    TempDir dir;
    ScopedEnv configHome{"XDG_CONFIG_HOME", dir.Path()};
    std::unique_ptr<Unit> unit;
    int blockSize = 512;

    void SetUp() override
    {
        unit = std::make_unique<Unit>(fixtureHost);
        unit->setSampleRate(44100.0f);
        unit->setBlockSize(blockSize);
    }

    VmraXFadeLooper& Engine() { return unit->Engine(); }

    void Set(int index, float plain) { unit->CurrentProgram()->SetParameter(index, plain); }

    // Envelope and crossfade settings that make the output equal the buffer
    // read at the head's position.
    void PlainPlayback()
    {
        Set(kParam_Attack, 0);
        Set(kParam_Decay, 0);
        Set(kParam_Sustain, 1);
        Set(kParam_Release, 0);
        Set(kParam_Crossfade, 0);
    }

    // Loads a sound through the sample-path property; it takes effect with
    // the next block, which this renders.
    void Load(const std::vector<float>& left, const std::vector<float>& right, int rate = 44100)
    {
        std::string path = dir / ("sound" + std::to_string(m_loads++) + ".wav");
        ASSERT_TRUE(WriteWav(path, left, right, rate));
        testing::internal::CaptureStdout(); // the loader's log line
        ASSERT_EQ(AudioUnitSetProperty(unit.get(), 64000, 0, 0, path.c_str(), path.size() + 1), noErr);
        testing::internal::GetCapturedStdout();
        Process(1);
    }

    // A ramp: frame i holds i * scale in both channels.
    void LoadRamp(int frames, float scale)
    {
        std::vector<float> ramp(static_cast<size_t>(frames));
        for (int i = 0; i < frames; ++i)
            ramp[static_cast<size_t>(i)] = static_cast<float>(i) * scale;
        Load(ramp, ramp);
    }

    void LoadConstant(int frames, float value)
    {
        std::vector<float> v(static_cast<size_t>(frames), value);
        Load(v, v);
    }

    Block Process(int frames, const std::vector<float>* input = nullptr)
    {
        Block out{std::vector<float>(static_cast<size_t>(frames)), std::vector<float>(static_cast<size_t>(frames))};
        std::vector<float> silence(static_cast<size_t>(frames), 0.0f);
        const float* in = input ? input->data() : silence.data();
        float* inputs[2] = {const_cast<float*>(in), const_cast<float*>(in)};
        float* outputs[2] = {out.left.data(), out.right.data()};
        unit->processReplacing(inputs, outputs, frames);
        return out;
    }

private:
    int m_loads = 0;
};
