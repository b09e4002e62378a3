#include "midi/MidiEvents.h"

int DispatchVstEvents(const VstEvents* events, MidiSink& sink)
{
    if (!events)
        return 1;
    for (VstInt32 i = 0; i < events->numEvents; ++i)
    {
        const VstEvent* event = events->events[i];
        if (!event || event->type != kVstMidiType)
            continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        unsigned char status = static_cast<unsigned char>(midi->midiData[0]);
        unsigned char data1 = static_cast<unsigned char>(midi->midiData[1]) & 0x7F;
        unsigned char data2 = static_cast<unsigned char>(midi->midiData[2]) & 0x7F;
        int channel = status & 0x0F;
        switch (status & 0xF0)
        {
        case 0x80:
            sink.NoteOff(channel, data1, data2);
            break;
        case 0x90:
            if (data2 == 0)
                sink.NoteOff(channel, data1, 0);
            else
                sink.NoteOn(channel, data1, data2);
            break;
        case 0xA0:
            sink.PolyPressure(channel, data1, data2);
            break;
        case 0xB0:
            sink.ControlChange(channel, data1, data2);
            break;
        case 0xC0:
            sink.ProgramChange(channel, data1);
            break;
        case 0xD0:
            sink.ChannelPressure(channel, data1);
            break;
        case 0xE0:
            sink.PitchWheel(channel, data1, data2);
            break;
        default:
            break; // data bytes without a status, system messages
        }
    }
    return 1;
}
