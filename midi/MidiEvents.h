// Decoding of the host's VST event blocks into MIDI channel messages.
#pragma once

#include "vst/VstAbi.h"

// What the decoded messages are handed to.
class MidiSink
{
public:
    virtual ~MidiSink() = default;
    virtual void NoteOn(int channel, unsigned char note, unsigned char velocity) = 0;
    virtual void NoteOff(int channel, unsigned char note, unsigned char velocity) = 0;
    virtual void ControlChange(int channel, unsigned char controller, unsigned char value) = 0;
    virtual void PitchWheel(int channel, unsigned char lsb, unsigned char msb) = 0;
    virtual void ProgramChange(int, unsigned char) {}
    virtual void ChannelPressure(int, unsigned char) {}
    virtual void PolyPressure(int, unsigned char, unsigned char) {}
};

// Hands every MIDI event of the block to the sink in order. A note-on with
// velocity 0 is a note-off. Events that are not MIDI (SysEx and others),
// null entries and bytes that are not a channel status are skipped. Returns
// 1 (the host may send more).
int DispatchVstEvents(const VstEvents* events, MidiSink& sink);
