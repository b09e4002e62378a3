// The effect recording its input into the loop buffer, and the filter's
// type morph on real voices.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/Preferences.h"
#include "tests/EngineFixture.h"
#include "xfadelooper/Filter.h"

namespace
{
class Recording : public EngineFixture<VmraXFadeLooperEffect>
{
protected:
    static constexpr int kLength = 441; // 10 ms at 44.1 kHz

    void SetUp() override
    {
        EngineFixture::SetUp();
        Set(kParam_DryLevel, 0);
        Set(kParam_BufferSize, 0.01f);
        Set(kParam_RecordMode, 1); // gated, switch off: nothing recorded yet
        Process(64);                // the block sets the new length
        ASSERT_EQ(Engine().BufferFrames(), static_cast<float>(kLength));
    }

    // Feeds input values f(t) for the global sample counter t, in blocks.
    template <typename F> void Feed(int frames, int block, F f)
    {
        for (int done = 0; done < frames; done += block)
        {
            int n = std::min(block, frames - done);
            std::vector<float> in(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                in[static_cast<size_t>(i)] = f(m_time + i);
            Process(n, &in);
            m_time += n;
        }
    }

    float RecordFrame(int f) const { return unit->Engine().RecordBuffer()[2 * f]; }

    long m_time = 0;
};

float unique(long t)
{
    return 0.001f + static_cast<float>(t) * 1e-4f;
}
} // namespace

TEST_F(Recording, ContinuousHoldsTheLastPassApartFromTheFadedTail)
{
    Set(kParam_RecordMode, 0);
    const int total = 2 * kLength + 100;
    Feed(total, 64, unique);
    const int head = total % kLength;
    const int tail = total % 64; // the last block's length and so its fade
    EXPECT_EQ(Engine().RecordPosition(), head);
    for (int f = 0; f < kLength; ++f)
    {
        int behind = (head - f + kLength) % kLength; // 1...tail: the faded tail
        long latest = f < head ? 2 * kLength + f : kLength + f;
        if (behind >= 1 && behind <= tail)
        {
            // Fades from the new value (at the tail's start) into the old.
            float g = static_cast<float>(behind) / static_cast<float>(tail);
            float expected = unique(latest - kLength) + (unique(latest) - unique(latest - kLength)) * g;
            ASSERT_NEAR(RecordFrame(f), expected, 1e-5f) << f;
        }
        else
            ASSERT_FLOAT_EQ(RecordFrame(f), unique(latest)) << f;
    }
    // The play buffer holds the same after the copy.
    for (int f = 0; f < kLength; ++f)
        ASSERT_EQ(Engine().Buffer()[2 * f], RecordFrame(f)) << f;
    EXPECT_EQ(unit->GetDataToGui()->recordGain, 1.0f);
}

TEST_F(Recording, FeedbackKeepsPartOfThePreviousPass)
{
    Set(kParam_RecordMode, 0);
    Set(kParam_Feedback, 50);
    Feed(3 * kLength, 63, [](long) { return 1.0f; });
    for (int f : {0, 100, 300, 376})
        EXPECT_FLOAT_EQ(RecordFrame(f), 1.75f) << f; // 1, 1.5, 1.75
    Set(kParam_RecordLevel, 0.5f); // applied cubed: 1/8
    Set(kParam_Feedback, 0);
    Feed(kLength, 63, [](long) { return 1.0f; });
    EXPECT_FLOAT_EQ(RecordFrame(100), 0.125f);
}

TEST_F(Recording, GatedWithResetRestartsAtTheBeginning)
{
    Set(kParam_RecordMode, 2);
    Set(kParam_RecordOnOff, 1);
    Feed(200, 50, unique);
    EXPECT_EQ(Engine().RecordPosition(), 200);
    Set(kParam_RecordOnOff, 0);
    Feed(100, 50, unique);
    EXPECT_EQ(Engine().RecordPosition(), 200);
    EXPECT_EQ(unit->GetDataToGui()->recordGain, 1.0f); // not changed while idle
    Set(kParam_RecordOnOff, 1);
    Feed(50, 50, unique);
    EXPECT_EQ(Engine().RecordPosition(), 50);
    // Plain gated mode goes on where it stopped.
    Set(kParam_RecordMode, 1);
    Set(kParam_RecordOnOff, 0);
    Feed(50, 50, unique);
    Set(kParam_RecordOnOff, 1);
    Feed(50, 50, unique);
    EXPECT_EQ(Engine().RecordPosition(), 100);
}

TEST_F(Recording, TriggeredTakesOnePassAndStops)
{
    Set(kParam_RecordMode, 5);
    Set(kParam_RecordOnOff, 1);
    Feed(128, 64, unique);
    // Another press during the take does not restart it.
    Set(kParam_RecordOnOff, 0);
    Feed(64, 64, unique);
    Set(kParam_RecordOnOff, 1);
    Feed(64, 64, unique);
    EXPECT_EQ(Engine().RecordPosition(), 256);
    Feed(256, 64, unique);
    const DataToGui* gui = unit->GetDataToGui();
    EXPECT_EQ(gui->recordPosition, 1.0f);
    EXPECT_EQ(gui->recordGain, 0.0f);
    // Exactly one pass, no faded tail at its end.
    for (int f = 0; f < kLength; ++f)
        ASSERT_FLOAT_EQ(RecordFrame(f), unique(f)) << f;
    // Nothing more is recorded until the next press.
    Feed(200, 64, [](long) { return 0.5f; });
    EXPECT_FLOAT_EQ(RecordFrame(10), unique(10));
    Set(kParam_RecordOnOff, 0);
    Feed(64, 64, unique);
    Set(kParam_RecordOnOff, 1);
    Feed(128, 64, [](long) { return 0.5f; });
    EXPECT_FLOAT_EQ(RecordFrame(10), 0.5f);
}

TEST_F(Recording, VaryingBlockSizesRestoreTheRightTail)
{
    Set(kParam_RecordMode, 0);
    // Blocks of 64, then 10, then 64 again: every frame written, apart from
    // the last block's tail, holds its own input.
    Feed(128, 64, unique);
    Feed(10, 10, unique);
    Feed(20, 20, unique);
    Feed(192, 64, unique);
    for (int f = 0; f < 350 - 64; ++f)
        ASSERT_FLOAT_EQ(RecordFrame(f), unique(f)) << f;
}

TEST_F(Recording, RestartingElsewhereKeepsTheOldTailsFade)
{
    Set(kParam_RecordMode, 2);
    Set(kParam_RecordOnOff, 1);
    Feed(256, 64, [](long) { return 1.0f; });
    Set(kParam_RecordOnOff, 0);
    Feed(64, 64, unique);
    std::vector<float> tail;
    for (int f = 192; f < 256; ++f)
        tail.push_back(RecordFrame(f));
    Set(kParam_RecordOnOff, 1); // restarts at 0
    Feed(64, 64, [](long) { return 0.5f; });
    for (int f = 192; f < 256; ++f)
        ASSERT_EQ(RecordFrame(f), tail[static_cast<size_t>(f - 192)]) << f;
    // Frames just before the new start were not overwritten either.
    for (int f = kLength - 64; f < kLength; ++f)
        ASSERT_EQ(RecordFrame(f), 0.0f) << f;
}

TEST_F(Recording, VoiceAtTheWriteHeadCrossesOverWithoutAClick)
{
    Set(kParam_BufferSize, 0.1f); // 4410 frames
    Set(kParam_RecordMode, 0);
    PlainPlayback();
    const double w = 2 * M_PI * 50.0 / 44100.0;
    Feed(4410, 64, [&](long t) { return 0.5f * static_cast<float>(std::sin(w * static_cast<double>(t))); });
    ASSERT_EQ(Engine().RecordPosition(), 0);
    // A voice starting at the write head reads what is being replaced.
    Engine().HandleNoteOn(0, 60, 127);
    std::vector<float> out;
    for (int b = 0; b < 40; ++b)
    {
        std::vector<float> in(64);
        for (int i = 0; i < 64; ++i)
            in[static_cast<size_t>(i)] = 0.5f * static_cast<float>(std::cos(w * static_cast<double>(m_time + i)));
        Block block = Process(64, &in);
        m_time += 64;
        out.insert(out.end(), block.left.begin(), block.left.end());
    }
    float largestStep = 0;
    for (size_t k = 1; k < out.size(); ++k)
        largestStep = std::max(largestStep, std::fabs(out[k] - out[k - 1]));
    EXPECT_LT(largestStep, 0.02f); // the material itself moves by 0.0036 at most
    EXPECT_GT(*std::max_element(out.begin(), out.end()), 0.1f);
}

TEST_F(Recording, ShrinkingTheBufferKeepsWritesInside)
{
    Set(kParam_BufferSize, 0.1f); // 4410
    Set(kParam_RecordMode, 0);
    Feed(64, 64, unique);
    Feed(3000, 64, unique);
    ASSERT_EQ(Engine().RecordPosition(), 3064);
    Set(kParam_BufferSize, 0.01f); // 441: below the write position
    std::vector<float> before(Engine().RecordBuffer(), Engine().RecordBuffer() + 2 * 4410);
    Feed(64, 64, unique); // still the old length
    Feed(640, 64, unique);
    EXPECT_LT(Engine().RecordPosition(), kLength);
    // Nothing past the old write position was touched after the first block.
    for (int f = 3128; f < 4410; ++f)
        ASSERT_EQ(Engine().RecordBuffer()[2 * f], before[2 * static_cast<size_t>(f)]) << f;
    // A triggered take starting from a position beyond the new end.
    Set(kParam_BufferSize, 0.1f);
    Feed(64, 64, unique);
    Feed(2000, 64, unique);
    Set(kParam_BufferSize, 0.01f);
    Set(kParam_RecordMode, 5);
    Set(kParam_RecordOnOff, 1);
    Feed(64 * 20, 64, unique);
    EXPECT_EQ(unit->GetDataToGui()->recordPosition, 1.0f);
    EXPECT_LT(Engine().RecordPosition(), kLength);
}

TEST_F(Recording, BrokenInputSamplesAreRecordedAsSilence)
{
    Set(kParam_RecordMode, 0);
    Feed(200, 50, [](long t) { return t == 120 ? NAN : (t == 130 ? INFINITY : 0.25f); });
    EXPECT_EQ(RecordFrame(120), 0.0f);
    EXPECT_EQ(RecordFrame(130), 0.0f);
    EXPECT_EQ(RecordFrame(121), 0.25f);
    Set(kParam_Feedback, 100);
    Feed(kLength, 63, [](long) { return 0.0f; });
    EXPECT_TRUE(std::isfinite(RecordFrame(120)));
}

TEST(FilterMorph, TypeWeights)
{
    struct Case
    {
        float type;
        float dry, low, band, high;
    } cases[] = {
        {0, 1, 0, 0, 0}, {0.25f, 0.75f, 0.25f, 0, 0}, {1, 0, 1, 0, 0},   {1.5f, 0, 0.5f, 0.5f, 0},
        {2, 0, 0, 1, 0}, {2.5f, 0, 0, 0.5f, 0.5f},    {3, 0, 0, 0, 1},   {3.5f, 0.5f, 0, 0, 0.5f},
        {4, 1, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        float w[4];
        FilterTypeWeights(c.type, w);
        EXPECT_EQ(w[0], c.dry) << c.type;
        EXPECT_EQ(w[1], c.low) << c.type;
        EXPECT_EQ(w[2], c.band) << c.type;
        EXPECT_EQ(w[3], c.high) << c.type;
    }
}

TEST(FilterMorph, LowPassAndItsMixWithBandPass)
{
    // An impulse through the filter at a steady coefficient.
    auto run = [](float type) {
        Note voice;
        voice.filterEnv.stage = Note::Envelope::kSustain; // endless: level stays 0
        std::vector<float> buffer(64, 0.0f);
        buffer[0] = buffer[32] = 1.0f;
        Filter(buffer.data(), 32, 0.3f, 0.0f, 0.5f, type, voice);
        return buffer;
    };
    std::vector<float> low = run(1), band = run(2), mix = run(1.5f);
    // Reference low-pass computed from the difference equations.
    float l = 0, b = 0;
    for (int i = 0; i < 32; ++i)
    {
        float x = i == 0 ? 1.0f : 0.0f;
        l = b * 0.3f + l;
        float h = x - l - 0.5f * b;
        b = b + 0.3f * h;
        ASSERT_FLOAT_EQ(low[static_cast<size_t>(i)], l) << i;
        ASSERT_NEAR(mix[static_cast<size_t>(i)], 0.5f * low[static_cast<size_t>(i)] + 0.5f * band[static_cast<size_t>(i)],
                    1e-6f)
            << i;
    }
}

TEST(FilterMorph, NotANumberDoesNotStayInTheFilter)
{
    Note voice;
    voice.filterEnv.stage = Note::Envelope::kSustain;
    std::vector<float> buffer(16, 0.1f);
    buffer[3] = NAN;
    Filter(buffer.data(), 8, 0.3f, 0, 0.5f, 1, voice);
    for (float s : voice.filterState)
        EXPECT_EQ(s, 0.0f);
    std::vector<float> next(16, 0.1f);
    Filter(next.data(), 8, 0.3f, 0, 0.5f, 1, voice);
    for (float v : next)
        EXPECT_TRUE(std::isfinite(v));
}

class FilterBypass : public EngineFixture<VmraXFadeLooperSynth>
{
};

TEST_F(FilterBypass, TypesZeroAndFourLeaveTheVoiceAlone)
{
    PlainPlayback();
    LoadConstant(1000, 0.5f);
    for (float type : {0.0f, 4.0f, 1.0f})
    {
        Set(kParam_FilterType, type);
        Engine().HandleNoteOn(0, 60, 127);
        Block b = Process(100);
        const Note& voice = Engine().GetNote(0);
        bool untouched = true;
        for (float s : voice.filterState)
            untouched = untouched && s == 0.0f;
        if (type == 1.0f)
        {
            EXPECT_FALSE(untouched);
            EXPECT_LT(b.left[0], 0.5f);
        }
        else
        {
            EXPECT_TRUE(untouched) << type;
            EXPECT_NEAR(b.left[50], 0.5f, 1e-6f) << type;
        }
        Engine().HandleAllSoundOff(0);
        Process(1);
    }
}
