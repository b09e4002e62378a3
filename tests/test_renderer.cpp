// Notes through the engine: the loop renderer's output for known buffers,
// envelopes, LFOs, voices, the note queue and sample files.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "platform/Alert.h"
#include "tests/EngineFixture.h"
#include "xfadelooper/Filter.h"

namespace
{
std::vector<std::string> g_alerts;
void recordAlert(const char* text)
{
    g_alerts.push_back(text);
}

class Renderer : public EngineFixture<VmraXFadeLooperSynth>
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        PlainPlayback();
    }
    void NoteOn(int note, int velocity = 127) { Engine().HandleNoteOn(0, static_cast<unsigned char>(note), static_cast<unsigned char>(velocity)); }
    void NoteOff(int note) { Engine().HandleNoteOff(0, static_cast<unsigned char>(note), 0); }
};

constexpr float kRamp = 0.001f; // ramp buffers: frame i holds i / 1000
constexpr float kTol = 2e-6f;
} // namespace

TEST_F(Renderer, OctaveAboveTheRootPlaysAtTwiceTheRate)
{
    LoadRamp(1000, kRamp);
    NoteOn(72);
    Block b = Process(400);
    for (int k = 0; k < 400; ++k)
        ASSERT_NEAR(b.left[k], 2 * k * kRamp, kTol) << k;
    EXPECT_EQ(b.left, b.right);
}

TEST_F(Renderer, CrossfadeGeometryAndTheJumpBack)
{
    Set(kParam_Crossfade, 50); // J = 750, X = 250 on a 1000-frame loop
    LoadRamp(1000, kRamp);
    NoteOn(60);
    Block b = Process(800);
    const DataToGui* gui = unit->GetDataToGui();
    EXPECT_NEAR(gui->playPosition, 0.8f, 1e-6f);
    EXPECT_NEAR(gui->crossfadePosition, 0.05f, 1e-6f);
    EXPECT_NEAR(gui->crossfadeGain, 0.2f, 1e-6f);
    EXPECT_NEAR(gui->playGain, 0.8f, 1e-6f);
    EXPECT_NEAR(b.left[749], 0.749f, kTol); // before the crossfade: the main head alone
    Block c = Process(201);
    // At 900 the partner (at 150) has 60 % equal gain.
    EXPECT_NEAR(c.left[100], 0.9f * 0.4f + 0.15f * 0.6f, 1e-5f);
    // After the jump the main head continues at S + X.
    EXPECT_NEAR(c.left[200], 0.25f, kTol);
}

TEST_F(Renderer, NoCrossfadeJumpsStraightBack)
{
    LoadRamp(1000, kRamp);
    NoteOn(60);
    Block b = Process(1002);
    EXPECT_NEAR(b.left[999], 0.999f, kTol);
    EXPECT_NEAR(b.left[1000], 0.0f, kTol);
    EXPECT_NEAR(b.left[1001], 0.001f, kTol);
    EXPECT_EQ(unit->GetDataToGui()->crossfadeGain, 0.0f);
}

TEST_F(Renderer, EqualPowerLawAtTheCrossfadeMiddle)
{
    Set(kParam_Crossfade, 50);
    LoadConstant(1000, 0.5f);
    struct Case
    {
        float type;
        float expected; // sum of both gains times 0.5
    } cases[] = {{0, 0.5f}, {1, 0.7140f}};
    for (const Case& c : cases)
    {
        Set(kParam_CrossfadeType, c.type);
        NoteOn(60);
        Block b = Process(876);
        EXPECT_NEAR(b.left[875], c.expected, 2e-4f) << c.type; // C = 0.5 at 875
        Engine().HandleAllSoundOff(0);
        Process(1);
    }
}

TEST_F(Renderer, AlternateModeTurnsAround)
{
    Set(kParam_LoopMode, 2);
    LoadRamp(1000, kRamp);
    NoteOn(60);
    Block b = Process(1003);
    EXPECT_NEAR(b.left[999], 0.999f, kTol);
    EXPECT_NEAR(b.left[1000], 0.999f, kTol); // the guard frame at E
    EXPECT_NEAR(b.left[1002], 0.998f, kTol);

    // With a crossfade the head turns back by X, and the partner had been
    // running backwards from E.
    Engine().HandleAllSoundOff(0);
    Set(kParam_Crossfade, 50);
    Process(1);
    NoteOn(60);
    b = Process(1002);
    EXPECT_NEAR(b.left[900], 0.9f * 0.4f + 0.85f * 0.6f, 1e-5f);
    EXPECT_NEAR(b.left[1000], 0.75f, kTol);
    EXPECT_NEAR(b.left[1001], 0.749f, kTol);
}

TEST_F(Renderer, LoopChangeIsSmoothedOver64Samples)
{
    LoadRamp(1000, kRamp);
    NoteOn(60);
    Process(700);
    Set(kParam_LoopEnd, 0.5f);
    Block b = Process(128);
    for (int j = 0; j < 64; ++j)
    {
        float x = static_cast<float>(j) / 64.0f;
        float expected = (700 + j) * kRamp * (1 - x) + (200 + j) * kRamp * x;
        ASSERT_NEAR(b.left[j], expected, 1e-5f) << j;
    }
    EXPECT_NEAR(b.left[64], 0.264f, kTol);
}

TEST_F(Renderer, OneShotFadesOutAfterTheFirstBoundary)
{
    Set(kParam_NoLoopOnOff, 1);
    Set(kParam_NoLoopFade, 10); // 441 samples at 44.1 kHz
    LoadConstant(1000, 1.0f);
    NoteOn(60);
    Block b = Process(1500);
    EXPECT_NEAR(b.left[999], 1.0f, kTol);
    for (int j = 0; j <= 441; ++j)
        ASSERT_NEAR(b.left[1000 + j], (441.0f - j) / 441.0f, 1e-5f) << j;
    EXPECT_EQ(b.left[1499], 0.0f);
    EXPECT_EQ(Engine().NumNotes(), 0);
}

TEST_F(Renderer, ReferenceToneAloneAtFullLevel)
{
    Set(kParam_ReferenceToneLevel, 100);
    LoadConstant(1000, 0.5f);
    NoteOn(69);
    Block b = Process(300);
    for (int k = 0; k < 300; ++k)
        ASSERT_NEAR(b.left[k], std::sin(2 * M_PI * 440.0 * k / 44100.0), 2e-4) << k;
}

TEST_F(Renderer, HardSyncLoopHoldsWholeCyclesOfTheRoot)
{
    Set(kParam_RootNote, 69);
    Set(kParam_HardSyncCycles, 1); // 44100 / 440 = 100.227 frames
    LoadRamp(2000, kRamp);
    NoteOn(69);
    Block b = Process(103);
    EXPECT_NEAR(b.left[100], 0.100f, kTol);
    EXPECT_NEAR(b.left[101], (101 - 100.227f) * kRamp, 1e-5f);
    EXPECT_NEAR(b.left[102], (102 - 100.227f) * kRamp, 1e-5f);
}

TEST_F(Renderer, VolumeIsAppliedCubed)
{
    Set(kParam_Volume, 0.5f);
    LoadConstant(1000, 1.0f);
    NoteOn(60);
    Block b = Process(10);
    EXPECT_NEAR(b.left[5], 0.125f, kTol);
}

TEST_F(Renderer, EmptyInstrumentStartsNoNotes)
{
    NoteOn(60);
    Block b = Process(64);
    EXPECT_EQ(Engine().NumNotes(), 0);
    EXPECT_EQ(Engine().NumHeldNotes(), 0);
    for (float v : b.left)
        ASSERT_EQ(v, 0.0f);
}

TEST(Envelope, SegmentShapes)
{
    struct Case
    {
        float shape, from, to;
        float atHalf;
    } cases[] = {
        {1, 0, 1, 0.5f},     // straight line up
        {0, 0, 1, 0.25f},    // slow start: peak / 4 at half time
        {0, 1, 0, 0.25f},    // falling fast: 3/4 of the travel at half time
        {1, 0.8f, 0.2f, 0.5f},
    };
    for (const Case& c : cases)
    {
        Note::Stage stage;
        stage.Setup(0.5f, c.shape, c.from, c.to, 44100.0f);
        ASSERT_EQ(stage.count, 22050u);
        float level = c.from, increment = stage.increment;
        for (uint32_t k = 0; k < stage.count; ++k)
        {
            level += increment;
            increment += stage.acceleration;
            if (k + 1 == stage.count / 2)
            {
                EXPECT_NEAR(level, c.atHalf, 1e-3f) << c.shape << " " << c.from;
            }
        }
        EXPECT_NEAR(level, c.to, 1e-3f);
    }
    Note::Stage endless;
    endless.Setup(5.0f, 1, 0.7f, 0, 44100.0f, 5.0f);
    EXPECT_EQ(endless.count, Note::Stage::kEndless);
    EXPECT_EQ(endless.increment, 0.0f);
    Note::Stage shortest;
    shortest.Setup(0, 1, 0, 1, 44100.0f);
    EXPECT_EQ(shortest.count, 1u);
}

TEST(Lfo, Shapes)
{
    struct Case
    {
        float phase, shape, value;
    } cases[] = {
        {0, 0, 0},      {0.25f, 0, 1},    {0.75f, 0, -1},   {0, 1, -1},       {0.5f, 1, 1},    {0.25f, 1.5f, 0},
        {0.5f, 1.5f, 1}, {0, 2, -1},      {0.75f, 2.9f, 0.5f}, {0.5f, 3, 1},   {0.49f, 3, -1},  {0.9f, 3.5f, 1},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(LFO(c.phase, c.shape), c.value, 1e-6f) << c.phase << " " << c.shape;
    for (int i = 0; i <= 1000; ++i)
    {
        float x = static_cast<float>(i) / 1000.0f;
        ASSERT_NEAR(Sin01(x), std::sin(2 * M_PI * x), 2e-7) << x;
    }
}

TEST_F(Renderer, TheQuietestPlayedVoiceIsStolenNeverADrone)
{
    LoadConstant(1000, 0.1f);
    Set(kParam_Drone0OnOff, 1);
    Set(kParam_Drone1OnOff, 1);
    Process(1);
    ASSERT_EQ(Engine().NumNotes(), 2);
    for (int i = 0; i < 30; ++i)
        NoteOn(40 + i, i == 11 ? 20 : 100);
    Process(1);
    ASSERT_EQ(Engine().NumNotes(), 32);
    NoteOn(100);
    Process(1);
    EXPECT_EQ(Engine().NumNotes(), 32);
    EXPECT_EQ(Engine().GetNote(13).note, 100); // slot of the quiet note 51
    EXPECT_EQ(Engine().GetNote(0).drone, 0);
    EXPECT_EQ(Engine().GetNote(1).drone, 1);
    // With every played voice equally loud, the first played one goes.
    NoteOn(101);
    Process(1);
    EXPECT_EQ(Engine().GetNote(2).note, 101);
    EXPECT_EQ(Engine().GetNote(0).drone, 0);
}

TEST_F(Renderer, SustainPedalAndRepeatedKeys)
{
    Set(kParam_Release, 1);
    LoadConstant(1000, 0.1f);
    auto sounding = [&] {
        int n = 0;
        for (int i = 0; i < Engine().NumNotes(); ++i)
            n += Engine().GetNote(i).ampEnv.stage >= Note::Envelope::kSustain;
        return n;
    };
    NoteOn(60);
    Engine().HandleControlChange(0, 64, 127);
    NoteOff(60);
    NoteOn(60);
    Engine().HandleControlChange(0, 64, 0);
    Process(1);
    EXPECT_EQ(Engine().NumNotes(), 2);
    EXPECT_EQ(sounding(), 2); // the key is held again: both keep sounding
    NoteOff(60);
    Process(1);
    EXPECT_EQ(sounding(), 0);
    EXPECT_EQ(Engine().NumNotes(), 2); // both in their release

    Engine().HandleAllSoundOff(0);
    NoteOn(62);
    NoteOn(62);
    Process(1);
    ASSERT_EQ(Engine().NumNotes(), 2);
    EXPECT_EQ(Engine().GetNote(0).ampEnv.stage, Note::Envelope::kRelease);
    EXPECT_GE(Engine().GetNote(1).ampEnv.stage, Note::Envelope::kSustain);
}

TEST_F(Renderer, AllNotesOffRestartsEnabledDrones)
{
    Set(kParam_Release, 1);
    LoadConstant(1000, 0.1f);
    Set(kParam_Drone0OnOff, 1);
    Process(1);
    ASSERT_EQ(Engine().NumNotes(), 1);
    Engine().HandleAllNotesOff(0);
    Process(1);
    ASSERT_EQ(Engine().NumNotes(), 2);
    EXPECT_EQ(Engine().GetNote(0).ampEnv.stage, Note::Envelope::kRelease);
    EXPECT_GE(Engine().GetNote(1).ampEnv.stage, Note::Envelope::kSustain);
    EXPECT_EQ(Engine().GetNote(1).drone, 0);
}

TEST_F(Renderer, PerNotePlayPositionMemory)
{
    Set(kParam_PlayPositionMemory, 2);
    Set(kParam_StartOffset, 0.25f);
    LoadRamp(1000, kRamp);
    NoteOn(60);
    Process(100); // note 60 reaches 350
    Engine().HandleAllSoundOff(0);
    NoteOn(64); // never played: starts at the offset
    Block b = Process(1);
    EXPECT_NEAR(b.left[0], 0.25f, kTol);
    Engine().HandleAllSoundOff(0);
    NoteOn(60); // continues where it was
    b = Process(1);
    EXPECT_NEAR(b.left[0], 0.35f, kTol);
}

TEST_F(Renderer, PitchWheel)
{
    struct Case
    {
        unsigned char lsb, msb;
        float bend;
    } cases[] = {{0, 64, 0.0f}, {0, 0, -2.0f}, {127, 127, 2.0f * 8191 / 8192}};
    for (const Case& c : cases)
    {
        Engine().HandlePitchWheel(0, c.lsb, c.msb);
        EXPECT_FLOAT_EQ(Engine().PitchBend(), c.bend);
    }
    Set(kParam_PitchWheelRange, 12);
    Engine().HandlePitchWheel(0, 0, 0);
    EXPECT_FLOAT_EQ(Engine().PitchBend(), -12.0f);
    // A full octave down halves the rate.
    LoadRamp(1000, kRamp);
    NoteOn(60);
    Block b = Process(11);
    EXPECT_NEAR(b.left[10], 0.005f, kTol);
}

TEST(NoteQueue, HoldsSixtyThreeUnreadMessages)
{
    NoteOnOffQueue queue;
    auto refused = [&](int note) {
        testing::internal::CaptureStderr();
        bool written = queue.Write(NoteOnOffInfo::kNoteOn, note, 0.5f);
        std::string line = testing::internal::GetCapturedStderr();
        return !written && line == "VmraXFadeLooper::NoteOnOffQueue::Write() overflow\n";
    };
    // From the very first lap: 63 unread messages, then the overflow line.
    for (int i = 0; i < 63; ++i)
        ASSERT_TRUE(queue.Write(NoteOnOffInfo::kNoteOn, i, 0.5f)) << i;
    EXPECT_TRUE(refused(99));
    const NoteOnOffInfo* first = queue.Read();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->note, 0);
    // One consumed: room for exactly one more; the slot just read stays
    // valid until the next read.
    EXPECT_TRUE(queue.Write(NoteOnOffInfo::kSustain, true));
    EXPECT_TRUE(refused(100));
    EXPECT_EQ(first->note, 0);
    for (int i = 1; i < 63; ++i)
        ASSERT_EQ(queue.Read()->note, i);
    const NoteOnOffInfo* pedal = queue.Read();
    ASSERT_NE(pedal, nullptr);
    EXPECT_EQ(pedal->message, NoteOnOffInfo::kSustain);
    EXPECT_TRUE(pedal->down);
    EXPECT_EQ(queue.Read(), nullptr);
    // Every lap after holds 63 as well.
    for (int i = 0; i < 63; ++i)
        ASSERT_TRUE(queue.Write(NoteOnOffInfo::kNoteOn, i, 0.5f)) << i;
    EXPECT_TRUE(refused(101));
}

TEST(NoteQueue, SeveralWritersOneReader)
{
    NoteOnOffQueue queue;
    const int kWriters = 4, kEach = 5000;
    std::atomic<int> refused{0};
    std::vector<std::thread> writers;
    testing::internal::CaptureStderr();
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&, w] {
            for (int i = 0; i < kEach; ++i)
                if (!queue.Write(NoteOnOffInfo::kNoteOn, w * kEach + i, static_cast<float>(w)))
                    ++refused;
        });
    int received = 0;
    std::vector<int> last(kWriters, -1);
    auto drain = [&] {
        while (const NoteOnOffInfo* info = queue.Read())
        {
            int w = static_cast<int>(info->velocity);
            EXPECT_GT(info->note, last[w]); // each writer's messages arrive in order
            last[w] = info->note;
            ++received;
        }
    };
    while (received + refused.load() < kWriters * kEach)
        drain();
    for (std::thread& t : writers)
        t.join();
    drain();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(received + refused.load(), kWriters * kEach);
    EXPECT_GT(received, 0);
}

class SampleFiles : public Renderer
{
protected:
    void SetUp() override
    {
        Renderer::SetUp();
        g_alerts.clear();
        m_previous = SetAlertHandler(recordAlert);
    }
    void TearDown() override { SetAlertHandler(m_previous); }
    OSStatus SetPath(const std::string& path)
    {
        testing::internal::CaptureStdout();
        OSStatus status = AudioUnitSetProperty(unit.get(), 64000, 0, 0, path.c_str(), path.size() + 1);
        testing::internal::GetCapturedStdout();
        Process(1);
        return status;
    }

private:
    AlertHandler m_previous = nullptr;
};

TEST_F(SampleFiles, MonoSixteenBitFillsBothChannels)
{
    std::string path = dir / "mono.wav";
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    short samples[4] = {1000, -2000, 32767, -32768};
    sf_write_short(file, samples, 4);
    sf_close(file);
    EXPECT_EQ(SetPath(path), noErr);
    EXPECT_TRUE(g_alerts.empty());
    EXPECT_EQ(Engine().BufferFrames(), 4.0f);
    EXPECT_EQ(Engine().BufferSampleRate(), 22050.0f);
    const float* buffer = Engine().Buffer();
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_FLOAT_EQ(buffer[2 * i], samples[i] / 32767.0f);
        EXPECT_EQ(buffer[2 * i], buffer[2 * i + 1]);
    }
    EXPECT_EQ(buffer[8], buffer[6]); // guard frame
    // Played at its own rate: half the host's, so the rate scale is 0.5.
    NoteOn(72);
    Process(1);
    EXPECT_EQ(Engine().NumNotes(), 1);
}

TEST_F(SampleFiles, RefusedFilesLeaveTheBufferAlone)
{
    LoadConstant(100, 0.25f);
    std::string floatPath = dir / "float.wav";
    ASSERT_TRUE(WriteWav(floatPath, {0.1f, 0.2f}, {0.1f, 0.2f}, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::string textPath = dir / "notes.txt";
    std::ofstream(textPath) << "not a sound file";
    struct Case
    {
        std::string path;
        const char* alert; // null: nothing shown
    } cases[] = {
        {floatPath, "Only 16 or 24 bit formats supported"},
        {textPath, "Unable to open that file"},
        {dir / "missing.wav", nullptr},
    };
    for (const Case& c : cases)
    {
        g_alerts.clear();
        EXPECT_EQ(SetPath(c.path), noErr) << c.path;
        if (c.alert)
            EXPECT_EQ(g_alerts, std::vector<std::string>{c.alert}) << c.path;
        else
            EXPECT_TRUE(g_alerts.empty()) << c.path;
        EXPECT_EQ(Engine().BufferFrames(), 100.0f);
        EXPECT_EQ(Engine().Buffer()[10], 0.25f);
    }
}

TEST_F(SampleFiles, SamePathIsNotReloadedButTheProgramsOwnPathIs)
{
    std::string path = dir / "a.wav";
    ASSERT_TRUE(WriteWav(path, std::vector<float>(50, 0.5f), std::vector<float>(50, 0.5f)));
    ASSERT_EQ(SetPath(path), noErr);
    ASSERT_EQ(Engine().BufferFrames(), 50.0f);
    // The file changes on disk; setting the same path again does not reload.
    ASSERT_TRUE(WriteWav(path, std::vector<float>(80, 0.25f), std::vector<float>(80, 0.25f)));
    SetPath(path);
    EXPECT_EQ(Engine().BufferFrames(), 50.0f);
    // A chunk re-sets the path from the program's own storage: reloads.
    void* chunk = nullptr;
    VstInt32 size = unit->getChunk(&chunk, false);
    std::vector<char> copy(static_cast<char*>(chunk), static_cast<char*>(chunk) + size);
    testing::internal::CaptureStdout();
    EXPECT_EQ(unit->setChunk(copy.data(), size, false), 1);
    testing::internal::GetCapturedStdout();
    Process(1);
    EXPECT_EQ(Engine().BufferFrames(), 80.0f);
    EXPECT_FLOAT_EQ(Engine().Buffer()[0], 0.25f);
}

TEST_F(SampleFiles, SavedBufferIsNormalisedToFullScale)
{
    std::vector<float> left(100, 0.1f), right(100, -0.2f);
    left[37] = 0.5f;
    Load(left, right);
    VL::SampleBytes record{};
    ASSERT_EQ(AudioUnitGetProperty(unit.get(), 64008, 0, 0, &record, nullptr), noErr);
    ASSERT_EQ(record.byteCount, 600u);
    int32_t peak = 0;
    for (uint32_t i = 0; i < record.byteCount; i += 3)
    {
        int32_t v = static_cast<int32_t>((static_cast<uint32_t>(record.bytes[i]) << 24) |
                                         (static_cast<uint32_t>(record.bytes[i + 1]) << 16) |
                                         (static_cast<uint32_t>(record.bytes[i + 2]) << 8)) >> 8;
        peak = std::max(peak, std::abs(v));
    }
    EXPECT_EQ(peak, 8388607);
    delete[] record.bytes;
}

TEST(FilterAndSaturation, Coefficients)
{
    struct Case
    {
        float cutoff, q, envAmount;
        float base, damping;
    } cases[] = {
        {12000, 0.1f, 0, 2 * 0.70710678f, 0.70710678f}, // w clamps to pi/4
        {1000, 1.0f, 0, 2 * std::sin(static_cast<float>(1000 * M_PI / 44100)), 0.0f},
        {1000, 0.01f, 0, 2 * std::sin(static_cast<float>(1000 * M_PI / 44100)), 1.3675444f},
    };
    for (const Case& c : cases)
    {
        FilterCoefficients f = ComputeFilterCoefficients(c.cutoff, c.q, c.envAmount, 0, 44100);
        EXPECT_NEAR(f.base, c.base, 1e-5f) << c.cutoff << " " << c.q;
        EXPECT_NEAR(f.damping, c.damping, 1e-4f) << c.cutoff << " " << c.q;
    }
    // Envelope amount -4 at level 1 uses cutoff / 16.
    FilterCoefficients f = ComputeFilterCoefficients(1600, 0.1f, -4, 0, 44100);
    FilterCoefficients sixteenth = ComputeFilterCoefficients(100, 0.1f, 0, 0, 44100);
    EXPECT_NEAR(f.base + f.envRange, sixteenth.base, 1e-5f);

    SaturationSettings soft = SaturationSettings::From(0, 1);
    EXPECT_EQ(soft.makeup, 1.0f);
    EXPECT_FLOAT_EQ(soft.Apply(2.0f), 1.0f);
    EXPECT_FLOAT_EQ(soft.Apply(-3.0f), -1.0f);
    SaturationSettings hard = SaturationSettings::From(11, 1);
    EXPECT_NEAR(hard.drive, 101.0f, 1e-4f);
    EXPECT_EQ(hard.makeup, 0.125f);
}
