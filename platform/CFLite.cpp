#include "platform/CFLite.h"

#include <cstring>
#include <new>

namespace
{
CFLiteObject* headerOf(CFTypeRef object)
{
    return const_cast<CFLiteObject*>(static_cast<const CFLiteObject*>(object));
}
} // namespace

CFStringRef CFStringCreateWithCString(const char* text)
{
    if (!text)
        return nullptr;
    size_t length = strlen(text);
    void* block = ::operator new(sizeof(__CFString) + length + 1, std::nothrow);
    if (!block)
        return nullptr;
    char* copy = static_cast<char*>(block) + sizeof(__CFString);
    memcpy(copy, text, length + 1);
    return new (block) __CFString{{{1}, 0}, copy};
}

const char* CFStringGetCStringPtr(CFStringRef string)
{
    return string ? string->text : "";
}

bool CFStringGetCString(CFStringRef string, char* buffer, long bufferSize)
{
    if (!buffer || bufferSize <= 0)
        return false;
    const char* text = CFStringGetCStringPtr(string);
    size_t length = strlen(text);
    size_t room = static_cast<size_t>(bufferSize) - 1;
    size_t n = length < room ? length : room;
    memcpy(buffer, text, n);
    buffer[n] = 0;
    return n == length;
}

long CFArrayGetCount(CFArrayRef array)
{
    return array ? array->count : 0;
}

CFStringRef CFArrayGetValueAtIndex(CFArrayRef array, long index)
{
    if (!array || index < 0 || index >= array->count)
        return nullptr;
    return array->items[index];
}

CFTypeRef CFRetain(CFTypeRef object)
{
    if (object && headerOf(object)->refCount.load(std::memory_order_relaxed) >= 0)
        headerOf(object)->refCount.fetch_add(1, std::memory_order_relaxed);
    return object;
}

void CFRelease(CFTypeRef object)
{
    if (!object)
        return;
    CFLiteObject* header = headerOf(object);
    if (header->refCount.load(std::memory_order_relaxed) < 0)
        return;
    if (header->refCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
    {
        // Only strings are ever allocated; arrays are always immortal.
        static_cast<__CFString*>(static_cast<void*>(header))->~__CFString();
        ::operator delete(header);
    }
}
