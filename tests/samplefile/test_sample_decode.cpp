// Turning raw sample bytes into stereo floats, from hand-written bytes.
#include "xfadelooper/SampleFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

namespace
{

constexpr uint32_t kBig = kAudioFormatFlagIsBigEndian;
constexpr uint32_t kNonInterleaved = kAudioFormatFlagIsNonInterleaved;
constexpr float kSentinel = 99.0f;

CAStreamBasicDescription Pcm(uint32_t bytesPerSample, uint32_t channels, uint32_t flags)
{
    AudioStreamBasicDescription d{};
    d.mSampleRate = 44100;
    d.mFormatID = kAudioFormatLinearPCM;
    d.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked | flags;
    const bool nonInterleaved = (flags & kNonInterleaved) != 0;
    d.mBytesPerFrame = nonInterleaved ? bytesPerSample : bytesPerSample * channels;
    d.mBytesPerPacket = d.mBytesPerFrame;
    d.mFramesPerPacket = 1;
    d.mChannelsPerFrame = channels;
    d.mBitsPerChannel = 8 * bytesPerSample;
    return CAStreamBasicDescription(d);
}

// Decodes frames of totalFrames into a buffer with one sentinel float after
// the 2 x frames it should fill, and checks the sentinel survived.
std::vector<float> Decode(const std::vector<unsigned char>& bytes, uint64_t frames, uint64_t totalFrames,
                          const CAStreamBasicDescription& d)
{
    std::vector<float> out(2 * frames + 1, kSentinel);
    DecodeSampleFrames(bytes.data(), frames, totalFrames, d, out.data());
    EXPECT_EQ(out.back(), kSentinel) << "wrote past 2 x frames floats";
    out.pop_back();
    return out;
}

void ExpectFloats(const std::vector<float>& actual, const std::vector<float>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_FLOAT_EQ(actual[i], expected[i]) << "float " << i;
}

// ---- one frame: sample values and byte orders --------------------------------------------------

struct ValueCase
{
    const char* name;
    std::vector<unsigned char> bytes;
    uint32_t bytesPerSample;
    uint32_t channels;
    uint32_t flags;
    float left;
    float right;
};

void PrintTo(const ValueCase& c, std::ostream* os)
{
    *os << c.name;
}

class DecodesValue : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(DecodesValue, OneFrame)
{
    const ValueCase& c = GetParam();
    const std::vector<float> out = Decode(c.bytes, 1, 1, Pcm(c.bytesPerSample, c.channels, c.flags));
    EXPECT_FLOAT_EQ(out[0], c.left);
    EXPECT_FLOAT_EQ(out[1], c.right);
}

const float k16Min = -32768.0f / 32767.0f;
const float k24Step = std::ldexp(1.0f, -23);

const ValueCase kValueCases[] = {
    {"Little16Min", {0x00, 0x80}, 2, 1, 0, k16Min, k16Min},
    {"Big16Min", {0x80, 0x00}, 2, 1, kBig, k16Min, k16Min},
    {"Little16Max", {0xFF, 0x7F}, 2, 1, 0, 1.0f, 1.0f},
    {"Big16Max", {0x7F, 0xFF}, 2, 1, kBig, 1.0f, 1.0f},
    {"Little16MinusOne", {0xFF, 0xFF}, 2, 1, 0, -1.0f / 32767.0f, -1.0f / 32767.0f},
    {"Big16Mixed", {0x01, 0x02}, 2, 1, kBig, 258.0f / 32767.0f, 258.0f / 32767.0f},
    {"Little16Stereo", {0x01, 0x00, 0xFF, 0xFF}, 2, 2, 0, 1.0f / 32767.0f, -1.0f / 32767.0f},
    {"Big16Stereo", {0x40, 0x00, 0xC0, 0x00}, 2, 2, kBig, 16384.0f / 32767.0f, -16384.0f / 32767.0f},
    {"Big24Min", {0x80, 0x00, 0x00}, 3, 1, kBig, -1.0f, -1.0f},
    {"Big24Max", {0x7F, 0xFF, 0xFF}, 3, 1, kBig, 8388607 * k24Step, 8388607 * k24Step},
    {"Little24Min", {0x00, 0x00, 0x80}, 3, 1, 0, -1.0f, -1.0f},
    {"Little24Max", {0xFF, 0xFF, 0x7F}, 3, 1, 0, 8388607 * k24Step, 8388607 * k24Step},
    {"Little24Mixed", {0x01, 0x02, 0x03}, 3, 1, 0, 0x030201 * k24Step, 0x030201 * k24Step},
    {"Big24Mixed", {0x01, 0x02, 0x03}, 3, 1, kBig, 0x010203 * k24Step, 0x010203 * k24Step},
    {"Little24MinusOne", {0xFF, 0xFF, 0xFF}, 3, 1, 0, -k24Step, -k24Step},
    {"Big24Stereo", {0x12, 0x34, 0x56, 0xED, 0xCB, 0xAA}, 3, 2, kBig, 0x123456 * k24Step, -0x123456 * k24Step},
    {"Little24Stereo", {0x56, 0x34, 0x12, 0xAA, 0xCB, 0xED}, 3, 2, 0, 0x123456 * k24Step, -0x123456 * k24Step},
};

INSTANTIATE_TEST_SUITE_P(SampleDecode, DecodesValue, ::testing::ValuesIn(kValueCases),
                         [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.name); });

// ---- layouts over several frames -----------------------------------------------------------------

// Stereo 24-bit in two blocks, the right channel's after the left's whole
// length: decoding the first 3 of 4 frames must still find the right channel
// at 4 x 3 bytes.
TEST(SampleDecode, NonInterleavedStereoTakesRightFromSecondBlock)
{
    const std::vector<unsigned char> bytes = {
        0x00, 0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00, 0x04, // left
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0xFC, // right
    };
    const std::vector<float> out = Decode(bytes, 3, 4, Pcm(3, 2, kBig | kNonInterleaved));
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_FLOAT_EQ(out[2 * i], (i + 1) * k24Step) << "frame " << i;
        EXPECT_FLOAT_EQ(out[2 * i + 1], -(i + 1) * k24Step) << "frame " << i;
    }
}

TEST(SampleDecode, NonInterleavedMonoFeedsBothSides)
{
    const std::vector<unsigned char> bytes = {0x01, 0x00, 0x02, 0x00};
    const std::vector<float> out = Decode(bytes, 2, 2, Pcm(2, 1, kNonInterleaved));
    ExpectFloats(out, {1 / 32767.0f, 1 / 32767.0f, 2 / 32767.0f, 2 / 32767.0f});
}

// Of three interleaved channels the first two are used and the third is
// stepped over.
TEST(SampleDecode, ThirdChannelIsSkipped)
{
    const std::vector<unsigned char> bytes = {
        0x01, 0x00, 0x02, 0x00, 0x7F, 0x7F, // frame 0: 1, 2, ignored
        0x03, 0x00, 0x04, 0x00, 0x7F, 0x7F, // frame 1: 3, 4, ignored
    };
    const std::vector<float> out = Decode(bytes, 2, 2, Pcm(2, 3, 0));
    ExpectFloats(out, {1 / 32767.0f, 2 / 32767.0f, 3 / 32767.0f, 4 / 32767.0f});
}

TEST(SampleDecode, MonoFramesStepOneSample)
{
    const std::vector<unsigned char> bytes = {0x00, 0x00, 0x01, 0x00, 0x00, 0x02};
    const std::vector<float> out = Decode(bytes, 2, 2, Pcm(3, 1, kBig));
    ExpectFloats(out, {1 * k24Step, 1 * k24Step, 2 * k24Step, 2 * k24Step});
}

// ---- descriptions it cannot decode give silence -------------------------------------------------

struct SilentCase
{
    const char* name;
    CAStreamBasicDescription description;
};

CAStreamBasicDescription NoChannels()
{
    CAStreamBasicDescription d = Pcm(2, 2, 0);
    d.mChannelsPerFrame = 0;
    return d;
}

CAStreamBasicDescription NoBytesPerFrame()
{
    CAStreamBasicDescription d = Pcm(2, 2, 0);
    d.mBytesPerFrame = 0;
    return d;
}

void PrintTo(const SilentCase& c, std::ostream* os)
{
    *os << c.name;
}

class DecodesSilence : public ::testing::TestWithParam<SilentCase>
{
};

TEST_P(DecodesSilence, ForUnsupportedWordSize)
{
    const std::vector<unsigned char> bytes(64, 0x55);
    const std::vector<float> out = Decode(bytes, 3, 3, GetParam().description);
    EXPECT_EQ(out, std::vector<float>(6, 0.0f)); // exactly zero
}

const SilentCase kSilentCases[] = {
    {"Eight", Pcm(1, 2, 0)},
    {"ThirtyTwo", Pcm(4, 2, 0)},
    {"SixtyFour", Pcm(8, 1, 0)},
    {"NonInterleavedThirtyTwo", Pcm(4, 2, kNonInterleaved)},
    {"NoChannels", NoChannels()},
    {"NoBytesPerFrame", NoBytesPerFrame()},
};

INSTANTIATE_TEST_SUITE_P(SampleDecode, DecodesSilence, ::testing::ValuesIn(kSilentCases),
                         [](const ::testing::TestParamInfo<SilentCase>& info) { return std::string(info.param.name); });

} // namespace
