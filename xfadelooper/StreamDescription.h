// Description of a linear-PCM stream as read from a sound file, and the
// record through which the buffer is handed out as 24-bit audio.
#pragma once

#include <cstdint>

struct AudioStreamBasicDescription
{
    double mSampleRate;
    uint32_t mFormatID;
    uint32_t mFormatFlags;
    uint32_t mBytesPerPacket;
    uint32_t mFramesPerPacket;
    uint32_t mBytesPerFrame;
    uint32_t mChannelsPerFrame;
    uint32_t mBitsPerChannel;
    uint32_t mReserved;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40, "stream description layout");

enum : uint32_t
{
    kAudioFormatLinearPCM = 0x6C70636D, // 'lpcm'
    kAudioFormatFlagIsFloat = 1u << 0,
    kAudioFormatFlagIsBigEndian = 1u << 1,
    kAudioFormatFlagIsSignedInteger = 1u << 2,
    kAudioFormatFlagIsPacked = 1u << 3,
    kAudioFormatFlagIsNonInterleaved = 1u << 5,
};

class CAStreamBasicDescription : public AudioStreamBasicDescription
{
public:
    CAStreamBasicDescription() : AudioStreamBasicDescription() {}
    explicit CAStreamBasicDescription(const AudioStreamBasicDescription& d) : AudioStreamBasicDescription(d) {}

    bool IsInterleaved() const
    {
        return !(mFormatID == kAudioFormatLinearPCM && (mFormatFlags & kAudioFormatFlagIsNonInterleaved));
    }

    // Bytes of one sample of one channel.
    uint32_t SampleWordSize() const
    {
        if (mBytesPerFrame == 0)
            return 0;
        if (!IsInterleaved())
            return mBytesPerFrame;
        return mChannelsPerFrame ? mBytesPerFrame / mChannelsPerFrame : 0;
    }
};

namespace VL
{
// The buffer as 24-bit big-endian stereo audio. The receiver owns bytes
// (array delete).
struct SampleBytes
{
    AudioStreamBasicDescription description;
    uint32_t byteCount;
    unsigned char* bytes;
};
} // namespace VL
