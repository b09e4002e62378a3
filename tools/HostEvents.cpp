#include "tools/HostEvents.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tools/ParamLookup.h"

namespace
{
std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A whole decimal number, blanks around it allowed; finite only.
bool parseNumber(const std::string& text, double* value)
{
    const std::string t = trimmed(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

// A whole decimal integer in lo...hi.
bool parseInteger(const std::string& text, long lo, long hi, long* value)
{
    const std::string t = trimmed(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = strtol(t.c_str(), &end, 10);
    if (end != t.c_str() + t.size() || errno == ERANGE || v < lo || v > hi)
        return false;
    *value = v;
    return true;
}

bool parseNoteItem(const std::string& item, std::vector<TimedMidi>* out, std::string* error)
{
    const std::string what = "note \"" + item + "\": ";
    const size_t at = item.find('@');
    const size_t colon = item.find(':', at == std::string::npos ? 0 : at);
    if (at == std::string::npos || colon == std::string::npos)
    {
        *error = what + "expected NOTE[vVEL]@START:LENGTH";
        return false;
    }
    std::string noteText = item.substr(0, at);
    long velocity = kDefaultNoteVelocity;
    const size_t v = noteText.find_first_of("vV");
    if (v != std::string::npos)
    {
        if (!parseInteger(noteText.substr(v + 1), 1, 127, &velocity))
        {
            *error = what + "velocity must be a whole number 1...127";
            return false;
        }
        noteText = noteText.substr(0, v);
    }
    long note = 0;
    if (!parseInteger(noteText, 0, 127, &note))
    {
        *error = what + "note must be a MIDI note number 0...127";
        return false;
    }
    double start = 0.0;
    if (!parseNumber(item.substr(at + 1, colon - at - 1), &start) || start < 0.0)
    {
        *error = what + "start must be a number of seconds >= 0";
        return false;
    }
    double length = 0.0;
    if (!parseNumber(item.substr(colon + 1), &length) || length <= 0.0)
    {
        *error = what + "length must be a number of seconds > 0";
        return false;
    }
    TimedMidi on;
    on.seconds = start;
    on.rank = 1;
    on.bytes[0] = 0x90;
    on.bytes[1] = static_cast<uint8_t>(note);
    on.bytes[2] = static_cast<uint8_t>(velocity);
    on.length = 3;
    TimedMidi off = on;
    off.seconds = start + length;
    off.rank = 0;
    off.bytes[0] = 0x80;
    off.bytes[2] = 0;
    out->push_back(on);
    out->push_back(off);
    return true;
}
} // namespace

bool ParseNoteList(const std::string& text, std::vector<TimedMidi>* out, std::string* error)
{
    std::vector<TimedMidi> events;
    size_t from = 0;
    while (true)
    {
        const size_t comma = text.find(',', from);
        const std::string item = trimmed(text.substr(from, comma == std::string::npos ? std::string::npos
                                                                                      : comma - from));
        if (item.empty())
        {
            *error = "empty item in note list \"" + text + "\"";
            return false;
        }
        if (!parseNoteItem(item, &events, error))
            return false;
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    out->insert(out->end(), events.begin(), events.end());
    return true;
}

bool ParseTimedParam(const std::string& text, TimedParam* out, std::string* error)
{
    const size_t equals = text.find('=');
    const size_t at = equals == std::string::npos ? std::string::npos : text.rfind('@', equals);
    if (at == std::string::npos)
    {
        *error = "expected NAME@SECONDS=VALUE";
        return false;
    }
    double seconds = 0.0;
    if (!parseNumber(text.substr(at + 1, equals - at - 1), &seconds) || seconds < 0.0)
    {
        *error = "time must be a number of seconds >= 0";
        return false;
    }
    ParamAssignment assignment;
    if (!ParseParamAssignment(text.substr(0, at) + text.substr(equals), &assignment, error))
        return false;
    out->seconds = seconds;
    out->index = assignment.index;
    out->plain = assignment.plain;
    out->normalised = assignment.normalised;
    return true;
}

size_t SecondsToFrame(double seconds, int sampleRate)
{
    const double frame = std::round(seconds * sampleRate);
    return frame <= 0.0 ? 0 : frame >= 1.8e19 ? SIZE_MAX : static_cast<size_t>(frame);
}
