// A small stand-in for the reference-counted strings and arrays the plug-in
// hands between its parts: a string or an array of strings that the receiver
// releases. Objects made by CFLITE_STATIC_STRING or CFArrayCreateStatic are
// immortal: retain and release leave them alone, so constant answers need no
// allocation.
#pragma once

#include <atomic>
#include <cstddef>

struct CFLiteObject
{
    std::atomic<int> refCount; // < 0: immortal
    int kind;                  // 0 string, 1 array
};

struct __CFString
{
    CFLiteObject header;
    const char* text;
};

struct __CFArray
{
    CFLiteObject header;
    long count;
    const __CFString* const* items;
};

typedef const __CFString* CFStringRef;
typedef const __CFArray* CFArrayRef;
typedef const void* CFTypeRef;

// An immortal string for a literal, usable at namespace scope.
#define CFLITE_STATIC_STRING(name, literal) const __CFString name = {{{-1}, 0}, literal}

// Allocates a string holding a copy of text (UTF-8); the caller releases it.
CFStringRef CFStringCreateWithCString(const char* text);
// The string's UTF-8 text; valid as long as the string lives.
const char* CFStringGetCStringPtr(CFStringRef string);
// Copies the text into buffer (always terminated); false when it did not fit.
bool CFStringGetCString(CFStringRef string, char* buffer, long bufferSize);

// An immortal array over immortal strings.
constexpr __CFArray CFArrayCreateStatic(const __CFString* const* items, long count)
{
    return __CFArray{{{-1}, 1}, count, items};
}
long CFArrayGetCount(CFArrayRef array);
// The item at index, or null when index is outside the array.
CFStringRef CFArrayGetValueAtIndex(CFArrayRef array, long index);

CFTypeRef CFRetain(CFTypeRef object);
void CFRelease(CFTypeRef object);
