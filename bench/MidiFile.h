// A small reader of Standard MIDI Files (formats 0 and 1, ticks per quarter
// note): the channel messages of every track, merged in time order, each
// with its time in seconds after the tempo map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench
{
struct TimedMidi
{
    double seconds;
    unsigned char bytes[3];
    int size; // 1...3
};

// Reads path into events (sorted by time, file order kept for equal times).
// False with a reason in error when the file cannot be read or is not a
// MIDI file this reader understands.
bool ReadMidiFile(const std::string& path, std::vector<TimedMidi>& events, std::string& error);
} // namespace bench
