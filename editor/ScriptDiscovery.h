// Where users put their own MIDI scripts and skins: a per-user and a
// machine-wide support folder, always searched in that order. None of these
// functions keeps state or reports errors: a folder that is missing or cannot
// be read simply contributes nothing.
//
// On Linux the per-user support folder is $XDG_DATA_HOME (default
// ~/.local/share) and the machine-wide one the first entry of $XDG_DATA_DIRS
// (default /usr/local/share).
#pragma once

#include <string>
#include <vector>

namespace VL
{
// Folder-domain codes, as 16-bit signed values.
constexpr short kUserDomain = -32763;  // 0x8005
constexpr short kLocalDomain = -32765; // 0x8003

// The domain's support folder, without creating it; empty when the domain is
// unknown or the folder does not exist.
std::string GetApplicationSupportFolder(short domain);

// Appends the full paths of the domain's scripts: readable files in
// <support>/Velmora/Orvotide/Scripts whose name is at least five characters
// long and ends in ".lua" (case-sensitive). Listing order, not sorted.
void GetScriptsInDomain(std::vector<std::string>& out, short domain);
// The user domain's scripts, then the local domain's (appends).
void GetScripts(std::vector<std::string>& out);

// Appends the names of the domain's skins: the directories in
// <support>/Velmora/Orvotide/Skins, a name longer than ".bundle" that ends in
// it listed without that suffix.
void GetSkinsInDomain(std::vector<std::string>& out, short domain);
// The user domain's skins, then the local domain's (appends).
void GetSkins(std::vector<std::string>& out);

// The directory of the named skin in one domain (the directory name, else
// name + ".bundle"); empty when there is none. Its files take the place of
// the built-in resources of the same name (LoadResource's skinDirectory).
std::string LocateSkinBundle(const std::string& name, short domain);
// The user domain first, then the local domain; empty when neither has it.
std::string LocateSkinBundle(const std::string& name);
} // namespace VL
