// Rendering cost of the engine, in nanoseconds per voice-sample: one
// processReplacing call of 512 frames at 48 kHz, divided by the frames and
// the voices sounding. The plain kernel's goal is 3 ns per voice-sample or
// less; the figures are reported, never judged here.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <random>

#include "bench/BenchRig.h"

namespace
{
using bench::kBlock;
using bench::Rig;

double ThreadCpuNanoseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Times processReplacing on the rig's current state and reports the cost per
// voice-sample: ns_per_voice_sample from this thread's CPU time (what the
// render costs, whatever else the machine is doing), wall_ns_per_voice_sample
// from the monotonic clock. Both clocks are read around the whole loop, so
// the figures are plain averages over every block.
template <typename Unit, typename Step> void TimeBlocks(benchmark::State& state, Rig<Unit>& rig, Step step)
{
    const int voices = rig.Voices();
    if (voices <= 0)
    {
        state.SkipWithError("no voice is sounding");
        return;
    }
    // A few blocks first, so that every voice is past its note-on.
    for (int i = 0; i < 8; ++i)
        step();
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ThreadCpuNanoseconds();
    for (auto _ : state)
    {
        step();
        benchmark::DoNotOptimize(rig.outL.data());
        benchmark::DoNotOptimize(rig.outR.data());
        benchmark::ClobberMemory();
    }
    const double cpu = ThreadCpuNanoseconds() - cpuStart;
    const double wall = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    if (rig.Voices() != voices)
    {
        state.SkipWithError("the number of voices changed while timing");
        return;
    }
    const double voiceSamples = static_cast<double>(state.iterations()) * voices * kBlock;
    state.counters["voices"] = voices;
    state.counters["ns_per_voice_sample"] = cpu / voiceSamples;
    state.counters["wall_ns_per_voice_sample"] = wall / voiceSamples;
    state.SetItemsProcessed(static_cast<int64_t>(voiceSamples));
}

// ---- the instrument -------------------------------------------------------------

// Each switches on one stage over the plain kernel.
enum Stage
{
    kRefTone,
    kPulseWidth,
    kPitchLfo,
    kHardSync,
    kSaturation,
    kFilter,
    kFilterLfo,
    kEqualPower,
    kAlternate,
    kStageCount
};

const char* const kStageNames[kStageCount] = {"reference_tone", "pulse_width_lfo", "pitch_lfo",
                                              "hard_sync",      "saturation",      "filter_env",
                                              "filter_lfo",     "equal_power",     "alternate"};

void EnableStage(Rig<VmraXFadeLooperSynth>& rig, int stage)
{
    switch (stage)
    {
    case kRefTone:
        rig.Set(kParam_ReferenceToneLevel, 30);
        break;
    case kPulseWidth:
        rig.Set(kParam_PulseWidth, 0.3f);
        rig.Set(kParam_PulseWidthLFOAmount, 0.5f);
        rig.Set(kParam_PulseWidthLFOSpeed, 2);
        break;
    case kPitchLfo:
        rig.Set(kParam_PitchLFOAmount, 50);
        rig.Set(kParam_PitchLFOSpeed, 5);
        break;
    case kHardSync:
        rig.Set(kParam_HardSyncCycles, 4);
        rig.Set(kParam_HardSyncDetune, 300);
        rig.Set(kParam_SyncDetuneLFOAmount, 200);
        rig.Set(kParam_SyncDetuneLFOSpeed, 1);
        break;
    case kSaturation:
        rig.Set(kParam_SaturationOnOff, 1);
        rig.Set(kParam_SaturationAmount, 4);
        rig.Set(kParam_SaturationShape, 2);
        break;
    case kFilter:
        rig.Set(kParam_FilterType, 1.5f);
        rig.Set(kParam_FilterEnvAmount, 2);
        rig.Set(kParam_FilterQ, 0.5f);
        break;
    case kFilterLfo:
        rig.Set(kParam_FilterType, 1.5f);
        rig.Set(kParam_FilterLFOAmount, 1.5f);
        rig.Set(kParam_FilterLFOSpeed, 3);
        break;
    case kEqualPower:
        rig.Set(kParam_CrossfadeType, 1);
        break;
    case kAlternate:
        rig.Set(kParam_LoopMode, 2);
        break;
    default:
        break;
    }
}

template <typename Configure> void RunSynth(benchmark::State& state, int notes, Configure configure)
{
    Rig<VmraXFadeLooperSynth> rig;
    rig.PlainKernel();
    configure(rig);
    if (!rig.LoadSound())
    {
        state.SkipWithError("the sound did not load");
        return;
    }
    rig.StartNotes(notes);
    TimeBlocks(state, rig, [&] { rig.Process(); });
}

// (a) The plain kernel: the loop read with its crossfade and nothing else.
void BM_PlainKernel(benchmark::State& state)
{
    RunSynth(state, static_cast<int>(state.range(0)), [](Rig<VmraXFadeLooperSynth>&) {});
}
BENCHMARK(BM_PlainKernel)->ArgName("notes")->Arg(1)->Arg(32);

// (b) Every stage on at once.
void BM_AllStages(benchmark::State& state)
{
    RunSynth(state, static_cast<int>(state.range(0)), [](Rig<VmraXFadeLooperSynth>& rig) {
        for (int stage = 0; stage < kStageCount; ++stage)
            EnableStage(rig, stage);
    });
}
BENCHMARK(BM_AllStages)->ArgName("notes")->Arg(1)->Arg(32);

// One stage at a time over the plain kernel, 32 notes: where the cost of
// the case above comes from.
void BM_OneStage(benchmark::State& state)
{
    const int stage = static_cast<int>(state.range(0));
    state.SetLabel(kStageNames[stage]);
    RunSynth(state, 32, [stage](Rig<VmraXFadeLooperSynth>& rig) { EnableStage(rig, stage); });
}
BENCHMARK(BM_OneStage)->ArgName("stage")->DenseRange(0, kStageCount - 1);

// ---- the effect -----------------------------------------------------------------

// (c) The effect recording all the time (Record Mode "Continuous") from a
// noise input while 32 notes play the buffer being written.
void BM_EffectRecording(benchmark::State& state)
{
    const int notes = static_cast<int>(state.range(0));
    Rig<VmraXFadeLooperEffect> rig;
    rig.PlainKernel();
    rig.Set(kParam_RecordMode, 0);
    rig.Set(kParam_Feedback, 50);

    // Distinct noise in every block of a 16-block cycle.
    constexpr int kNoiseBlocks = 16;
    std::vector<float> noiseL(kNoiseBlocks * kBlock), noiseR(kNoiseBlocks * kBlock);
    std::mt19937 random(99);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (size_t i = 0; i < noiseL.size(); ++i)
    {
        noiseL[i] = noise(random);
        noiseR[i] = noise(random);
    }
    int block = 0;
    auto step = [&] {
        float* inputs[2] = {noiseL.data() + block * kBlock, noiseR.data() + block * kBlock};
        float* outputs[2] = {rig.outL.data(), rig.outR.data()};
        rig.unit->processReplacing(inputs, outputs, kBlock);
        block = (block + 1) % kNoiseBlocks;
    };
    // The record length is set by the first block; notes need a buffer.
    for (int i = 0; i < 4; ++i)
        step();
    for (int i = 0; i < notes; ++i)
        rig.unit->Engine().HandleNoteOn(0, static_cast<unsigned char>(48 + i), 127);
    step();
    TimeBlocks(state, rig, step);
}
BENCHMARK(BM_EffectRecording)->ArgName("notes")->Arg(32);

} // namespace

BENCHMARK_MAIN();
