#include "xfadelooper/VmraXFadeLooper.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "osc/OSCBasePort.h"
#include "platform/Preferences.h"
#include "plugin/VmraAuBase.h"
#include "xfadelooper/ParamInfo.h"

namespace
{
// Keeps 2 x frames + 2 floats inside an int.
constexpr double kMaxBufferFrames = (INT_MAX - 2) / 2;
} // namespace

VmraXFadeLooper::VmraXFadeLooper(bool isEffect) : m_isEffect(isEffect)
{
    for (double& position : m_notePlayPos)
        position = -1;
}

VmraXFadeLooper::~VmraXFadeLooper()
{
    m_queue.Drain();
    CollectRetired();
    delete[] m_overview;
}

bool VmraXFadeLooper::IsParameterUsed(int index)
{
    return ::IsParameterUsed(index);
}

float VmraXFadeLooper::Param(int index) const
{
    return m_base->CurrentProgram()->GetParameter(index);
}

void VmraXFadeLooper::AnnounceBufferChange()
{
    m_base->PropertyChanged(kOrvoProperty_BufferFrames, kAudioUnitScope_Global, 0);
}

void VmraXFadeLooper::Construct(VmraAuBase* base)
{
    m_base = base;
    m_maxBufferSeconds = GetPrefInt("Max buffer size", 60);
    SetBufferSizeMaximum(static_cast<float>(m_maxBufferSeconds));
    m_bufferChanged = true;
    m_overview = new float[kOverviewColumns * 4];
    for (int i = 0; i < kOverviewColumns; ++i)
    {
        m_overview[4 * i + 0] = static_cast<float>(i);
        m_overview[4 * i + 1] = 0;
        m_overview[4 * i + 2] = static_cast<float>(i);
        m_overview[4 * i + 3] = 0;
    }
    if (m_isEffect)
        m_recordSave.AllocateClear(kRecordSaveFloats);
    m_dataToGui = DataToGui{};
    m_dataToGui.tempo = 120.0;
    m_dataToGui.timeSigNumerator = 4.0f;
    m_dataToGui.timeSigDenominator = 4;
    m_bufferSampleRate = 0;
}

OSStatus VmraXFadeLooper::Initialize()
{
    m_maxBufferFrames = 0;
    m_bufferFrames = 0;
    OnMaxSliceChange(static_cast<unsigned long>(m_base->getBlockSize()));
    InitialiseBuffers();
    Reset();
    VL::g_OSCBasePort = GetPrefInt("OSC Base Port", 7000);
    return noErr;
}

void VmraXFadeLooper::OnMaxSliceChange(unsigned long frames)
{
    if (frames == 0)
        return;
    if (m_scratch.Allocate(2 * frames) && m_scratchOld.Allocate(2 * frames))
        m_maxSliceFrames = frames;
    else
        m_maxSliceFrames = 0;
}

void VmraXFadeLooper::InitialiseBuffers()
{
    if (!m_isEffect)
        return;
    float sr = m_base->getSampleRate();
    double frames = std::trunc(static_cast<double>(m_maxBufferSeconds) * sr + 2.0);
    if (!(frames >= 2.0))
        frames = 2.0;
    if (frames > kMaxBufferFrames)
        frames = kMaxBufferFrames;
    m_maxBufferFrames = static_cast<int>(frames);
    size_t floats = 2 * static_cast<size_t>(m_maxBufferFrames) + 2;
    if (!m_buffer.Allocate(floats) || !m_recordBuffer.Allocate(floats))
    {
        // Out of memory: an empty buffer plays and records nothing.
        m_buffer.Allocate(2);
        m_recordBuffer.Allocate(2);
        m_maxBufferFrames = 0;
    }
    m_rateScale = 1.0f;
    m_bufferFrames = std::fmin(Param(kParam_BufferSize) * sr, static_cast<float>(m_maxBufferFrames));
    if (!(m_bufferFrames >= 0))
        m_bufferFrames = 0;
    m_bufferSampleRate = sr;
    AnnounceBufferChange();
}

void VmraXFadeLooper::ResetBuffers()
{
    if (!m_isEffect)
        return;
    m_buffer.Clear();
    m_recordBuffer.Clear();
    GenerateSampleOverview();
}

void VmraXFadeLooper::Reset()
{
    m_pitchBend = 0;
    m_syncLfoPhase = 0;
    m_syncLfoRamp = 0;
    m_lastLoopStart = m_lastLoopEnd = m_lastLoopBody = -1;
    m_numNotes = 0;
    m_recordPos = 0;
    m_lastGate = 0;
    m_triggerRunning = false;
    m_globalPlayPos = -1;
    for (double& position : m_notePlayPos)
        position = -1;
    m_lastNote = -1;
    m_numHeldNotes = 0;
    m_sustain = false;
    Publish(m_dataToGui.recordGain, 0.0f);
    m_recordStart = m_recordEnd = 0;
    m_recordSaveCount = 0;
    m_recordSaveEnd = -1;
    for (int& note : m_droneNotes)
        note = -1;
    ResetBuffers();
}

void VmraXFadeLooper::setSampleRate(float sampleRate)
{
    if (m_isEffect)
        m_bufferSampleRate = sampleRate;
}

// ---- chunks -------------------------------------------------------------------

int32_t VmraXFadeLooper::getChunk(void** data, bool)
{
    VmraProgram* program = m_base->CurrentProgram();
    *data = program->GetChunk();
    return static_cast<int32_t>(program->GetChunkSize());
}

int32_t VmraXFadeLooper::setChunk(void* data, int32_t size, bool)
{
    VmraProgram* program = m_base->CurrentProgram();
    program->SetChunk(data, size);
    if (const char* path = program->GetSamplePath())
        AudioUnitSetProperty(m_base, kOrvoProperty_SamplePath, kAudioUnitScope_Global, 0, path, strlen(path) + 1);
    return 1;
}

// ---- properties -----------------------------------------------------------------

OSStatus VmraXFadeLooper::GetPropertyInfo(unsigned long id, unsigned long, unsigned long, unsigned long& size,
                                          unsigned char& writable)
{
    writable = 0;
    switch (id)
    {
    case kAudioUnitProperty_ParameterStringFromValue:
        size = sizeof(AudioUnitParameterStringFromValue);
        return noErr;
    case kOrvoProperty_SamplePath:
    {
        const char* path = m_base->CurrentProgram()->GetSamplePath();
        size = (path ? strlen(path) : 0) + 1;
        writable = 1;
        return noErr;
    }
    case kOrvoProperty_DataToGui:
    case kOrvoProperty_Overview:
        size = sizeof(void*);
        return noErr;
    case kOrvoProperty_IsEffect:
        size = 1;
        return noErr;
    case kOrvoProperty_BufferSampleRate:
    case kOrvoProperty_BufferFrames:
        size = sizeof(float);
        return noErr;
    case kOrvoProperty_MaxBufferSeconds:
        size = sizeof(int32_t);
        writable = 1;
        return noErr;
    case kOrvoProperty_SampleBytes:
        size = sizeof(VL::SampleBytes);
        return noErr;
    default:
        return kEngineNotHandled;
    }
}

OSStatus VmraXFadeLooper::GetProperty(unsigned long id, unsigned long, unsigned long, void* data)
{
    switch (id)
    {
    case kAudioUnitProperty_ParameterStringFromValue:
    case kOrvoProperty_SamplePath:
    case kOrvoProperty_DataToGui:
    case kOrvoProperty_Overview:
    case kOrvoProperty_IsEffect:
    case kOrvoProperty_BufferSampleRate:
    case kOrvoProperty_BufferFrames:
    case kOrvoProperty_MaxBufferSeconds:
    case kOrvoProperty_SampleBytes:
        if (!data)
            return kAudioUnitErr_InvalidPropertyValue;
        break;
    default:
        return kEngineNotHandled;
    }
    switch (id)
    {
    case kAudioUnitProperty_ParameterStringFromValue:
    {
        auto* request = static_cast<AudioUnitParameterStringFromValue*>(data);
        request->outString = nullptr;
        int index = static_cast<int>(request->inParamID);
        if (!IsValidParamIndex(index))
            return kAudioUnitErr_InvalidParameter;
        float value = request->inValue ? *request->inValue : Param(index);
        return GetParameterStringFromValue(index, value, &request->outString);
    }
    case kOrvoProperty_SamplePath:
    {
        const char* path = m_base->CurrentProgram()->GetSamplePath();
        strcpy(static_cast<char*>(data), path ? path : "");
        return noErr;
    }
    case kOrvoProperty_DataToGui:
        *static_cast<DataToGui**>(data) = &m_dataToGui;
        return noErr;
    case kOrvoProperty_Overview:
        *static_cast<float**>(data) = m_overview;
        return noErr;
    case kOrvoProperty_IsEffect:
        *static_cast<unsigned char*>(data) = m_isEffect ? 1 : 0;
        return noErr;
    case kOrvoProperty_BufferSampleRate:
        *static_cast<float*>(data) = m_bufferSampleRate;
        return noErr;
    case kOrvoProperty_BufferFrames:
        *static_cast<float*>(data) = m_bufferFrames;
        return noErr;
    case kOrvoProperty_MaxBufferSeconds:
        *static_cast<int32_t*>(data) = m_maxBufferSeconds;
        return noErr;
    default: // kOrvoProperty_SampleBytes
        return GenerateSampleBytes(*static_cast<VL::SampleBytes*>(data));
    }
}

OSStatus VmraXFadeLooper::SetProperty(unsigned long id, unsigned long, unsigned long, const void* data,
                                      unsigned long size)
{
    switch (id)
    {
    case kOrvoProperty_SamplePath:
    {
        char* stored = m_base->CurrentProgram()->GetSamplePath();
        if (!data || !stored)
            return kAudioUnitErr_InvalidPropertyValue;
        const char* path = static_cast<const char*>(data);
        // The text may lack a terminator within the given size: never read
        // past it.
        unsigned long n = strnlen(path, size) + 1;
        if (n != size)
        {
            fprintf(stderr, "string length error in SetProperty()\n");
            size = n < size ? n : size;
        }
        if (size == 0)
            return kAudioUnitErr_InvalidPropertyValue;
        if (path != stored && size <= 256 && strncmp(path, stored, size - 1) == 0 && stored[size - 1] == 0)
            return noErr;
        if (size > 256)
            size = 256;
        if (path != stored)
            memmove(stored, path, size - 1);
        stored[size - 1] = 0;
        LoadSample(stored);
        return noErr;
    }
    case kOrvoProperty_MaxBufferSeconds:
        if (!data || size < sizeof(int32_t))
            return kAudioUnitErr_InvalidPropertyValue;
        memcpy(&m_maxBufferSeconds, data, sizeof(int32_t));
        return noErr;
    default:
        return kEngineNotHandled;
    }
}

int VmraXFadeLooper::GetParameterValueStrings(unsigned long scope, unsigned long element, CFArrayRef* out)
{
    return ::GetParameterValueStrings(scope, element, out);
}

// ---- the buffer as 24-bit audio and its overview ----------------------------------------

OSStatus VmraXFadeLooper::GenerateSampleBytes(VL::SampleBytes& record)
{
    memset(&record.description, 0, sizeof(record.description));
    // The buffer's own rate: a file loaded at another rate than the host's
    // keeps its pitch when saved.
    float rate = m_bufferSampleRate > 0 ? m_bufferSampleRate : m_base->getSampleRate();
    record.description.mSampleRate = rate;
    record.description.mFormatID = kAudioFormatLinearPCM;
    record.description.mFormatFlags =
        kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
    record.description.mBytesPerPacket = 6;
    record.description.mFramesPerPacket = 1;
    record.description.mBytesPerFrame = 6;
    record.description.mChannelsPerFrame = 2;
    record.description.mBitsPerChannel = 24;

    size_t frames = m_bufferFrames > 0 ? static_cast<size_t>(m_bufferFrames) : 0;
    if (frames > m_buffer.Size() / 2)
        frames = m_buffer.Size() / 2;
    if (frames > UINT32_MAX / 6)
        frames = UINT32_MAX / 6;
    record.byteCount = static_cast<uint32_t>(frames * 6);
    record.bytes = frames ? new (std::nothrow) unsigned char[frames * 6] : nullptr;
    if (!record.bytes)
    {
        record.byteCount = 0;
        return noErr;
    }
    const float* buffer = m_buffer.Data();
    float peak = 0.000001f;
    for (size_t i = 0; i < 2 * frames; ++i)
        peak = std::fmax(peak, std::fabs(buffer[i]));
    float scale = (1.0f / peak) * 8388607.0f;
    unsigned char* out = record.bytes;
    for (size_t i = 0; i < 2 * frames; ++i)
    {
        int32_t v = static_cast<int32_t>(buffer[i] * scale);
        *out++ = static_cast<unsigned char>((v >> 16) & 0xFF);
        *out++ = static_cast<unsigned char>((v >> 8) & 0xFF);
        *out++ = static_cast<unsigned char>(v & 0xFF);
    }
    return noErr;
}

void VmraXFadeLooper::GenerateSampleOverview()
{
    int n = static_cast<int>(m_bufferFrames);
    if (n >= kOverviewColumns)
    {
        UpdateSampleOverview(0, n);
        return;
    }
    for (int c = 0; c < kOverviewColumns; ++c)
    {
        Publish(m_overview[4 * c + 1], 0.0f);
        Publish(m_overview[4 * c + 3], 0.0f);
    }
}

void VmraXFadeLooper::UpdateSampleOverview(int first, int end)
{
    const float* buffer = m_buffer.Data();
    long n = static_cast<long>(m_bufferFrames);
    if (n > static_cast<long>(m_buffer.Size() / 2))
        n = static_cast<long>(m_buffer.Size() / 2);
    if (!buffer || n <= 0 || !m_overview)
        return;
    auto setColumn = [this](long c, float lo, float hi) {
        Publish(m_overview[4 * c + 1], lo);
        Publish(m_overview[4 * c + 3], hi);
    };
    long per = n / kOverviewColumns;
    if (per == 0)
    {
        for (long c = 0; c < kOverviewColumns; ++c)
        {
            long f = c * n / kOverviewColumns;
            float left = buffer[2 * f], right = buffer[2 * f + 1];
            setColumn(c, std::fmin(1000000.0f, std::fmin(left, right)), std::fmax(-1000000.0f, std::fmax(left, right)));
        }
        return;
    }
    long from = first < 0 ? 0 : first;
    long to = end > n ? n : end;
    if (from >= to)
        return;
    long firstColumn = from / per;
    long lastColumn = (per + to - 1) / per - 1;
    if (lastColumn > kOverviewColumns - 1)
        lastColumn = kOverviewColumns - 1;
    for (long c = firstColumn; c <= lastColumn; ++c)
    {
        long start = c == firstColumn ? from / per * per : c * per;
        long stop = c == lastColumn ? to : c * per + per;
        float lo = 1000000.0f, hi = -1000000.0f;
        for (long f = start; f < stop; ++f)
        {
            lo = std::fmin(lo, std::fmin(buffer[2 * f], buffer[2 * f + 1]));
            hi = std::fmax(hi, std::fmax(buffer[2 * f], buffer[2 * f + 1]));
        }
        setColumn(c, lo, hi);
    }
}
