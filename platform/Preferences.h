// The per-user preferences, shared by every instance in every process.
//
// They live in one text file (see PreferencesFilePath). Each value keeps the
// type it was written with: an integer read as a string, or a string read as
// an integer, is treated as missing. Every read goes to the file, so a value
// written by another process is seen at once. A missing, unreadable or
// damaged file reads as empty; lines that cannot be understood are skipped.
// Failures to write are silent. All functions may be called from any thread.
#pragma once

#include <string>

// The value stored under key as an integer, otherwise defaultValue.
int GetPrefInt(const char* key, int defaultValue);
// Stores value under key as an integer, at once.
void SetPrefInt(const char* key, int value);

// When key holds a string: sets value to its first 1023 bytes at most and
// returns true. Otherwise leaves value alone and returns false.
bool GetPrefString(const char* key, std::string& value);
// Stores value (kept whole) under key as a string, at once.
void SetPrefString(const char* key, const std::string& value);

// $XDG_CONFIG_HOME/velmora/com.velmora.Orvotide.conf, where XDG_CONFIG_HOME
// defaults to $HOME/.config; the environment is read at each call.
std::string PreferencesFilePath();
