#include "xfadelooper/SampleFile.h"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace
{

constexpr bool kHostIsBigEndian = false;
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "kHostIsBigEndian assumes a little-endian host");

// ---- what libsndfile reports, as a stream description -------------------------------------

// Bytes a sample for the subtypes libsndfile stores as plain PCM words; 0 for
// everything else.
uint32_t LinearPcmBytesPerSample(int subtype)
{
    switch (subtype)
    {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 1;
    case SF_FORMAT_PCM_16:
        return 2;
    case SF_FORMAT_PCM_24:
        return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 4;
    case SF_FORMAT_DOUBLE:
        return 8;
    default:
        return 0;
    }
}

// True when the audio is stored as plain PCM words that sf_read_raw hands out
// unchanged. A PCM subtype is not enough: FLAC files report the depth they
// decode to as PCM_16/PCM_24, PAF packs 24-bit samples in blocks, and MIDI
// sample dumps spread samples over 7-bit bytes.
bool IsStoredAsLinearPcm(int format)
{
    const int container = format & SF_FORMAT_TYPEMASK;
    const int subtype = format & SF_FORMAT_SUBMASK;
    if (LinearPcmBytesPerSample(subtype) == 0)
        return false;
    switch (container)
    {
    case SF_FORMAT_FLAC:
    case SF_FORMAT_OGG:
    case SF_FORMAT_MPEG:
    case SF_FORMAT_SDS:
        return false;
    case SF_FORMAT_PAF:
        return subtype != SF_FORMAT_PCM_24;
    default:
        return true;
    }
}

uint32_t CompressedFormatID(int format)
{
    switch (format & SF_FORMAT_TYPEMASK)
    {
    case SF_FORMAT_FLAC:
        return SampleFourCC("flac");
    case SF_FORMAT_PAF:
        return SampleFourCC("pf24");
    case SF_FORMAT_SDS:
        return SampleFourCC("sds ");
    default:
        break;
    }
    switch (format & SF_FORMAT_SUBMASK)
    {
    case SF_FORMAT_ULAW:
        return SampleFourCC("ulaw");
    case SF_FORMAT_ALAW:
        return SampleFourCC("alaw");
    case SF_FORMAT_IMA_ADPCM:
        return SampleFourCC("ima4");
    case SF_FORMAT_MS_ADPCM:
        return SampleFourCC("msad");
    case SF_FORMAT_GSM610:
        return SampleFourCC("gsm ");
    case SF_FORMAT_VOX_ADPCM:
        return SampleFourCC("vox ");
    case SF_FORMAT_NMS_ADPCM_16:
    case SF_FORMAT_NMS_ADPCM_24:
    case SF_FORMAT_NMS_ADPCM_32:
        return SampleFourCC("nms ");
    case SF_FORMAT_G721_32:
        return SampleFourCC("g721");
    case SF_FORMAT_G723_24:
    case SF_FORMAT_G723_40:
        return SampleFourCC("g723");
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DWVW_24:
    case SF_FORMAT_DWVW_N:
        return SampleFourCC("dwvw");
    case SF_FORMAT_DPCM_8:
    case SF_FORMAT_DPCM_16:
        return SampleFourCC("dpcm");
    case SF_FORMAT_VORBIS:
        return SampleFourCC("vorb");
    case SF_FORMAT_OPUS:
        return SampleFourCC("opus");
    case SF_FORMAT_ALAC_16:
    case SF_FORMAT_ALAC_20:
    case SF_FORMAT_ALAC_24:
    case SF_FORMAT_ALAC_32:
        return SampleFourCC("alac");
    case SF_FORMAT_MPEG_LAYER_I:
        return SampleFourCC(".mp1");
    case SF_FORMAT_MPEG_LAYER_II:
        return SampleFourCC(".mp2");
    case SF_FORMAT_MPEG_LAYER_III:
        return SampleFourCC(".mp3");
    default:
        return SampleFourCC("????");
    }
}

// `form` is bytes 8-11 of the file (the IFF form type), used to tell AIFF-C
// from plain AIFF, which libsndfile reports alike.
uint32_t ContainerType(int format, uint32_t form)
{
    switch (format & SF_FORMAT_TYPEMASK)
    {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
        return SampleFourCC("WAVE");
    case SF_FORMAT_AIFF:
        return form == SampleFourCC("AIFC") ? SampleFourCC("AIFC") : SampleFourCC("AIFF");
    case SF_FORMAT_CAF:
        return SampleFourCC("caff");
    case SF_FORMAT_W64:
        return SampleFourCC("W64 ");
    case SF_FORMAT_RF64:
        return SampleFourCC("RF64");
    case SF_FORMAT_FLAC:
        return SampleFourCC("FLAC");
    case SF_FORMAT_OGG:
        return SampleFourCC("OggS");
    case SF_FORMAT_MPEG:
        return SampleFourCC("MPG3");
    case SF_FORMAT_AU:
        return SampleFourCC("NeXT");
    case SF_FORMAT_SD2:
        return SampleFourCC("Sd2f");
    case SF_FORMAT_RAW:
        return SampleFourCC("RAW ");
    case SF_FORMAT_PAF:
        return SampleFourCC("PAF ");
    case SF_FORMAT_SVX:
        return SampleFourCC("8SVX");
    case SF_FORMAT_NIST:
        return SampleFourCC("NIST");
    case SF_FORMAT_VOC:
        return SampleFourCC("VOC ");
    case SF_FORMAT_IRCAM:
        return SampleFourCC("IRCM");
    case SF_FORMAT_MAT4:
        return SampleFourCC("MAT4");
    case SF_FORMAT_MAT5:
        return SampleFourCC("MAT5");
    case SF_FORMAT_PVF:
        return SampleFourCC("PVF1");
    case SF_FORMAT_XI:
        return SampleFourCC("XI  ");
    case SF_FORMAT_HTK:
        return SampleFourCC("HTK ");
    case SF_FORMAT_SDS:
        return SampleFourCC("SDS ");
    case SF_FORMAT_AVR:
        return SampleFourCC("2BIT");
    case SF_FORMAT_WVE:
        return SampleFourCC("WVE ");
    case SF_FORMAT_MPC2K:
        return SampleFourCC("MPC ");
    default:
        return SampleFourCC("????");
    }
}

// Whether sf_read_raw gives big-endian words. A byte order the file names
// itself (RIFX, AIFF-C 'sowt', a little-endian CAF...) shows in the format's
// endian bits; otherwise the container's own order applies, which is what
// libsndfile set up its PCM reader for and reports as "needs a byte swap on
// this host".
bool StoredBigEndian(SNDFILE* file, int format)
{
    switch (format & SF_FORMAT_ENDMASK)
    {
    case SF_ENDIAN_BIG:
        return true;
    case SF_ENDIAN_LITTLE:
        return false;
    case SF_ENDIAN_CPU:
        return kHostIsBigEndian;
    default:
        break;
    }
    const bool swapped = sf_command(file, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
    return swapped != kHostIsBigEndian;
}

CAStreamBasicDescription Describe(SNDFILE* file, const SF_INFO& info)
{
    CAStreamBasicDescription d;
    d.mSampleRate = info.samplerate;
    d.mChannelsPerFrame = static_cast<uint32_t>(info.channels);
    if (!IsStoredAsLinearPcm(info.format))
    {
        d.mFormatID = CompressedFormatID(info.format);
        return d;
    }
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    const uint32_t sampleBytes = LinearPcmBytesPerSample(subtype);
    d.mFormatID = kAudioFormatLinearPCM;
    d.mFormatFlags = kAudioFormatFlagIsPacked;
    if (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE)
        d.mFormatFlags |= kAudioFormatFlagIsFloat;
    else if (subtype != SF_FORMAT_PCM_U8)
        d.mFormatFlags |= kAudioFormatFlagIsSignedInteger;
    if (StoredBigEndian(file, info.format))
        d.mFormatFlags |= kAudioFormatFlagIsBigEndian;
    d.mBytesPerFrame = sampleBytes * d.mChannelsPerFrame;
    d.mBytesPerPacket = d.mBytesPerFrame;
    d.mFramesPerPacket = 1;
    d.mBitsPerChannel = 8 * sampleBytes;
    return d;
}

// ---- reading -------------------------------------------------------------------------------

uint32_t BigEndianWord(const unsigned char* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Reads the audio of an opened file into `out`. sourceSize is the size of the
// whole file or memory block; form its bytes 8-11 (0 if shorter).
SampleFileStatus ReadOpened(SNDFILE* file, const SF_INFO& info, uint64_t sourceSize, uint32_t form, RawSampleData& out)
{
    out.description = Describe(file, info);
    out.fileType = ContainerType(info.format, form);
    out.frames = info.frames > 0 ? static_cast<uint64_t>(info.frames) : 0;

    const uint64_t bytesPerFrame = out.description.mBytesPerFrame;
    uint64_t byteCount = UINT64_MAX;
    if (bytesPerFrame == 0 || out.frames <= UINT64_MAX / bytesPerFrame)
        byteCount = out.frames * bytesPerFrame;

    char type[5];
    std::memcpy(type, &out.fileType, 4);
    type[4] = '\0';
    std::printf("%s format, %llu bytes, %llu frames, %d channels, sample rate %f\n", type,
                static_cast<unsigned long long>(byteCount), static_cast<unsigned long long>(out.frames), info.channels,
                out.description.mSampleRate);

    if (out.description.mFormatID != kAudioFormatLinearPCM)
        return SampleFileStatus::Compressed;
    const uint32_t wordSize = out.description.SampleWordSize();
    if (wordSize != 2 && wordSize != 3)
        return SampleFileStatus::UnsupportedSampleSize;
    if (out.frames > kMaxSampleFileFrames || byteCount > sourceSize || byteCount > SIZE_MAX)
        return SampleFileStatus::OutOfMemory;

    unsigned char* bytes = new (std::nothrow) unsigned char[byteCount ? static_cast<size_t>(byteCount) : 1];
    if (!bytes)
        return SampleFileStatus::OutOfMemory;

    // In pieces of whole frames; libsndfile zero-fills whatever the file
    // does not have, and so do we if it stops reading altogether.
    const uint64_t chunk = std::max<uint64_t>(1, (uint64_t(1) << 20) / bytesPerFrame) * bytesPerFrame;
    uint64_t done = 0;
    while (done < byteCount)
    {
        const uint64_t want = std::min(chunk, byteCount - done);
        const sf_count_t got = sf_read_raw(file, bytes + done, static_cast<sf_count_t>(want));
        if (got <= 0)
            break;
        done += std::min<uint64_t>(want, static_cast<uint64_t>(got));
    }
    if (done < byteCount)
        std::memset(bytes + done, 0, static_cast<size_t>(byteCount - done));

    out.bytes = bytes;
    out.byteCount = byteCount;
    return SampleFileStatus::Ok;
}

struct MemorySource
{
    const unsigned char* data;
    sf_count_t size;
    sf_count_t position;
};

sf_count_t MemoryLength(void* user)
{
    return static_cast<MemorySource*>(user)->size;
}

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user)
{
    MemorySource& m = *static_cast<MemorySource*>(user);
    sf_count_t base = 0;
    switch (whence)
    {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = m.position;
        break;
    case SEEK_END:
        base = m.size;
        break;
    default:
        return -1;
    }
    // Positions past the end are allowed (reads there get nothing), as with
    // files; before the start or beyond the counter's range they are not.
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
        return -1;
    m.position = base + offset;
    return m.position;
}

sf_count_t MemoryRead(void* ptr, sf_count_t count, void* user)
{
    MemorySource& m = *static_cast<MemorySource*>(user);
    if (count <= 0 || m.position >= m.size)
        return 0;
    const sf_count_t n = std::min(count, m.size - m.position);
    std::memcpy(ptr, m.data + m.position, static_cast<size_t>(n));
    m.position += n;
    return n;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t MemoryTell(void* user)
{
    return static_cast<MemorySource*>(user)->position;
}

} // namespace

void FreeRawSampleData(RawSampleData& data)
{
    delete[] data.bytes;
    data = RawSampleData();
}

const char* SampleFileAlert(SampleFileStatus status)
{
    switch (status)
    {
    case SampleFileStatus::CannotOpen:
    case SampleFileStatus::OutOfMemory:
        return "Unable to open that file";
    case SampleFileStatus::Compressed:
        return "Unable to open compressed audio files (e.g. mp3)";
    case SampleFileStatus::UnsupportedSampleSize:
        return "Only 16 or 24 bit formats supported";
    case SampleFileStatus::Ok:
    case SampleFileStatus::NoSuchFile:
        break;
    }
    return nullptr;
}

SampleFileStatus ReadSampleFile(const char* path, RawSampleData& out)
{
    FreeRawSampleData(out);
    if (!path)
        return SampleFileStatus::NoSuchFile;
    // Non-blocking so that a FIFO does not hang the open; it is refused below.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? SampleFileStatus::NoSuchFile : SampleFileStatus::CannotOpen;

    SampleFileStatus status = SampleFileStatus::CannotOpen;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    {
        unsigned char head[12];
        const uint32_t form = pread(fd, head, sizeof head, 0) == ssize_t(sizeof head) ? BigEndianWord(head + 8) : 0;
        SF_INFO info{};
        if (SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE))
        {
            status = ReadOpened(file, info, static_cast<uint64_t>(st.st_size), form, out);
            sf_close(file);
        }
    }
    close(fd);
    if (status != SampleFileStatus::Ok)
        out.byteCount = 0;
    return status;
}

SampleFileStatus ReadSampleMemory(const void* data, size_t size, RawSampleData& out)
{
    FreeRawSampleData(out);
    if (!data || size == 0 || size > static_cast<uint64_t>(INT64_MAX))
        return SampleFileStatus::CannotOpen;

    MemorySource source{static_cast<const unsigned char*>(data), static_cast<sf_count_t>(size), 0};
    SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &source);
    if (!file)
        return SampleFileStatus::CannotOpen;
    const uint32_t form = size >= 12 ? BigEndianWord(source.data + 8) : 0;
    const SampleFileStatus status = ReadOpened(file, info, size, form, out);
    sf_close(file);
    if (status != SampleFileStatus::Ok)
        out.byteCount = 0;
    return status;
}

// ---- decoding -------------------------------------------------------------------------------

namespace
{

constexpr float k16BitScale = 0.000030518509f;   // 1/32767
constexpr float k24BitScale = 0.00000011920929f; // 2^-23

template <bool BigEndian> inline float Sample16(const unsigned char* p)
{
    const int high = BigEndian ? p[0] : p[1];
    const int low = BigEndian ? p[1] : p[0];
    int v = (high << 8) | low;
    if (v & 0x8000)
        v -= 0x10000;
    return static_cast<float>(v) * k16BitScale;
}

template <bool BigEndian> inline float Sample24(const unsigned char* p)
{
    const int32_t high = BigEndian ? p[0] : p[2];
    const int32_t low = BigEndian ? p[2] : p[0];
    int32_t v = (high << 16) | (int32_t(p[1]) << 8) | low;
    if (v & 0x800000)
        v -= 0x1000000;
    return static_cast<float>(v) * k24BitScale;
}

template <float (*Sample)(const unsigned char*)>
void DecodeFrames(const unsigned char* left, const unsigned char* right, size_t stride, uint64_t frames, float* dest)
{
    for (uint64_t i = 0; i < frames; ++i)
    {
        *dest++ = Sample(left);
        *dest++ = Sample(right);
        left += stride;
        right += stride;
    }
}

} // namespace

void DecodeSampleFrames(const unsigned char* bytes, uint64_t frames, uint64_t totalFrames,
                        const CAStreamBasicDescription& description, float* dest)
{
    if (!dest)
        return;
    const uint32_t word = description.SampleWordSize();
    if (!bytes || (word != 2 && word != 3))
    {
        std::fill(dest, dest + 2 * frames, 0.0f);
        return;
    }
    const bool interleaved = description.IsInterleaved();
    const uint32_t channels = description.mChannelsPerFrame;
    const size_t stride = interleaved ? size_t(word) * channels : word;
    const unsigned char* left = bytes;
    const unsigned char* right = left;
    if (channels >= 2)
        right = interleaved ? left + word : left + totalFrames * word;

    const bool big = (description.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0;
    if (word == 2)
    {
        if (big)
            DecodeFrames<Sample16<true>>(left, right, stride, frames, dest);
        else
            DecodeFrames<Sample16<false>>(left, right, stride, frames, dest);
    }
    else
    {
        if (big)
            DecodeFrames<Sample24<true>>(left, right, stride, frames, dest);
        else
            DecodeFrames<Sample24<false>>(left, right, stride, frames, dest);
    }
}

// ---- writing --------------------------------------------------------------------------------

bool WriteSampleBytesAiff(const char* path, const VL::SampleBytes& record)
{
    const CAStreamBasicDescription d(record.description);
    const uint32_t required = kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger;
    if (!path || d.mFormatID != kAudioFormatLinearPCM || (d.mFormatFlags & required) != required ||
        (d.mFormatFlags & kAudioFormatFlagIsFloat) || !d.IsInterleaved() || d.SampleWordSize() != 3 ||
        d.mChannelsPerFrame == 0 || d.mChannelsPerFrame > INT_MAX)
        return false;
    const uint64_t frameBytes = uint64_t(3) * d.mChannelsPerFrame;
    if (record.byteCount % frameBytes != 0 || (record.byteCount && !record.bytes))
        return false;
    if (!std::isfinite(d.mSampleRate) || d.mSampleRate < 1.0 || d.mSampleRate > double(INT_MAX))
        return false;

    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(d.mSampleRate));
    info.channels = static_cast<int>(d.mChannelsPerFrame);
    info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_24;
    if (!sf_format_check(&info))
        return false;

    const int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);

    bool ok = false;
    if (SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE))
    {
        const sf_count_t count = static_cast<sf_count_t>(record.byteCount);
        ok = count == 0 || sf_write_raw(file, record.bytes, count) == count;
        ok = sf_error(file) == SF_ERR_NO_ERROR && ok;
        ok = sf_close(file) == 0 && ok;
    }
    ok = close(fd) == 0 && ok;
    if (!ok && regular)
        unlink(path);
    return ok;
}
