// Reading sound files into raw bytes: the formats that load, the ones that are
// refused and why, and what is printed.
#include "xfadelooper/SampleFile.h"

#include "tests/TempDir.h"
#include "tests/samplefile/SampleFixtures.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr int kFrames = 5;

// ---- files that load ------------------------------------------------------------------------

struct LoadCase
{
    const char* name;
    int format;
    int channels;
    int rate;
    uint32_t fileType;
    bool bigEndian;
    const char* log;
};

int BytesPerSample(int format)
{
    return (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 ? 2 : 3;
}

// The stored bytes of the known samples, in the given byte order.
std::vector<unsigned char> ExpectedBytes(int bytesPerSample, int channels, bool bigEndian)
{
    std::vector<unsigned char> bytes;
    for (int i = 0; i < kFrames; ++i)
        for (int c = 0; c < channels; ++c)
        {
            const uint32_t v = static_cast<uint32_t>(KnownSample(bytesPerSample, i, c));
            for (int k = 0; k < bytesPerSample; ++k)
            {
                const int shift = 8 * (bigEndian ? bytesPerSample - 1 - k : k);
                bytes.push_back(static_cast<unsigned char>((v >> shift) & 0xFF));
            }
        }
    return bytes;
}

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.name;
}

class LoadsFormat : public ::testing::TestWithParam<LoadCase>
{
protected:
    void CheckLoaded(const RawSampleData& data)
    {
        const LoadCase& c = GetParam();
        const int word = BytesPerSample(c.format);
        const uint32_t frameBytes = static_cast<uint32_t>(word * c.channels);

        EXPECT_EQ(data.fileType, c.fileType);
        EXPECT_EQ(data.frames, uint64_t(kFrames));
        EXPECT_EQ(data.byteCount, uint64_t(kFrames) * frameBytes);
        const AudioStreamBasicDescription& d = data.description;
        EXPECT_EQ(d.mSampleRate, c.rate);
        EXPECT_EQ(d.mFormatID, uint32_t(kAudioFormatLinearPCM));
        EXPECT_EQ(d.mFormatFlags, kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked |
                                      (c.bigEndian ? uint32_t(kAudioFormatFlagIsBigEndian) : 0u));
        EXPECT_EQ(d.mBytesPerFrame, frameBytes);
        EXPECT_EQ(d.mBytesPerPacket, frameBytes);
        EXPECT_EQ(d.mFramesPerPacket, 1u);
        EXPECT_EQ(d.mChannelsPerFrame, uint32_t(c.channels));
        EXPECT_EQ(d.mBitsPerChannel, uint32_t(8 * word));

        ASSERT_NE(data.bytes, nullptr);
        const std::vector<unsigned char> expected = ExpectedBytes(word, c.channels, c.bigEndian);
        ASSERT_EQ(data.byteCount, expected.size());
        EXPECT_EQ(std::vector<unsigned char>(data.bytes, data.bytes + data.byteCount), expected)
            << "bytes differ from the file's own byte order";

        std::vector<float> decoded(2 * kFrames + 1, 99.0f);
        DecodeSampleFrames(data.bytes, data.frames, data.frames, data.description, decoded.data());
        const double scale = word == 2 ? 1.0 / 32767.0 : 1.0 / 8388608.0;
        for (int i = 0; i < kFrames; ++i)
        {
            const double left = KnownSample(word, i, 0) * scale;
            const double right = c.channels > 1 ? KnownSample(word, i, 1) * scale : left;
            EXPECT_FLOAT_EQ(decoded[2 * i], static_cast<float>(left)) << "frame " << i;
            EXPECT_FLOAT_EQ(decoded[2 * i + 1], static_cast<float>(right)) << "frame " << i;
        }
        EXPECT_EQ(decoded[2 * kFrames], 99.0f) << "wrote past 2 x frames floats";
    }

    TempDir m_dir;
};

TEST_P(LoadsFormat, FromFileAndMemory)
{
    const LoadCase& c = GetParam();
    const std::string path = m_dir / "fixture";
    ASSERT_TRUE(WriteKnownSoundFile(path, c.format, c.channels, c.rate, kFrames, BytesPerSample(c.format)))
        << sf_strerror(nullptr);

    RawSampleData data;
    CapturedStdout fileOut;
    const SampleFileStatus fileStatus = ReadSampleFile(path.c_str(), data);
    EXPECT_EQ(fileOut.Text(), c.log);
    ASSERT_EQ(fileStatus, SampleFileStatus::Ok);
    CheckLoaded(data);

    const std::vector<unsigned char> image = ReadFileBytes(path);
    CapturedStdout memoryOut;
    // Reading again into the same record releases the earlier bytes (the
    // leak checker would see them otherwise).
    const SampleFileStatus memoryStatus = ReadSampleMemory(image.data(), image.size(), data);
    EXPECT_EQ(memoryOut.Text(), c.log);
    ASSERT_EQ(memoryStatus, SampleFileStatus::Ok);
    CheckLoaded(data);
    FreeRawSampleData(data);
    EXPECT_EQ(data.bytes, nullptr);
}

// The log prints the type's bytes in memory order: reversed on this
// little-endian host.
const LoadCase kLoadCases[] = {
    {"Wav16Stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, SampleFourCC("WAVE"), false,
     "EVAW format, 20 bytes, 5 frames, 2 channels, sample rate 44100.000000\n"},
    {"Wav24Stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, SampleFourCC("WAVE"), false,
     "EVAW format, 30 bytes, 5 frames, 2 channels, sample rate 48000.000000\n"},
    {"Wav16Mono", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, SampleFourCC("WAVE"), false,
     "EVAW format, 10 bytes, 5 frames, 1 channels, sample rate 22050.000000\n"},
    {"Rifx24Stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_24 | SF_ENDIAN_BIG, 2, 44100, SampleFourCC("WAVE"), true,
     "EVAW format, 30 bytes, 5 frames, 2 channels, sample rate 44100.000000\n"},
    {"WavExtensible24x8", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 8, 96000, SampleFourCC("WAVE"), false,
     "EVAW format, 120 bytes, 5 frames, 8 channels, sample rate 96000.000000\n"},
    {"Aiff16Stereo", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, SampleFourCC("AIFF"), true,
     "FFIA format, 20 bytes, 5 frames, 2 channels, sample rate 44100.000000\n"},
    {"Aiff24Mono", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 48000, SampleFourCC("AIFF"), true,
     "FFIA format, 15 bytes, 5 frames, 1 channels, sample rate 48000.000000\n"},
    {"AifcSowt16Stereo", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 2, 44100, SampleFourCC("AIFC"), false,
     "CFIA format, 20 bytes, 5 frames, 2 channels, sample rate 44100.000000\n"},
    {"AifcSowt24x8", SF_FORMAT_AIFF | SF_FORMAT_PCM_24 | SF_ENDIAN_LITTLE, 8, 44100, SampleFourCC("AIFC"), false,
     "CFIA format, 120 bytes, 5 frames, 8 channels, sample rate 44100.000000\n"},
    {"Caf16StereoBig", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 2, 32000, SampleFourCC("caff"), true,
     "ffac format, 20 bytes, 5 frames, 2 channels, sample rate 32000.000000\n"},
    {"Caf24StereoLittle", SF_FORMAT_CAF | SF_FORMAT_PCM_24 | SF_ENDIAN_LITTLE, 2, 44100, SampleFourCC("caff"), false,
     "ffac format, 30 bytes, 5 frames, 2 channels, sample rate 44100.000000\n"},
    {"Caf16MonoLittle", SF_FORMAT_CAF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, 1, 44100, SampleFourCC("caff"), false,
     "ffac format, 10 bytes, 5 frames, 1 channels, sample rate 44100.000000\n"},
    {"W64_24Stereo", SF_FORMAT_W64 | SF_FORMAT_PCM_24, 2, 88200, SampleFourCC("W64 "), false,
     " 46W format, 30 bytes, 5 frames, 2 channels, sample rate 88200.000000\n"},
    {"Rf64_16x8", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 8, 44100, SampleFourCC("RF64"), false,
     "46FR format, 80 bytes, 5 frames, 8 channels, sample rate 44100.000000\n"},
    {"Au16StereoBig", SF_FORMAT_AU | SF_FORMAT_PCM_16, 2, 8000, SampleFourCC("NeXT"), true,
     "TXeN format, 20 bytes, 5 frames, 2 channels, sample rate 8000.000000\n"},
    {"Au24MonoLittle", SF_FORMAT_AU | SF_FORMAT_PCM_24 | SF_ENDIAN_LITTLE, 1, 11025, SampleFourCC("NeXT"), false,
     "TXeN format, 15 bytes, 5 frames, 1 channels, sample rate 11025.000000\n"},
};

INSTANTIATE_TEST_SUITE_P(SampleFile, LoadsFormat, ::testing::ValuesIn(kLoadCases),
                         [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

// A CAF written byte by byte: big-endian 16-bit mono, its data chunk holding
// dataBytes (after the 4-byte edit count) of which `audio` are given.
std::vector<unsigned char> HandMadeCaf(uint64_t dataBytes, const std::vector<unsigned char>& audio)
{
    std::vector<unsigned char> f;
    auto put = [&f](uint64_t value, int bytes)
    {
        for (int k = bytes - 1; k >= 0; --k)
            f.push_back(static_cast<unsigned char>((value >> (8 * k)) & 0xFF));
    };
    auto tag = [&f](const char* text) { f.insert(f.end(), text, text + 4); };
    tag("caff");
    put(1, 2); // version
    put(0, 2); // flags
    tag("desc");
    put(32, 8);
    uint64_t rateBits;
    const double rate = 44100.0;
    std::memcpy(&rateBits, &rate, 8);
    put(rateBits, 8);
    tag("lpcm");
    put(0, 4);  // big-endian signed integer
    put(2, 4);  // bytes a packet
    put(1, 4);  // frames a packet
    put(1, 4);  // channels
    put(16, 4); // bits
    tag("data");
    put(dataBytes + 4, 8);
    put(0, 4); // edit count
    f.insert(f.end(), audio.begin(), audio.end());
    return f;
}

TEST(SampleFile, HandMadeCafLoadsBigEndian)
{
    TempDir dir;
    const std::string path = dir / "hand.caf";
    WriteFileBytes(path, HandMadeCaf(4, {0x80, 0x00, 0x7F, 0xFF}));
    RawSampleData data;
    CapturedStdout out;
    ASSERT_EQ(ReadSampleFile(path.c_str(), data), SampleFileStatus::Ok);
    EXPECT_EQ(out.Text(), "ffac format, 4 bytes, 2 frames, 1 channels, sample rate 44100.000000\n");
    EXPECT_NE(data.description.mFormatFlags & kAudioFormatFlagIsBigEndian, 0u);
    float decoded[4];
    DecodeSampleFrames(data.bytes, 2, 2, data.description, decoded);
    EXPECT_FLOAT_EQ(decoded[0], -32768.0f / 32767.0f);
    EXPECT_FLOAT_EQ(decoded[1], -32768.0f / 32767.0f);
    EXPECT_FLOAT_EQ(decoded[2], 1.0f);
    EXPECT_FLOAT_EQ(decoded[3], 1.0f);
    FreeRawSampleData(data);
}

// ---- files that open but are refused ----------------------------------------------------------

struct RefusalCase
{
    const char* name;
    int format;
    int channels;
    int rate;
    SampleFileStatus status;
    uint32_t formatID;
    uint32_t kindFlags; // IsFloat / IsSignedInteger expected
    uint32_t bitsPerChannel;
    const char* logStart;
};

constexpr uint32_t kKindFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsSignedInteger;
constexpr int kRefusalFrames = 1200;

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

class RefusesFormat : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(RefusesFormat, WithStatusAndNoBytes)
{
    const RefusalCase& c = GetParam();
    TempDir dir;
    const std::string path = dir / "fixture";
    if (!WriteToneSoundFile(path, c.format, c.channels, c.rate, kRefusalFrames))
        GTEST_SKIP() << "this libsndfile cannot write format 0x" << std::hex << c.format;
    const std::vector<unsigned char> image = ReadFileBytes(path);

    for (int fromMemory = 0; fromMemory < 2; ++fromMemory)
    {
        SCOPED_TRACE(fromMemory ? "from memory" : "from file");
        RawSampleData data;
        CapturedStdout out;
        const SampleFileStatus status =
            fromMemory ? ReadSampleMemory(image.data(), image.size(), data) : ReadSampleFile(path.c_str(), data);
        const std::string log = out.Text();
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(log.rfind(c.logStart, 0), 0u) << log;
        const std::string ending =
            " " + std::to_string(c.channels) + " channels, sample rate " + std::to_string(c.rate) + ".000000\n";
        EXPECT_TRUE(log.size() >= ending.size() && log.compare(log.size() - ending.size(), ending.size(), ending) == 0)
            << log;
        EXPECT_EQ(data.bytes, nullptr);
        EXPECT_EQ(data.byteCount, 0u);
        EXPECT_EQ(data.description.mFormatID, c.formatID);
        EXPECT_EQ(data.description.mFormatFlags & kKindFlags, c.kindFlags);
        EXPECT_EQ(data.description.mBitsPerChannel, c.bitsPerChannel);
        EXPECT_EQ(data.description.mChannelsPerFrame, uint32_t(c.channels));
        EXPECT_EQ(data.description.mSampleRate, c.rate);
        FreeRawSampleData(data);
    }
}

constexpr SampleFileStatus kSize = SampleFileStatus::UnsupportedSampleSize;
constexpr SampleFileStatus kCompressed = SampleFileStatus::Compressed;
const RefusalCase kRefusalCases[] = {
    {"Float32Wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, kSize, kAudioFormatLinearPCM, kAudioFormatFlagIsFloat, 32,
     "EVAW format, 9600 bytes, 1200 frames,"},
    {"DoubleAiff", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, 2, 44100, kSize, kAudioFormatLinearPCM, kAudioFormatFlagIsFloat,
     64, "CFIA format, 19200 bytes, 1200 frames,"},
    {"Int32Wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 44100, kSize, kAudioFormatLinearPCM,
     kAudioFormatFlagIsSignedInteger, 32, "EVAW format, 9600 bytes, 1200 frames,"},
    {"Int32CafLittle", SF_FORMAT_CAF | SF_FORMAT_PCM_32 | SF_ENDIAN_LITTLE, 2, 44100, kSize, kAudioFormatLinearPCM,
     kAudioFormatFlagIsSignedInteger, 32, "ffac format, 9600 bytes, 1200 frames,"},
    {"Unsigned8Wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 2, 44100, kSize, kAudioFormatLinearPCM, 0, 8,
     "EVAW format, 2400 bytes, 1200 frames,"},
    {"Signed8Aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, 44100, kSize, kAudioFormatLinearPCM,
     kAudioFormatFlagIsSignedInteger, 8, "FFIA format, 2400 bytes, 1200 frames,"},
    {"Flac16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, kCompressed, SampleFourCC("flac"), 0, 0,
     "CALF format, 0 bytes, 1200 frames,"},
    {"Flac24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 44100, kCompressed, SampleFourCC("flac"), 0, 0,
     "CALF format, 0 bytes, 1200 frames,"},
    {"OggVorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, kCompressed, SampleFourCC("vorb"), 0, 0,
     "SggO format, 0 bytes,"},
    {"OggOpus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, 48000, kCompressed, SampleFourCC("opus"), 0, 0,
     "SggO format, 0 bytes,"},
    {"Mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, kCompressed, SampleFourCC(".mp3"), 0, 0,
     "3GPM format, 0 bytes,"},
    {"AlacCaf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 2, 44100, kCompressed, SampleFourCC("alac"), 0, 0,
     "ffac format, 0 bytes, 1200 frames,"},
    {"ULawWav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 2, 44100, kCompressed, SampleFourCC("ulaw"), 0, 0,
     "EVAW format, 0 bytes, 1200 frames,"},
    {"ALawAiff", SF_FORMAT_AIFF | SF_FORMAT_ALAW, 2, 44100, kCompressed, SampleFourCC("alaw"), 0, 0,
     "CFIA format, 0 bytes, 1200 frames,"},
    {"ImaAdpcmWav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 2, 44100, kCompressed, SampleFourCC("ima4"), 0, 0,
     "EVAW format, 0 bytes,"},
    {"MsAdpcmWav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 44100, kCompressed, SampleFourCC("msad"), 0, 0,
     "EVAW format, 0 bytes,"},
    {"Gsm610Wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000, kCompressed, SampleFourCC("gsm "), 0, 0,
     "EVAW format, 0 bytes,"},
    // PAF keeps its 24-bit samples packed in blocks, not as plain words.
    {"Paf24", SF_FORMAT_PAF | SF_FORMAT_PCM_24, 1, 44100, kCompressed, SampleFourCC("pf24"), 0, 0,
     " FAP format, 0 bytes, 1200 frames,"},
};

INSTANTIATE_TEST_SUITE_P(SampleFile, RefusesFormat, ::testing::ValuesIn(kRefusalCases),
                         [](const ::testing::TestParamInfo<RefusalCase>& info)
                         { return std::string(info.param.name); });

// A file of 2^31 frames is past the frame limit. The file is sparse, so it
// takes no room on disk.
TEST(SampleFile, TooManyFramesIsOutOfMemory)
{
    TempDir dir;
    const std::string path = dir / "long.caf";
    const uint64_t dataBytes = uint64_t(2) << 31;
    const std::vector<unsigned char> header = HandMadeCaf(dataBytes, {});
    WriteFileBytes(path, header);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(header.size() + dataBytes)), 0);

    RawSampleData data;
    CapturedStdout out;
    EXPECT_EQ(ReadSampleFile(path.c_str(), data), SampleFileStatus::OutOfMemory);
    EXPECT_EQ(out.Text(), "ffac format, 4294967296 bytes, 2147483648 frames, 1 channels, sample rate 44100.000000\n");
    EXPECT_EQ(data.bytes, nullptr);
    EXPECT_EQ(data.byteCount, 0u);
    EXPECT_EQ(data.frames, uint64_t(1) << 31);
}

// ---- files that do not open -------------------------------------------------------------------

struct UnopenableCase
{
    const char* name;
    std::vector<unsigned char> (*make)();
};

std::vector<unsigned char> TextBytes()
{
    const std::string text = "These are the notes for the session, not a sound file.\n";
    std::string many;
    for (int i = 0; i < 20; ++i)
        many += text;
    return std::vector<unsigned char>(many.begin(), many.end());
}

std::vector<unsigned char> NoBytes()
{
    return {};
}

std::vector<unsigned char> TruncatedWavHeader()
{
    TempDir dir;
    const std::string path = dir / "whole.wav";
    WriteKnownSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, kFrames, 2);
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    bytes.resize(30); // RIFF header and part of the fmt chunk
    return bytes;
}

std::vector<unsigned char> RandomBytes()
{
    std::mt19937 random(20240611);
    std::vector<unsigned char> bytes(4096);
    for (unsigned char& b : bytes)
        b = static_cast<unsigned char>(random() & 0xFF);
    return bytes;
}

void PrintTo(const UnopenableCase& c, std::ostream* os)
{
    *os << c.name;
}

class RefusesToOpen : public ::testing::TestWithParam<UnopenableCase>
{
};

TEST_P(RefusesToOpen, QuietlyFromFileAndMemory)
{
    const std::vector<unsigned char> bytes = GetParam().make();
    TempDir dir;
    const std::string path = dir / "not-audio.wav";
    WriteFileBytes(path, bytes);

    RawSampleData data;
    CapturedStdout out;
    EXPECT_EQ(ReadSampleFile(path.c_str(), data), SampleFileStatus::CannotOpen);
    EXPECT_EQ(data.bytes, nullptr);
    EXPECT_EQ(ReadSampleMemory(bytes.data(), bytes.size(), data), SampleFileStatus::CannotOpen);
    EXPECT_EQ(data.bytes, nullptr);
    EXPECT_EQ(out.Text(), "");
}

const UnopenableCase kUnopenableCases[] = {
    {"Text", TextBytes},
    {"Empty", NoBytes},
    {"TruncatedWavHeader", TruncatedWavHeader},
    {"RandomBytes", RandomBytes},
};

INSTANTIATE_TEST_SUITE_P(SampleFile, RefusesToOpen, ::testing::ValuesIn(kUnopenableCases),
                         [](const ::testing::TestParamInfo<UnopenableCase>& info)
                         { return std::string(info.param.name); });

TEST(SampleFile, FolderAndFifoCannotOpen)
{
    TempDir dir;
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.Path(), fifo})
    {
        SCOPED_TRACE(path);
        RawSampleData data;
        // A FIFO with no writer must not block the open.
        EXPECT_EQ(ReadSampleFile(path.c_str(), data), SampleFileStatus::CannotOpen);
        EXPECT_EQ(data.bytes, nullptr);
    }
}

TEST(SampleFile, MissingPathsAreNoSuchFileAndSilent)
{
    TempDir dir;
    const std::string good = dir / "good.wav";
    ASSERT_TRUE(WriteKnownSoundFile(good, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, kFrames, 2));
    const std::string missing = dir / "missing.wav";
    const std::string missingFolder = dir / "no-folder/missing.wav";
    const std::string underFile = good + "/missing.wav";

    for (const char* path : {missing.c_str(), missingFolder.c_str(), underFile.c_str(), "", (const char*)nullptr})
    {
        SCOPED_TRACE(path ? path : "(null)");
        RawSampleData data;
        {
            CapturedStdout quiet;
            ASSERT_EQ(ReadSampleFile(good.c_str(), data), SampleFileStatus::Ok);
        }
        CapturedStdout out;
        EXPECT_EQ(ReadSampleFile(path, data), SampleFileStatus::NoSuchFile);
        EXPECT_EQ(out.Text(), "");
        EXPECT_EQ(data.bytes, nullptr) << "earlier bytes were not released";
        EXPECT_EQ(data.byteCount, 0u);
        EXPECT_EQ(data.frames, 0u);
    }
}

TEST(SampleFile, AlertTexts)
{
    const struct
    {
        SampleFileStatus status;
        const char* text;
    } cases[] = {
        {SampleFileStatus::Ok, nullptr},
        {SampleFileStatus::NoSuchFile, nullptr},
        {SampleFileStatus::CannotOpen, "Unable to open that file"},
        {SampleFileStatus::OutOfMemory, "Unable to open that file"},
        {SampleFileStatus::Compressed, "Unable to open compressed audio files (e.g. mp3)"},
        {SampleFileStatus::UnsupportedSampleSize, "Only 16 or 24 bit formats supported"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.status));
        const char* text = SampleFileAlert(c.status);
        if (!c.text)
            EXPECT_EQ(text, nullptr);
        else
            EXPECT_STREQ(text, c.text);
    }
}

} // namespace
