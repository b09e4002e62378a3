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

NoteOnOffQueue::Slot* NoteOnOffQueue::Reserve(int64_t* position)
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
                *position = pos;
                return &slot;
            }
        }
        else if (sequence < pos)
        {
            fprintf(stderr, "VmraXFadeLooper::NoteOnOffQueue::Write() overflow\n");
            return nullptr;
        }
        else
            pos = m_writePosition.load(std::memory_order_relaxed);
    }
}

void NoteOnOffQueue::Publish(Slot* slot, int64_t position)
{
    slot->sequence.store(position + 1, std::memory_order_release);
}

bool NoteOnOffQueue::Write(NoteOnOffInfo::Message message, int note, float velocity)
{
    int64_t position;
    Slot* slot = Reserve(&position);
    if (!slot)
        return false;
    slot->info.message = message;
    slot->info.note = note;
    slot->info.velocity = velocity;
    slot->info.description = nullptr;
    slot->info.prepared = nullptr;
    Publish(slot, position);
    return true;
}

bool NoteOnOffQueue::Write(NoteOnOffInfo::Message message, bool down)
{
    int64_t position;
    Slot* slot = Reserve(&position);
    if (!slot)
        return false;
    slot->info.message = message;
    slot->info.bytes = nullptr;
    slot->info.down = down;
    slot->info.frames = 0;
    slot->info.description = nullptr;
    slot->info.prepared = nullptr;
    Publish(slot, position);
    return true;
}

bool NoteOnOffQueue::Write(NoteOnOffInfo::Message message, unsigned char* bytes, uint64_t frames,
                           const CAStreamBasicDescription& description, TAUBuffer<float>* prepared)
{
    auto* copy = new (std::nothrow) CAStreamBasicDescription(description);
    if (!copy)
        return false;
    int64_t position;
    Slot* slot = Reserve(&position);
    if (!slot)
    {
        delete copy;
        return false;
    }
    slot->info.message = message;
    slot->info.bytes = bytes;
    slot->info.frames = frames;
    slot->info.description = copy;
    slot->info.prepared = prepared;
    Publish(slot, position);
    return true;
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
