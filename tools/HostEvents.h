// What orvo-host plays into a plug-in over a render: MIDI messages at
// points in time (from an inline note list or a Standard MIDI File) and
// parameter changes at points in time, parsed from the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One short MIDI message (note on/off, controller, pitch wheel, ...) at a
// time in seconds from the start of the render.
struct TimedMidi
{
    double seconds = 0.0;
    // Among messages at the same frame, lower ranks go first; equal ranks
    // keep the order they were added in.
    int rank = 0;
    uint8_t bytes[3] = {0, 0, 0};
    int length = 0;
};

// A parameter set to a plain value at a time in seconds.
struct TimedParam
{
    double seconds = 0.0;
    int index = -1;
    float plain = 0.0f;
    float normalised = 0.0f;
};

constexpr int kDefaultNoteVelocity = 100;

// An inline note list: comma-separated NOTE[vVEL]@START:LENGTH items, e.g.
// "60@0:1.5,64v90@0.5:1". NOTE is a MIDI note number 0...127, VEL a velocity
// 1...127 (default kDefaultNoteVelocity), START and LENGTH seconds (START
// >= 0, LENGTH > 0). Blanks around items and fields are allowed. Each item
// gives a note-on on channel 1 at START and its note-off at START+LENGTH;
// at the same instant note-offs go before note-ons, so a note repeated
// back to back restarts. Returns false and a message in *error for
// anything else.
bool ParseNoteList(const std::string& text, std::vector<TimedMidi>* out, std::string* error);

// "NAME@SECONDS=VALUE" (NAME as for --set: full name or index; SECONDS >= 0;
// VALUE plain, in the parameter's unit). Returns false and a message in
// *error when it is malformed or names no parameter.
bool ParseTimedParam(const std::string& text, TimedParam* out, std::string* error);

// The channel messages of a Standard MIDI File (format 0 or 1, all tracks),
// placed in seconds by the file's own tempo map; meta and system exclusive
// events are left out. Returns false and a message in *error when the file
// cannot be read or is not a valid MIDI file.
bool LoadMidiFile(const std::string& path, std::vector<TimedMidi>* out, std::string* error);

// Frame of a time at a sample rate, rounded to the nearest frame.
size_t SecondsToFrame(double seconds, int sampleRate);
