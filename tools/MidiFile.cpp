// Standard MIDI Files through libsmf, which also turns the file's ticks
// into seconds along its tempo changes.
// smf.h includes GLib inside its extern "C" block; GLib has to come first.
#include <glib.h>
#include <smf.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/HostEvents.h"

namespace
{
// libsmf reports what is wrong with a file through GLib's log; the first
// message becomes part of ours instead of going to stderr in GLib's format.
struct GlibMessages
{
    GlibMessages()
    {
        m_previous = g_log_set_default_handler(&GlibMessages::collect, this);
    }
    ~GlibMessages() { g_log_set_default_handler(m_previous, nullptr); }
    GlibMessages(const GlibMessages&) = delete;
    GlibMessages& operator=(const GlibMessages&) = delete;

    std::string first;

private:
    static void collect(const gchar*, GLogLevelFlags, const gchar* message, gpointer self)
    {
        std::string& first = static_cast<GlibMessages*>(self)->first;
        if (first.empty() && message)
            first = message;
    }
    GLogFunc m_previous = nullptr;
};
uint32_t bigEndian(const std::vector<uint8_t>& bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[at + static_cast<size_t>(i)];
    return value;
}

// A variable-length quantity at *at, no further than end.
bool readVariableLength(const std::vector<uint8_t>& bytes, size_t* at, size_t end, uint32_t* value)
{
    *value = 0;
    for (int i = 0; i < 4; ++i)
    {
        if (*at >= end)
            return false;
        const uint8_t b = bytes[(*at)++];
        *value = (*value << 7) | (b & 0x7F);
        if (!(b & 0x80))
            return true;
    }
    return false;
}

// Walks the events of one track without interpreting them: every event
// has to lie inside the track.
bool checkTrack(const std::vector<uint8_t>& bytes, size_t at, size_t end, std::string* error)
{
    uint8_t running = 0;
    while (at < end)
    {
        uint32_t delta = 0;
        if (!readVariableLength(bytes, &at, end, &delta) || at >= end)
        {
            *error = "a track ends inside an event";
            return false;
        }
        uint8_t status = bytes[at];
        if (status & 0x80)
            ++at;
        else if (running)
            status = running;
        else
        {
            *error = "a track starts with running status";
            return false;
        }
        size_t length = 0;
        if (status == 0xFF || status == 0xF0 || status == 0xF7)
        {
            if (status == 0xFF && at++ >= end)
            {
                *error = "a track ends inside a meta event";
                return false;
            }
            uint32_t size = 0;
            if (!readVariableLength(bytes, &at, end, &size))
            {
                *error = "a track ends inside an event's length";
                return false;
            }
            length = size;
            running = 0;
        }
        else if (status >= 0xF0)
        {
            *error = "a track holds a system message outside a system exclusive event";
            return false;
        }
        else
        {
            length = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
            running = status;
        }
        if (length > end - at)
        {
            *error = "a track ends inside an event";
            return false;
        }
        at += length;
    }
    return true;
}

// The chunk layout of a Standard MIDI File, checked before libsmf sees it:
// libsmf stops the program on some damaged files instead of refusing them.
bool checkStructure(const std::vector<uint8_t>& bytes, std::string* error)
{
    if (bytes.size() < 14 || memcmp(bytes.data(), "MThd", 4) != 0 || bigEndian(bytes, 4, 4) < 6)
    {
        *error = "no MThd header";
        return false;
    }
    const uint32_t format = bigEndian(bytes, 8, 2);
    const uint32_t tracks = bigEndian(bytes, 10, 2);
    if (format > 1)
    {
        *error = "format " + std::to_string(format) + " is not supported (only 0 and 1)";
        return false;
    }
    if (tracks == 0)
    {
        *error = "no tracks";
        return false;
    }
    size_t at = 8 + bigEndian(bytes, 4, 4);
    uint32_t found = 0;
    while (found < tracks)
    {
        if (at > bytes.size() || bytes.size() - at < 8)
        {
            *error = "the header announces " + std::to_string(tracks) + " tracks, the file holds " +
                     std::to_string(found);
            return false;
        }
        const size_t size = bigEndian(bytes, at + 4, 4);
        const bool isTrack = memcmp(bytes.data() + at, "MTrk", 4) == 0;
        at += 8;
        if (size > bytes.size() - at)
        {
            *error = "a chunk runs past the end of the file";
            return false;
        }
        if (isTrack)
        {
            if (!checkTrack(bytes, at, at + size, error))
                return false;
            ++found;
        }
        at += size;
    }
    return true;
}
} // namespace

bool LoadMidiFile(const std::string& path, std::vector<TimedMidi>* out, std::string* error)
{
    // Read here first so a missing or unreadable file is reported with the
    // system's reason.
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    bool readable = file != nullptr;
    if (file)
    {
        uint8_t buffer[65536];
        size_t got = 0;
        while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        readable = !ferror(file);
        const int why = errno;
        fclose(file);
        errno = why;
    }
    if (!readable)
    {
        *error = "cannot read MIDI file " + path + ": " + strerror(errno);
        return false;
    }
    std::string problem;
    if (!checkStructure(bytes, &problem))
    {
        *error = path + " is not a valid Standard MIDI File: " + problem;
        return false;
    }

    GlibMessages messages;
    smf_t* smf = smf_load(path.c_str());
    if (!smf)
    {
        *error = path + " is not a valid Standard MIDI File" + (messages.first.empty() ? "" : ": " + messages.first);
        return false;
    }
    std::vector<TimedMidi> events;
    smf_event_t* event = nullptr;
    while ((event = smf_get_next_event(smf)) != nullptr)
    {
        if (smf_event_is_metadata(event) || event->midi_buffer_length < 1)
            continue;
        const uint8_t status = event->midi_buffer[0];
        // Channel messages only: note off/on, key and channel pressure,
        // controllers, program change, pitch wheel.
        if (status < 0x80 || status >= 0xF0)
            continue;
        const int expected = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
        if (event->midi_buffer_length < expected)
            continue;
        TimedMidi m;
        m.seconds = event->time_seconds;
        m.length = expected;
        for (int i = 0; i < expected; ++i)
            m.bytes[i] = event->midi_buffer[i];
        events.push_back(m);
    }
    smf_delete(smf);
    out->insert(out->end(), events.begin(), events.end());
    return true;
}
