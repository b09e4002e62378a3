// The keys and values orvo_prefs_writer writes, shared with the tests that check them.
#pragma once

#include <string>

inline std::string PrefsWriterKey(const std::string& prefix, int i)
{
    return prefix + " " + std::to_string(i);
}

inline int PrefsWriterInt(int i)
{
    return i * 7919 - 1000;
}

inline std::string PrefsWriterString(int i)
{
    return "value\t" + std::to_string(i) + "\nwith \\ and =";
}
