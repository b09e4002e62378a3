#include "xfadelooper/NoteQueue.h"

#include <cstdio>
#include <new>

// Slot i is free for the writer at position p when its sequence equals p,
// and readable at position p when it equals p + 1. The slot handed to the
// reader is released (sequence p + 64) only at the reader's next Read; the
// slot before position 0 counts as handed out from the start, so the first
// lap holds 63 messages like every other.
NoteOnOffQueue::NoteOnOffQueue()
{
    for (int i = 0; i < kSlots; ++i)
        m_slots[i].sequence.store(i, std::memory_order_relaxed);
    m_slots[kSlots - 1].sequence.store(-1, std::memory_order_relaxed);
}

NoteOnOffQueue::~NoteOnOffQueue()
{
    Drain();
}

bool NoteOnOffQueue::Post(const NoteOnOffInfo& info)
{
    int64_t pos = m_writePosition.load(std::memory_order_relaxed);
    for (;;)
    {
        Slot& slot = m_slots[pos & (kSlots - 1)];
        int64_t sequence = slot.sequence.load(std::memory_order_acquire);
        if (sequence == pos)
        {
            if (m_writePosition.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed))
            {
                slot.info = info;
                slot.sequence.store(pos + 1, std::memory_order_release);
                return true;
            }
        }
        else if (sequence < pos)
        {
            fprintf(stderr, "VmraXFadeLooper::NoteOnOffQueue::Write() overflow\n");
            return false;
        }
        else
            pos = m_writePosition.load(std::memory_order_relaxed);
    }
}

bool NoteOnOffQueue::Write(NoteOnOffInfo::Message message, int note, float velocity)
{
    NoteOnOffInfo info;
    info.message = message;
    info.note = note;
    info.velocity = velocity;
    return Post(info);
}

bool NoteOnOffQueue::Write(NoteOnOffInfo::Message message, bool down)
{
    NoteOnOffInfo info;
    info.message = message;
    info.down = down;
    return Post(info);
}

bool NoteOnOffQueue::Write(NoteOnOffInfo::Message message, unsigned char* bytes, uint64_t frames,
                           const CAStreamBasicDescription& description, TAUBuffer<float>* prepared)
{
    NoteOnOffInfo info;
    info.message = message;
    info.bytes = bytes;
    info.frames = frames;
    info.description = new (std::nothrow) CAStreamBasicDescription(description);
    info.prepared = prepared;
    if (info.description && Post(info))
        return true;
    delete info.description;
    return false;
}

const NoteOnOffInfo* NoteOnOffQueue::Read()
{
    Slot& slot = m_slots[m_readPosition & (kSlots - 1)];
    if (slot.sequence.load(std::memory_order_acquire) != m_readPosition + 1)
        return nullptr;
    // The slot read last time goes back to the writers only now.
    m_slots[m_heldPosition & (kSlots - 1)].sequence.store(m_heldPosition + kSlots, std::memory_order_release);
    m_heldPosition = m_readPosition++;
    return &slot.info;
}

void NoteOnOffQueue::Drain()
{
    while (const NoteOnOffInfo* info = Read())
    {
        if (info->message == NoteOnOffInfo::kLoadSample)
        {
            delete[] info->bytes;
            delete info->description;
            delete info->prepared;
        }
    }
}
