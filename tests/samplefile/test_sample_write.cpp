// Saving the buffer's 24-bit bytes as an AIFF file.
#include "xfadelooper/SampleFile.h"

#include "tests/TempDir.h"
#include "tests/samplefile/SampleFixtures.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <csignal>
#include <ostream>
#include <string>
#include <vector>

namespace
{

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// A stereo record as the buffer hands it out, holding `samples` (interleaved
// 24-bit values) as big-endian bytes.
struct Record
{
    explicit Record(const std::vector<int32_t>& samples, double rate = 44100)
    {
        for (int32_t v : samples)
        {
            const uint32_t u = static_cast<uint32_t>(v);
            bytes.push_back(static_cast<unsigned char>((u >> 16) & 0xFF));
            bytes.push_back(static_cast<unsigned char>((u >> 8) & 0xFF));
            bytes.push_back(static_cast<unsigned char>(u & 0xFF));
        }
        record.description = AudioStreamBasicDescription{};
        record.description.mSampleRate = rate;
        record.description.mFormatID = kAudioFormatLinearPCM;
        record.description.mFormatFlags =
            kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
        record.description.mBytesPerPacket = 6;
        record.description.mFramesPerPacket = 1;
        record.description.mBytesPerFrame = 6;
        record.description.mChannelsPerFrame = 2;
        record.description.mBitsPerChannel = 24;
        record.byteCount = static_cast<uint32_t>(bytes.size());
        record.bytes = bytes.data();
    }

    std::vector<unsigned char> bytes;
    VL::SampleBytes record;
};

const std::vector<int32_t> kPeakSamples = {8388607,   -8388607, 0,        1,       -1,       0x123456,
                                           -0x654321, 4194304,  -8388608, 8388607, 0x7F0000, -0x000101};

class WritesAiffAtRate : public ::testing::TestWithParam<int>
{
};

TEST_P(WritesAiffAtRate, ReadsBackTheSameSamples)
{
    const int rate = GetParam();
    TempDir dir;
    const std::string path = dir / "saved.aif";
    const Record r(kPeakSamples, rate);
    ASSERT_TRUE(WriteSampleBytesAiff(path.c_str(), r.record));

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    EXPECT_EQ(info.samplerate, rate);
    EXPECT_EQ(info.channels, 2);
    ASSERT_EQ(info.frames, sf_count_t(kPeakSamples.size() / 2));
    std::vector<int> read(kPeakSamples.size());
    ASSERT_EQ(sf_readf_int(file, read.data(), info.frames), info.frames);
    sf_close(file);
    for (size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(read[i] / 256, kPeakSamples[i]) << "sample " << i;

    // And the stored audio is the record's bytes exactly.
    RawSampleData raw;
    CapturedStdout quiet;
    ASSERT_EQ(ReadSampleFile(path.c_str(), raw), SampleFileStatus::Ok);
    EXPECT_EQ(raw.fileType, SampleFourCC("AIFF"));
    EXPECT_NE(raw.description.mFormatFlags & kAudioFormatFlagIsBigEndian, 0u);
    EXPECT_EQ(std::vector<unsigned char>(raw.bytes, raw.bytes + raw.byteCount), r.bytes);
    FreeRawSampleData(raw);
}

INSTANTIATE_TEST_SUITE_P(SampleWrite, WritesAiffAtRate, ::testing::Values(22050, 44100, 48000, 96000, 192000));

TEST(SampleWrite, RateIsRounded)
{
    TempDir dir;
    const std::string path = dir / "rounded.aif";
    ASSERT_TRUE(WriteSampleBytesAiff(path.c_str(), Record({1, 2}, 44099.6).record));
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.samplerate, 44100);
    sf_close(file);
}

TEST(SampleWrite, BadPathFailsWithoutFile)
{
    TempDir dir;
    const std::string path = dir / "no-folder/saved.aif";
    EXPECT_FALSE(WriteSampleBytesAiff(path.c_str(), Record(kPeakSamples).record));
    EXPECT_FALSE(Exists(dir / "no-folder"));
    EXPECT_FALSE(WriteSampleBytesAiff(dir.Path().c_str(), Record(kPeakSamples).record)) << "a folder";
    EXPECT_FALSE(WriteSampleBytesAiff(nullptr, Record(kPeakSamples).record));
}

// Records whose bytes are not 24-bit big-endian signed interleaved frames are
// refused before anything is written.
struct BadRecordCase
{
    const char* name;
    void (*spoil)(VL::SampleBytes&);
};

void PrintTo(const BadRecordCase& c, std::ostream* os)
{
    *os << c.name;
}

class RefusesRecord : public ::testing::TestWithParam<BadRecordCase>
{
};

TEST_P(RefusesRecord, WithoutFile)
{
    TempDir dir;
    const std::string path = dir / "saved.aif";
    Record r(kPeakSamples);
    GetParam().spoil(r.record);
    EXPECT_FALSE(WriteSampleBytesAiff(path.c_str(), r.record));
    EXPECT_FALSE(Exists(path));
}

const BadRecordCase kBadRecords[] = {
    {"LittleEndian", [](VL::SampleBytes& r) { r.description.mFormatFlags &= ~uint32_t(kAudioFormatFlagIsBigEndian); }},
    {"Float", [](VL::SampleBytes& r) { r.description.mFormatFlags |= kAudioFormatFlagIsFloat; }},
    {"Unsigned", [](VL::SampleBytes& r) { r.description.mFormatFlags &= ~uint32_t(kAudioFormatFlagIsSignedInteger); }},
    {"NonInterleaved", [](VL::SampleBytes& r) { r.description.mFormatFlags |= kAudioFormatFlagIsNonInterleaved; }},
    {"NotPcm", [](VL::SampleBytes& r) { r.description.mFormatID = SampleFourCC("flac"); }},
    {"SixteenBit",
     [](VL::SampleBytes& r)
     {
         r.description.mBytesPerFrame = 4;
         r.description.mBitsPerChannel = 16;
     }},
    {"NoChannels", [](VL::SampleBytes& r) { r.description.mChannelsPerFrame = 0; }},
    {"PartFrame", [](VL::SampleBytes& r) { r.byteCount -= 3; }},
    {"MissingBytes", [](VL::SampleBytes& r) { r.bytes = nullptr; }},
    {"NoRate", [](VL::SampleBytes& r) { r.description.mSampleRate = 0; }},
    {"NegativeRate", [](VL::SampleBytes& r) { r.description.mSampleRate = -44100; }},
    {"RateNotANumber", [](VL::SampleBytes& r) { r.description.mSampleRate = std::nan(""); }},
};

INSTANTIATE_TEST_SUITE_P(SampleWrite, RefusesRecord, ::testing::ValuesIn(kBadRecords),
                         [](const ::testing::TestParamInfo<BadRecordCase>& info)
                         { return std::string(info.param.name); });

// A write that runs out of room (here the file size limit) fails and takes
// the half-written file away.
TEST(SampleWrite, FailedWriteLeavesNoFile)
{
    TempDir dir;
    const std::string path = dir / "big.aif";
    std::vector<int32_t> samples(2 * 20000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int32_t>(i * 101 % 8388607);
    const Record r(samples);

    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 16384;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteSampleBytesAiff(path.c_str(), r.record);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(Exists(path));
}

// An empty buffer still makes a valid, empty AIFF file.
TEST(SampleWrite, EmptyRecordWritesEmptyFile)
{
    TempDir dir;
    const std::string path = dir / "empty.aif";
    Record r({});
    r.record.bytes = nullptr;
    ASSERT_TRUE(WriteSampleBytesAiff(path.c_str(), r.record));
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.frames, 0);
    EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    sf_close(file);
}

} // namespace
