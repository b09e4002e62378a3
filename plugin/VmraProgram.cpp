#include "plugin/VmraProgram.h"

#include <cstdio>
#include <cstring>

namespace
{
uint32_t swap32(uint32_t v)
{
    return __builtin_bswap32(v);
}

void swapInPlace(void* word)
{
    uint32_t v;
    memcpy(&v, word, sizeof(v));
    v = swap32(v);
    memcpy(word, &v, sizeof(v));
}
} // namespace

VmraProgramORVOv1::VmraProgramORVOv1()
{
    memset(&m_chunk, 0, sizeof(m_chunk));
    StampHeader();
}

VmraProgram* VmraProgramORVOv1::Factory()
{
    return new VmraProgramORVOv1();
}

void VmraProgramORVOv1::StampHeader()
{
    m_chunk.magic1 = kMagic1;
    m_chunk.magic2 = kMagic2;
    m_chunk.version = kVersion;
}

void VmraProgramORVOv1::SetName(const char* name)
{
    // Copies at most 32 bytes, zero-filling the rest; the last byte is
    // always the terminator.
    strncpy(m_chunk.name, name ? name : "", sizeof(m_chunk.name));
    m_chunk.name[sizeof(m_chunk.name) - 1] = 0;
}

void VmraProgramORVOv1::SetChunk(void* data, long size)
{
    long n = size < 0 ? 0 : (size < GetChunkSize() ? size : GetChunkSize());
    if (data && n > 0)
        memcpy(&m_chunk, data, static_cast<size_t>(n));
    if (m_chunk.magic1 == swap32(kMagic1) && m_chunk.magic2 == swap32(kMagic2))
        ByteSwap();
    StampHeader();
    m_chunk.name[sizeof(m_chunk.name) - 1] = 0;
    m_chunk.path[sizeof(m_chunk.path) - 1] = 0;
}

void VmraProgramORVOv1::ByteSwap()
{
    m_chunk.magic1 = swap32(m_chunk.magic1);
    m_chunk.magic2 = swap32(m_chunk.magic2);
    m_chunk.version = swap32(m_chunk.version);
    for (float& value : m_chunk.values)
        swapInPlace(&value);
    printf("orvo vst byte swapping chunk\n");
    fflush(stdout);
}
