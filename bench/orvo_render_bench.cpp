// Renders a Standard MIDI File through the instrument in-process, as a host
// would drive the plug-in offline: the file's events go in through
// processEvents at their frame in the block, then processReplacing renders
// the block; the output is written as a 32-bit float WAV when asked for.
// Prints the time spent rendering (and writing) on standard error.
//
//   orvo_render_bench --midi FILE.mid [--sample FILE] [--seconds S] [--rate HZ]
//                     [--block N] [-o OUT.wav] [--set "Name=value"]...
//   orvo_render_bench --make-sound OUT.wav    writes the 4-second test sound
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchRig.h"
#include "bench/MidiFile.h"

namespace
{
int usage(const char* why)
{
    fprintf(stderr,
            "orvo_render_bench: %s\n"
            "usage: orvo_render_bench --midi FILE.mid [--sample FILE] [--seconds S] [--rate HZ] [--block N]\n"
            "                         [-o OUT.wav] [--set \"Name=value\"]...\n"
            "       orvo_render_bench --make-sound OUT.wav\n",
            why);
    return 2;
}

// "Name=value" with a parameter name from the table, case as written there.
bool applySet(bench::Rig<VmraXFadeLooperSynth>& rig, const std::string& text)
{
    size_t eq = text.rfind('=');
    if (eq == std::string::npos)
        return false;
    std::string name = text.substr(0, eq);
    char* end = nullptr;
    float value = std::strtof(text.c_str() + eq + 1, &end);
    if (end == text.c_str() + eq + 1 || *end != '\0')
        return false;
    for (int i = 0; i < kNumParams; ++i)
        if (IsParameterUsed(i) && name == astParamInfos[i].name)
        {
            rig.Set(i, value);
            return true;
        }
    return false;
}
} // namespace

int main(int argc, char** argv)
{
    std::string midiPath, samplePath, outPath, makeSound;
    std::vector<std::string> sets;
    double seconds = 60;
    int rate = bench::kRate, block = bench::kBlock;
    for (int i = 1; i < argc; ++i)
    {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--help" || a == "-h")
            return usage("renders a MIDI file through the instrument in-process"), 0;
        if (!(v = value()))
            return usage(("missing value after " + a).c_str());
        if (a == "--midi")
            midiPath = v;
        else if (a == "--sample")
            samplePath = v;
        else if (a == "-o" || a == "--output")
            outPath = v;
        else if (a == "--seconds")
            seconds = std::atof(v);
        else if (a == "--rate")
            rate = std::atoi(v);
        else if (a == "--block")
            block = std::atoi(v);
        else if (a == "--set")
            sets.push_back(v);
        else if (a == "--make-sound")
            makeSound = v;
        else
            return usage(("unknown option " + a).c_str());
    }
    if (!makeSound.empty())
    {
        if (!bench::Scratch::WriteSound(makeSound))
            return fprintf(stderr, "orvo_render_bench: cannot write %s\n", makeSound.c_str()), 1;
        return 0;
    }
    if (midiPath.empty())
        return usage("--midi is required");
    if (!(seconds > 0) || rate < 8000 || rate > 384000 || block < 1 || block > 8192)
        return usage("--seconds, --rate or --block out of range");

    std::vector<bench::TimedMidi> events;
    std::string error;
    if (!bench::ReadMidiFile(midiPath, events, error))
        return fprintf(stderr, "orvo_render_bench: %s\n", error.c_str()), 1;

    bench::Rig<VmraXFadeLooperSynth> rig(rate, block);
    for (const std::string& s : sets)
        if (!applySet(rig, s))
            return usage(("--set \"" + s + "\": unknown parameter or bad value").c_str());
    if (!rig.LoadSound(samplePath))
        return fprintf(stderr, "orvo_render_bench: the sound did not load\n"), 1;

    SNDFILE* out = nullptr;
    if (!outPath.empty())
    {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        out = sf_open(outPath.c_str(), SFM_WRITE, &info);
        if (!out)
            return fprintf(stderr, "orvo_render_bench: cannot write %s: %s\n", outPath.c_str(), sf_strerror(nullptr)),
                   1;
    }

    const long long total = std::llround(seconds * rate);
    std::vector<VstMidiEvent> midi;
    std::vector<VstEvent*> pointers;
    std::vector<unsigned char> listBytes;
    std::vector<float> interleaved(2 * static_cast<size_t>(block));
    size_t next = 0;
    int peakVoices = 0;
    auto start = std::chrono::steady_clock::now();
    for (long long done = 0; done < total; done += block)
    {
        const int n = static_cast<int>(std::min<long long>(block, total - done));
        midi.clear();
        while (next < events.size() && std::llround(events[next].seconds * rate) < done + n)
        {
            const bench::TimedMidi& e = events[next++];
            VstMidiEvent m{};
            m.type = kVstMidiType;
            m.byteSize = sizeof(VstMidiEvent);
            m.deltaFrames = static_cast<VstInt32>(std::max<long long>(std::llround(e.seconds * rate) - done, 0));
            for (int b = 0; b < e.size; ++b)
                m.midiData[b] = static_cast<char>(e.bytes[b]);
            midi.push_back(m);
        }
        if (!midi.empty())
        {
            pointers.clear();
            for (VstMidiEvent& m : midi)
                pointers.push_back(reinterpret_cast<VstEvent*>(&m));
            listBytes.assign(sizeof(VstEvents) + pointers.size() * sizeof(VstEvent*), 0);
            VstEvents* list = reinterpret_cast<VstEvents*>(listBytes.data());
            list->numEvents = static_cast<VstInt32>(pointers.size());
            memcpy(list->events, pointers.data(), pointers.size() * sizeof(VstEvent*));
            rig.unit->processEvents(list);
        }
        float* outputs[2] = {rig.outL.data(), rig.outR.data()};
        rig.unit->processReplacing(nullptr, outputs, n);
        peakVoices = std::max(peakVoices, rig.Voices());
        if (out)
        {
            for (int i = 0; i < n; ++i)
            {
                interleaved[2 * static_cast<size_t>(i)] = rig.outL[static_cast<size_t>(i)];
                interleaved[2 * static_cast<size_t>(i) + 1] = rig.outR[static_cast<size_t>(i)];
            }
            sf_writef_float(out, interleaved.data(), n);
        }
    }
    if (out)
        sf_close(out);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fprintf(stderr, "orvo_render_bench: %.3f s of audio at %d Hz in %.3f s (%lld frames, block %d, up to %d voices)\n",
            static_cast<double>(total) / rate, rate, elapsed, total, block, peakVoices);
    return 0;
}
