// Loading a sound file: read and checked on the caller's thread, converted
// into the play buffer on the audio thread at the start of the next block.
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/Alert.h"
#include "plugin/VmraAuBase.h"
#include "xfadelooper/SampleFile.h"
#include "xfadelooper/VmraXFadeLooper.h"

void VmraXFadeLooper::LoadSample(const char* path)
{
    CollectRetired();
    RawSampleData raw;
    SampleFileStatus status = ReadSampleFile(path, raw);
    if (status != SampleFileStatus::Ok)
    {
        if (const char* alert = SampleFileAlert(status))
            ShowAlert(alert);
        return;
    }
    // The play buffer holds at most what an int counts in floats.
    uint64_t frames = std::min<uint64_t>(raw.frames, (INT_MAX - 2) / 2);
    TAUBuffer<float>* prepared = nullptr;
    if (!m_isEffect)
    {
        prepared = new (std::nothrow) TAUBuffer<float>();
        if (!prepared || !prepared->Allocate(2 * static_cast<size_t>(frames) + 2))
        {
            delete prepared;
            FreeRawSampleData(raw);
            ShowAlert(SampleFileAlert(SampleFileStatus::OutOfMemory));
            return;
        }
    }
    if (m_queue.Write(NoteOnOffInfo::kLoadSample, raw.bytes, raw.frames, raw.description, prepared))
        raw.bytes = nullptr; // the message owns them now
    else
        delete prepared;
    FreeRawSampleData(raw);
}

void VmraXFadeLooper::DoLoadSample(const NoteOnOffInfo* message)
{
    m_numNotes = 0;
    for (int& note : m_droneNotes)
        note = -1;
    const CAStreamBasicDescription& description = *message->description;
    m_rateScale = static_cast<float>(description.mSampleRate / static_cast<double>(HostSampleRate()));
    m_bufferSampleRate = static_cast<float>(description.mSampleRate);

    uint64_t frames = std::min<uint64_t>(message->frames, (INT_MAX - 2) / 2);
    if (m_isEffect)
        frames = std::min<uint64_t>(frames, static_cast<uint64_t>(m_maxBufferFrames));
    else if (message->prepared)
    {
        m_buffer.Swap(*message->prepared);
        m_maxBufferFrames = static_cast<int>(frames);
    }
    m_bufferFrames = static_cast<float>(frames);
    m_recordPos = 0;

    float* buffer = m_buffer.Data();
    if (buffer && m_buffer.Size() >= 2 * frames + 2)
    {
        DecodeSampleFrames(message->bytes, frames, message->frames, description, buffer);
        // The guard frame lets interpolation read one frame past the end.
        buffer[2 * frames] = frames ? buffer[2 * frames - 2] : 0.0f;
        buffer[2 * frames + 1] = frames ? buffer[2 * frames - 1] : 0.0f;
        if (m_isEffect && m_recordBuffer.Data())
            memcpy(m_recordBuffer.Data(), buffer, sizeof(float) * (2 * frames + 2));
    }
    else
        m_bufferFrames = 0;
    Retire(message->bytes, message->description, message->prepared);

    Publish(m_dataToGui.bufferFrames, m_bufferFrames);
    Publish(m_dataToGui.bufferSampleRate, m_bufferSampleRate);
    GenerateSampleOverview();
    AnnounceBufferChange();
}

void VmraXFadeLooper::Retire(unsigned char* bytes, CAStreamBasicDescription* description, TAUBuffer<float>* buffer)
{
    uint32_t write = m_retiredWrite.load(std::memory_order_relaxed);
    if (write - m_retiredRead.load(std::memory_order_acquire) >= kRetiredSlots)
    {
        // Cannot happen while the queue holds fewer loads than slots; freeing
        // here is the lesser evil.
        delete[] bytes;
        delete description;
        delete buffer;
        return;
    }
    m_retired[write % kRetiredSlots] = {bytes, description, buffer};
    m_retiredWrite.store(write + 1, std::memory_order_release);
}

void VmraXFadeLooper::CollectRetired()
{
    std::lock_guard<std::mutex> lock(m_collectLock);
    uint32_t read = m_retiredRead.load(std::memory_order_relaxed);
    while (read != m_retiredWrite.load(std::memory_order_acquire))
    {
        Retired& r = m_retired[read % kRetiredSlots];
        delete[] r.bytes;
        delete r.description;
        delete r.buffer;
        r = Retired{};
        m_retiredRead.store(++read, std::memory_order_release);
    }
}
