// Files built into the plug-in (Lua scripts, shaders, images), looked up by
// file name. A skin folder can replace any of them with a file of the same name.
#pragma once

#include <cstddef>
#include <string>

struct EmbeddedResource
{
    const char* name;          // file name, e.g. "midi.lua"
    const unsigned char* data; // size bytes followed by a terminating 0
    size_t size;
};

// Fills contents with the resource called name. When skinDirectory is
// non-null and non-empty and holds a regular file of that name, that file's
// contents are used instead of the built-in ones. Returns false (contents
// unchanged) when neither exists. Names holding '/' never reach into the
// skin folder's subfolders or parents.
bool LoadResource(const char* name, std::string& contents, const char* skinDirectory = nullptr);

// The built-in resource called name, or null.
const EmbeddedResource* FindEmbeddedResource(const char* name);

// The built-in resources, for listing them.
size_t EmbeddedResourceCount();
const EmbeddedResource* EmbeddedResourceAt(size_t index); // null past the end
