#include "bench/MidiFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace bench
{
namespace
{
struct Raw
{
    uint64_t tick;
    size_t order;   // position in the file, to keep equal ticks in order
    bool isTempo;
    uint32_t tempo; // microseconds per quarter note, for a tempo change
    unsigned char bytes[3];
    int size;
};

class Reader
{
public:
    Reader(const std::vector<unsigned char>& data, size_t begin, size_t end) : m_data(data), m_pos(begin), m_end(end)
    {
    }
    bool AtEnd() const { return m_pos >= m_end; }
    bool Byte(unsigned char& out)
    {
        if (m_pos >= m_end)
            return false;
        out = m_data[m_pos++];
        return true;
    }
    bool Peek(unsigned char& out) const
    {
        if (m_pos >= m_end)
            return false;
        out = m_data[m_pos];
        return true;
    }
    bool VarLen(uint32_t& out)
    {
        out = 0;
        for (int i = 0; i < 4; ++i)
        {
            unsigned char b;
            if (!Byte(b))
                return false;
            out = (out << 7) | (b & 0x7Fu);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }
    bool Skip(uint32_t n)
    {
        if (m_end - m_pos < n)
            return false;
        m_pos += n;
        return true;
    }

private:
    const std::vector<unsigned char>& m_data;
    size_t m_pos;
    size_t m_end;
};

uint32_t be(const std::vector<unsigned char>& d, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | d[at + static_cast<size_t>(i)];
    return v;
}

// Data bytes that follow a channel status.
int dataBytes(unsigned char status)
{
    unsigned char kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

bool readTrack(Reader r, std::vector<Raw>& out, size_t& order, std::string& error)
{
    uint64_t tick = 0;
    unsigned char running = 0;
    while (!r.AtEnd())
    {
        uint32_t delta;
        unsigned char status;
        if (!r.VarLen(delta) || !r.Peek(status))
            return error = "truncated track event", false;
        tick += delta;
        if (status & 0x80)
            r.Byte(status);
        else if (running)
            status = running;
        else
            return error = "data byte without a running status", false;

        if (status == 0xFF)
        {
            unsigned char type;
            uint32_t length;
            if (!r.Byte(type) || !r.VarLen(length))
                return error = "truncated meta event", false;
            if (type == 0x51 && length == 3)
            {
                unsigned char t[3];
                if (!r.Byte(t[0]) || !r.Byte(t[1]) || !r.Byte(t[2]))
                    return error = "truncated tempo event", false;
                uint32_t tempo = (uint32_t{t[0]} << 16) | (uint32_t{t[1]} << 8) | t[2];
                out.push_back(Raw{tick, order++, true, tempo, {0, 0, 0}, 0});
                continue;
            }
            if (!r.Skip(length))
                return error = "truncated meta event", false;
            if (type == 0x2F)
                return true;
            continue;
        }
        if (status == 0xF0 || status == 0xF7)
        {
            uint32_t length;
            if (!r.VarLen(length) || !r.Skip(length))
                return error = "truncated system exclusive event", false;
            continue;
        }
        if (status >= 0xF0)
            return error = "unexpected system message in a track", false;
        running = status;
        Raw e{tick, order++, false, 0, {status, 0, 0}, 1 + dataBytes(status)};
        for (int i = 1; i < e.size; ++i)
            if (!r.Byte(e.bytes[i]))
                return error = "truncated channel message", false;
        out.push_back(e);
    }
    return true; // a track without an end-of-track event is taken as it is
}
} // namespace

bool ReadMidiFile(const std::string& path, std::vector<TimedMidi>& events, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return error = "cannot open " + path, false;
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (d.size() < 14 || std::string(d.begin(), d.begin() + 4) != "MThd")
        return error = path + " is not a Standard MIDI File", false;
    const uint32_t headerLength = be(d, 4, 4);
    const uint32_t format = be(d, 8, 2);
    const uint32_t tracks = be(d, 10, 2);
    const uint32_t division = be(d, 12, 2);
    if (format > 1)
        return error = "MIDI file format " + std::to_string(format) + " is not supported", false;
    if (division & 0x8000 || division == 0)
        return error = "SMPTE time division is not supported", false;

    std::vector<Raw> raw;
    size_t order = 0;
    size_t at = 8 + static_cast<size_t>(headerLength);
    for (uint32_t t = 0; t < tracks; ++t)
    {
        if (d.size() < at + 8)
            return error = "the file ends before track " + std::to_string(t + 1), false;
        const uint32_t length = be(d, at + 4, 4);
        const size_t begin = at + 8;
        if (std::string(d.begin() + static_cast<long>(at), d.begin() + static_cast<long>(at) + 4) == "MTrk")
        {
            if (d.size() - begin < length)
                return error = "track " + std::to_string(t + 1) + " is truncated", false;
            if (!readTrack(Reader(d, begin, begin + length), raw, order, error))
                return false;
        }
        else
            --t; // an unknown chunk: skipped, not counted as a track
        at = begin + length;
    }
    std::stable_sort(raw.begin(), raw.end(),
                     [](const Raw& a, const Raw& b) { return a.tick != b.tick ? a.tick < b.tick : a.order < b.order; });
    events.clear();
    double seconds = 0;
    uint64_t lastTick = 0;
    double secondsPerTick = 0.5 / division; // 120 beats per minute until told otherwise
    for (const Raw& e : raw)
    {
        seconds += static_cast<double>(e.tick - lastTick) * secondsPerTick;
        lastTick = e.tick;
        if (e.isTempo)
        {
            if (e.tempo > 0)
                secondsPerTick = e.tempo * 1e-6 / division;
            continue;
        }
        TimedMidi m{seconds, {e.bytes[0], e.bytes[1], e.bytes[2]}, e.size};
        events.push_back(m);
    }
    return true;
}
} // namespace bench
