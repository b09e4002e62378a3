// One program (preset): a name, the sample path and the plain values of all
// parameters. The program object's data is the very chunk the host stores.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xfadelooper/ParamInfo.h"

class VmraProgram
{
public:
    virtual ~VmraProgram() = default;
    virtual void SetParameter(int index, float value) = 0;
    virtual float GetParameter(int index) const = 0;
    virtual void SetName(const char* name) = 0;
    virtual const char* GetName() const = 0;
    virtual void* GetChunk() const { return nullptr; }
    virtual long GetChunkSize() const { return 0; }
    virtual void SetChunk(void*, long) {}
    // Storage of the sample path (255 characters and a terminator), or null
    // for a program without one.
    virtual char* GetSamplePath() { return nullptr; }
};

class VmraProgramORVOv1 : public VmraProgram
{
public:
    static constexpr uint32_t kMagic1 = 0x766D7261;  // 'vmra'
    static constexpr uint32_t kMagic2 = 0x6F72766F;  // 'orvo'
    static constexpr uint32_t kVersion = 0x00030104; // 3.1.4
    static constexpr long kNameSize = 32;
    static constexpr long kPathSize = 256;

    // The 652-byte block, in the byte order of the machine that wrote it.
    struct Chunk
    {
        uint32_t magic1;
        uint32_t magic2;
        uint32_t version;
        char name[kNameSize];
        char path[kPathSize];
        float values[kNumParams];
    };

    VmraProgramORVOv1();
    static VmraProgram* Factory();

    // Values are read by the audio thread while other threads write them;
    // each is one 32-bit float, written and read whole.
    void SetParameter(int index, float value) override
    {
        __atomic_store(&m_chunk.values[index], &value, __ATOMIC_RELAXED);
    }
    float GetParameter(int index) const override
    {
        float value;
        __atomic_load(&m_chunk.values[index], &value, __ATOMIC_RELAXED);
        return value;
    }
    void SetName(const char* name) override;
    const char* GetName() const override { return m_chunk.name; }
    void* GetChunk() const override { return const_cast<Chunk*>(&m_chunk); }
    long GetChunkSize() const override { return sizeof(Chunk); }
    void SetChunk(void* data, long size) override;

    // Reverses the byte order of the header words and the values.
    void ByteSwap();

    // The sample path field: the persistent form of the sample path.
    char* GetSamplePath() override { return m_chunk.path; }
    char* Path() { return m_chunk.path; }
    const char* Path() const { return m_chunk.path; }

private:
    void StampHeader();

    Chunk m_chunk;
};

static_assert(sizeof(VmraProgramORVOv1::Chunk) == 652, "chunk layout");
static_assert(offsetof(VmraProgramORVOv1::Chunk, name) == 12, "chunk layout");
static_assert(offsetof(VmraProgramORVOv1::Chunk, path) == 44, "chunk layout");
static_assert(offsetof(VmraProgramORVOv1::Chunk, values) == 300, "chunk layout");
