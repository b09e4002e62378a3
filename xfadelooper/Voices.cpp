// MIDI input and the voices: the producer side queues messages from any
// thread; the audio thread alone starts, stops and steals voices.
#include <cmath>

#include "plugin/VmraAuBase.h"
#include "xfadelooper/ParamInfo.h"
#include "xfadelooper/VmraXFadeLooper.h"

// ---- producers ------------------------------------------------------------------

void VmraXFadeLooper::HandleNoteOn(int, unsigned char note, unsigned char velocity)
{
    m_queue.Write(NoteOnOffInfo::kNoteOn, note & 0x7F, static_cast<float>(velocity) * (1.0f / 127.0f));
}

void VmraXFadeLooper::HandleNoteOff(int, unsigned char note, unsigned char)
{
    m_queue.Write(NoteOnOffInfo::kNoteOff, note & 0x7F, 0.0f);
}

void VmraXFadeLooper::HandleAllNotesOff(int)
{
    m_queue.Write(NoteOnOffInfo::kAllNotesOff, 0, 0.0f);
}

void VmraXFadeLooper::HandleAllSoundOff(int)
{
    m_queue.Write(NoteOnOffInfo::kAllSoundOff, 0, 0.0f);
}

void VmraXFadeLooper::HandleControlChange(int channel, unsigned char controller, unsigned char value)
{
    if (controller == 64)
        m_queue.Write(NoteOnOffInfo::kSustain, value > 63);
    else if (controller == 123 || controller == 126)
        HandleAllNotesOff(channel);
}

void VmraXFadeLooper::HandlePitchWheel(int, unsigned char lsb, unsigned char msb)
{
    float wheel = static_cast<float>((msb & 0x7F) * 128 + (lsb & 0x7F) - 8192);
    m_pitchBend.store(Param(kParam_PitchWheelRange) * wheel / 8192.0f, std::memory_order_relaxed);
}

// ---- the audio thread ----------------------------------------------------------------

void VmraXFadeLooper::ApplyQueuedMessages()
{
    while (const NoteOnOffInfo* info = m_queue.Read())
    {
        switch (info->message)
        {
        case NoteOnOffInfo::kNoteOn:
            DoStartNote(info->note, info->velocity, -1);
            break;
        case NoteOnOffInfo::kNoteOff:
            DoStopNote(info->note, -1);
            break;
        case NoteOnOffInfo::kAllNotesOff:
            DoAllNotesOff();
            break;
        case NoteOnOffInfo::kAllSoundOff:
            DoAllSoundOff();
            break;
        case NoteOnOffInfo::kLoadSample:
            DoLoadSample(info);
            break;
        case NoteOnOffInfo::kSustain:
            DoSustain(info->down);
            break;
        }
    }
}

void VmraXFadeLooper::StartEnvelopes(Note& voice)
{
    float sr = HostSampleRate();
    Note::Envelope& amp = voice.ampEnv;
    amp.peak = voice.velocity;
    amp.stage = Note::Envelope::kAttack;
    amp.sustainStage = Note::Envelope::kSustain;
    amp.level = 0;
    amp.stages[Note::Envelope::kAttack].Setup(Param(kParam_Attack), Param(kParam_AttackShape), 0, amp.peak, sr);
    amp.stages[Note::Envelope::kDecay].Setup(Param(kParam_Decay), Param(kParam_DecayShape), amp.peak,
                                             amp.peak * Param(kParam_Sustain), sr);
    Note::Envelope& filter = voice.filterEnv;
    filter.peak = 1;
    filter.stage = Note::Envelope::kAttack;
    filter.sustainStage = Note::Envelope::kSustain;
    filter.level = 0;
    filter.stages[Note::Envelope::kAttack].Setup(Param(kParam_FilterEnvAttack), Param(kParam_FilterEnvAttackShape), 0,
                                                 1, sr);
    filter.stages[Note::Envelope::kDecay].Setup(Param(kParam_FilterEnvDecay), Param(kParam_FilterEnvDecayShape), 1,
                                                Param(kParam_FilterEnvSustain), sr);
}

void VmraXFadeLooper::DoStartNote(int note, float velocity, int drone)
{
    if (m_bufferFrames == 0)
        return;
    note &= 0x7F;
    for (int i = 0; i < m_numNotes; ++i)
        if (m_notes[i].note == note && m_notes[i].drone == drone)
            DoStopNote(note, drone);

    bool found = false;
    for (int i = 0; i < m_numHeldNotes; ++i)
        if (m_heldNotes[i] == note)
            found = true;
    if (!found)
    {
        if (m_numHeldNotes == 0)
        {
            // First key of a phrase: shared LFOs with Retrigger start over.
            Note& shared = m_notes[0];
            if (Param(kParam_FilterLFORetrigger) != 0 && Param(kParam_FilterLFOMono) != 0)
                shared.filterLfoPhase = 0;
            if (Param(kParam_PitchLFORetrigger) != 0 && Param(kParam_PitchLFOMono) != 0)
                shared.pitchLfoPhase = 0;
            if (Param(kParam_PulseWidthLFORetrigger) != 0 && Param(kParam_PulseWidthLFOMono) != 0)
                shared.pwmLfoPhase = 0;
            if (Param(kParam_SyncDetuneLFORetrigger) != 0)
                m_syncLfoPhase = 0;
            m_syncLfoRamp = 0;
        }
        if (drone < 0 && m_numHeldNotes < 128)
            m_heldNotes[m_numHeldNotes++] = static_cast<signed char>(note);
    }

    int slot;
    if (m_numNotes < kMaxNotes)
        slot = m_numNotes++;
    else
    {
        // Steal the quietest played voice; drones are never stolen.
        slot = 0;
        float quietest = 1000000.0f;
        for (int i = 0; i < m_numNotes; ++i)
            if (m_notes[i].drone < 0 && m_notes[i].ampEnv.level < quietest)
            {
                quietest = m_notes[i].ampEnv.level;
                slot = i;
            }
    }

    double start = static_cast<double>(Param(kParam_StartOffset) * m_bufferFrames);
    double position = start;
    switch (static_cast<int>(Param(kParam_PlayPositionMemory)))
    {
    case 1:
        position = m_globalPlayPos;
        break;
    case 2:
        position = m_notePlayPos[note];
        break;
    case 3:
        position = note == m_lastNote ? m_globalPlayPos : start;
        break;
    case 4:
        position = note != m_lastNote ? m_globalPlayPos : start;
        break;
    default:
        break;
    }
    if (position < 0)
        position = start;
    if (!(position >= 0))
        position = 0;
    if (position >= m_bufferFrames)
        position = std::fmod(position, static_cast<double>(m_bufferFrames));
    m_lastNote = note;

    Note& voice = m_notes[slot];
    voice.note = note;
    voice.position = position;
    voice.partnerPosition = position;
    voice.noLoopFade = 0;
    voice.velocity = velocity;
    for (float& state : voice.filterState)
        state = 0;
    voice.direction = static_cast<int>(Param(kParam_LoopMode)) == 1 ? -1.0f : 1.0f;
    voice.danger = false;
    voice.refTonePhase = 0;
    voice.filterLfoRamp = voice.pitchLfoRamp = voice.pwmLfoRamp = 0;
    voice.frequency = std::exp2((static_cast<float>(note) - 69.0f) / 12.0f) * 440.0f / HostSampleRate();
    voice.drone = drone;
    voice.blockRemaining = 0;
    voice.blockOffset = 0;
    if (!found)
    {
        if (Param(kParam_FilterLFORetrigger) != 0 && Param(kParam_FilterLFOMono) == 0)
            voice.filterLfoPhase = 0;
        if (Param(kParam_PitchLFORetrigger) != 0 && Param(kParam_PitchLFOMono) == 0)
            voice.pitchLfoPhase = 0;
        if (Param(kParam_PulseWidthLFORetrigger) != 0 && Param(kParam_PulseWidthLFOMono) == 0)
            voice.pwmLfoPhase = 0;
    }
    StartEnvelopes(voice);
}

void VmraXFadeLooper::ReleaseVoice(Note& voice)
{
    float sr = HostSampleRate();
    Note::Envelope& amp = voice.ampEnv;
    amp.stage = amp.sustainStage - 1;
    amp.stages[amp.stage].Setup(Param(kParam_Release), Param(kParam_ReleaseShape), amp.level, 0, sr);
    Note::Envelope& filter = voice.filterEnv;
    filter.stage = filter.sustainStage - 1;
    filter.stages[filter.stage].Setup(Param(kParam_FilterEnvRelease), Param(kParam_FilterEnvReleaseShape),
                                      filter.level, 0, sr, 5.0f);
}

void VmraXFadeLooper::DoStopNote(int note, int drone)
{
    if (drone < 0)
    {
        for (int i = 0; i < m_numHeldNotes; ++i)
            if (m_heldNotes[i] == note)
            {
                m_heldNotes[i] = m_heldNotes[--m_numHeldNotes];
                break;
            }
        if (m_sustain)
            return;
    }
    for (int i = 0; i < m_numNotes; ++i)
    {
        Note& voice = m_notes[i];
        if (voice.note == note && voice.drone == drone && voice.ampEnv.stage >= voice.ampEnv.sustainStage)
            ReleaseVoice(voice);
    }
}

void VmraXFadeLooper::DoSustain(bool down)
{
    if (down == m_sustain)
        return;
    m_sustain = down;
    if (down)
        return;
    for (int i = 0; i < m_numNotes; ++i)
    {
        const Note& voice = m_notes[i];
        if (voice.drone >= 0)
            continue;
        bool held = false;
        for (int h = 0; h < m_numHeldNotes; ++h)
            if (m_heldNotes[h] == voice.note)
                held = true;
        if (!held)
            DoStopNote(voice.note, -1);
    }
}

void VmraXFadeLooper::DoAllNotesOff()
{
    for (int i = 0; i < m_numNotes; ++i)
    {
        int drone = m_notes[i].drone;
        DoStopNote(m_notes[i].note, drone);
        if (drone >= 0)
            m_droneNotes[drone] = -1;
    }
}

void VmraXFadeLooper::DoAllSoundOff()
{
    m_numNotes = 0;
    m_numHeldNotes = 0;
    m_sustain = false;
}

void VmraXFadeLooper::UpdateDrones()
{
    for (int i = 0; i < 3; ++i)
    {
        bool on = Param(kParam_Drone0OnOff + 3 * i) != 0;
        if (on)
        {
            int n = static_cast<int>(Param(kParam_Drone0Note + 3 * i)) & 0x7F;
            if (n != m_droneNotes[i])
            {
                if (m_droneNotes[i] < 0)
                    DoStartNote(n, 1.0f, i);
                else
                    for (int v = 0; v < m_numNotes; ++v)
                        if (m_notes[v].drone == i)
                        {
                            m_notes[v].note = n;
                            m_notes[v].frequency =
                                std::exp2((static_cast<float>(n) - 69.0f) / 12.0f) * 440.0f / HostSampleRate();
                            break;
                        }
                m_droneNotes[i] = n;
            }
        }
        else if (m_droneNotes[i] >= 0)
        {
            DoStopNote(m_droneNotes[i], i);
            m_droneNotes[i] = -1;
        }
        if (m_droneNotes[i] >= 0)
            for (int v = 0; v < m_numNotes; ++v)
                if (m_notes[v].drone == i)
                {
                    m_notes[v].droneVolume = Param(kParam_Drone0Volume + 3 * i);
                    break;
                }
    }
}

void VmraXFadeLooper::RemoveFinishedVoices()
{
    for (int i = 0; i < m_numNotes;)
    {
        if (m_notes[i].ampEnv.stage == Note::Envelope::kFinished)
            m_notes[i] = m_notes[--m_numNotes];
        else
            ++i;
    }
}
