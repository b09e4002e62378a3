// Sound files for the looper's buffer: reading a file's audio bytes exactly
// as stored, turning them into stereo floats on the audio thread, and saving
// the buffer's 24-bit bytes as an AIFF file. libsndfile does the file work.
#pragma once

#include "xfadelooper/StreamDescription.h"

#include <cstddef>
#include <cstdint>

// A four-character code as one number, first character in the high byte:
// SampleFourCC("WAVE") == 0x57415645.
constexpr uint32_t SampleFourCC(const char (&code)[5])
{
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) | (uint32_t(uint8_t(code[2])) << 8) |
           uint32_t(uint8_t(code[3]));
}

// The most frames a sound file may have to be loaded (INT32_MAX, so that frame
// counts and indexes fit an int everywhere in the engine). Longer files are
// refused as OutOfMemory.
constexpr uint64_t kMaxSampleFileFrames = 0x7FFFFFFF;

// Raw audio read from a sound file: the bytes exactly as stored (file byte
// order), the frame count and a stream description of the file's real format.
struct RawSampleData
{
    unsigned char* bytes = nullptr; // array new; whoever holds the data frees it (FreeRawSampleData)
    uint64_t byteCount = 0;
    uint64_t frames = 0;
    CAStreamBasicDescription description;
    // Four characters naming the container: 'WAVE' (also RIFX and
    // WAVE_FORMAT_EXTENSIBLE files), 'AIFF', 'AIFC', 'caff', 'W64 ', 'RF64',
    // 'FLAC', 'OggS', 'NeXT' (.au/.snd), 'MPG3'... as SampleFourCC gives them.
    uint32_t fileType = 0;
};

// Deletes the bytes and resets every field.
void FreeRawSampleData(RawSampleData& data);

enum class SampleFileStatus
{
    Ok,
    NoSuchFile,
    CannotOpen,
    Compressed,
    UnsupportedSampleSize,
    OutOfMemory,
};

// The alert shown to the user for a status, or null when nothing is shown (Ok,
// NoSuchFile):
//   CannotOpen, OutOfMemory -> "Unable to open that file"
//   Compressed -> "Unable to open compressed audio files (e.g. mp3)"
//   UnsupportedSampleSize -> "Only 16 or 24 bit formats supported"
const char* SampleFileAlert(SampleFileStatus status);

// Reads a sound file through libsndfile.
//
// `out` is reset first (bytes it held are freed). Then:
//   - a path that names nothing (or a null path) -> NoSuchFile, quietly;
//   - libsndfile cannot open it (not audio, corrupt, truncated header, a
//     folder, no permission...) -> CannotOpen;
//   - otherwise one line goes to standard output:
//       "<type> format, <bytes> bytes, <frames> frames, <n> channels, sample rate <rate>\n"
//     where <type> is fileType's four bytes in memory order (so on this
//     little-endian host a WAV file prints "EVAW") and <rate> is printed %f;
//   - audio not stored as plain linear PCM (FLAC, Vorbis, Opus, MP3, ALAC,
//     u-law, a-law, ADPCM, GSM..., and PAF 24-bit and MIDI sample dumps, whose
//     PCM is packed in blocks) -> Compressed;
//   - linear PCM of other than 2 or 3 bytes a sample (8-bit, 32-bit int,
//     float, double) -> UnsupportedSampleSize;
//   - more than kMaxSampleFileFrames frames, more bytes than the file itself
//     has (a header that lies), more than fits in memory, or the allocation
//     fails -> OutOfMemory;
//   - else the audio bytes, read raw in the file's own byte order -> Ok.
//     A file whose data ends early is padded with zero bytes.
//
// After any status but NoSuchFile and CannotOpen, `out` describes the file
// (description, frames, fileType); byteCount and bytes are set only with Ok.
//
// The description of linear PCM: mSampleRate is the file's rate, mFormatID
// kAudioFormatLinearPCM, flags IsPacked plus IsSignedInteger (signed integer
// samples) or IsFloat, and IsBigEndian when the stored bytes are big-endian;
// interleaved; mBitsPerChannel 8 x bytes a sample; mBytesPerFrame =
// mBytesPerPacket = bytes a sample x channels; mFramesPerPacket 1. Other
// formats get their own mFormatID ('flac', 'vorb', 'opus', '.mp3', 'alac',
// 'ulaw', 'alaw', 'ima4', 'msad', 'gsm ', ...), the rate and channel count,
// and zero sizes.
SampleFileStatus ReadSampleFile(const char* path, RawSampleData& out);

// The same from a block of memory (libsndfile virtual I/O), log line included.
// There is no NoSuchFile: an empty or null block is CannotOpen.
SampleFileStatus ReadSampleMemory(const void* data, size_t size, RawSampleData& out);

// Converts `frames` frames of raw data into interleaved stereo floats at dest
// (2 x frames floats). Safe on the audio thread: no allocation, I/O or locks.
//
// Bytes a sample are description.SampleWordSize(), which must be 2 or 3 (else
// dest gets zeros); byte order is the IsBigEndian flag. Data is interleaved
// unless it is linear PCM flagged IsNonInterleaved, in which case each
// channel's totalFrames samples follow the previous channel's. One channel
// feeds both sides; of more, the first two are used. 16-bit samples are scaled
// by 1/32767, 24-bit ones by 2^-23. frames <= totalFrames.
void DecodeSampleFrames(const unsigned char* bytes, uint64_t frames, uint64_t totalFrames,
                        const CAStreamBasicDescription& description, float* dest);

// Writes the record's bytes (24-bit big-endian signed interleaved PCM, as the
// buffer hands them out) to path as an AIFF file, byte for byte, at the
// record's sample rate rounded to a whole number. A record of another format,
// a rate below 1, a byte count that is not whole frames or missing bytes are
// refused. Returns false on any failure, and then leaves no file at path
// (one it began is removed).
bool WriteSampleBytesAiff(const char* path, const VL::SampleBytes& record);
