// Writes preferences from a process of its own, for the preferences tests:
//
//     orvo_prefs_writer int|string <prefix> <count>
//
// waits for one byte on standard input (so that the test can start several
// writers at the same moment), then writes keys "<prefix> 0" .. "<prefix>
// <count-1>" one by one with the values PrefsWriterValue gives.

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Preferences.h"
#include "tests/platform/PrefsWriterValues.h"

int main(int argc, char** argv)
{
    if (argc != 4 || (strcmp(argv[1], "int") != 0 && strcmp(argv[1], "string") != 0))
        return 2;
    const bool integers = strcmp(argv[1], "int") == 0;
    const std::string prefix = argv[2];
    const int count = atoi(argv[3]);

    char go;
    if (read(STDIN_FILENO, &go, 1) != 1)
        return 3;
    for (int i = 0; i < count; ++i)
    {
        const std::string key = PrefsWriterKey(prefix, i);
        if (integers)
            SetPrefInt(key.c_str(), PrefsWriterInt(i));
        else
            SetPrefString(key.c_str(), PrefsWriterString(i));
    }
    return 0;
}
