// Messages into the audio thread: notes, pedal, all-notes-off and decoded
// sample files. Any number of threads write; only the audio thread reads.
#pragma once

#include <atomic>
#include <cstdint>

#include "xfadelooper/StreamDescription.h"
#include "xfadelooper/TAUBuffer.h"

struct NoteOnOffInfo
{
    enum Message : int32_t
    {
        kNoteOn = 0,
        kNoteOff = 1,
        kAllNotesOff = 2,
        kAllSoundOff = 3,
        kLoadSample = 4,
        kSustain = 5,
    };

    Message message = kNoteOn;
    union
    {
        int note;
        bool down;
        unsigned char* bytes; // owned by the message (array new)
    };
    union
    {
        float velocity;
        uint64_t frames;
    };
    CAStreamBasicDescription* description = nullptr; // owned by the message
    // A play buffer made ready for the decoded sound by the loading thread,
    // so the audio thread never allocates (owned by the message).
    TAUBuffer<float>* prepared = nullptr;

    NoteOnOffInfo() : bytes(nullptr), frames(0) {}
};

// A ring of 64 messages. The reader keeps the slot it was last given until
// its next Read, so at most 63 messages wait unread; one more is refused with
// the overflow line. Writers reserve slots with an atomic counter, so several
// threads may write at once and none of them ever waits for the reader.
class NoteOnOffQueue
{
public:
    static constexpr int kSlots = 64;

    NoteOnOffQueue();
    ~NoteOnOffQueue();
    NoteOnOffQueue(const NoteOnOffQueue&) = delete;
    NoteOnOffQueue& operator=(const NoteOnOffQueue&) = delete;

    bool Write(NoteOnOffInfo::Message message, int note, float velocity);
    bool Write(NoteOnOffInfo::Message message, bool down);
    // Takes ownership of bytes and prepared only when it returns true;
    // always copies the description.
    bool Write(NoteOnOffInfo::Message message, unsigned char* bytes, uint64_t frames,
               const CAStreamBasicDescription& description, TAUBuffer<float>* prepared = nullptr);

    // The next message, or null when none waits. Valid until the next Read.
    const NoteOnOffInfo* Read();

    // Frees the data of messages nobody will read (on destruction).
    void Drain();

private:
    struct Slot
    {
        std::atomic<int64_t> sequence;
        NoteOnOffInfo info;
    };

    // Copies the message into a free slot; false (and the overflow line)
    // when the queue is full.
    bool Post(const NoteOnOffInfo& info);

    Slot m_slots[kSlots];
    std::atomic<int64_t> m_writePosition{0};
    int64_t m_readPosition = 0; // next position to read
    int64_t m_heldPosition = -1; // slot handed out by the last Read
};
