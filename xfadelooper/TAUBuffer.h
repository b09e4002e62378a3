// A growable float array whose data pointer is 16-byte aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

template <typename T> class TAUBuffer
{
public:
    TAUBuffer() = default;
    ~TAUBuffer() { free(m_raw); }
    TAUBuffer(const TAUBuffer&) = delete;
    TAUBuffer& operator=(const TAUBuffer&) = delete;

    // Makes room for n elements. Keeps the memory when it already has that
    // size; otherwise reallocates without clearing. False when memory runs
    // out (the buffer is then empty).
    bool Allocate(size_t n)
    {
        size_t bytes = n * sizeof(T);
        if (m_raw && m_size == bytes)
            return true;
        void* raw = realloc(m_raw, bytes ? bytes : 1);
        if (!raw)
            return Release();
        m_raw = raw;
        if ((reinterpret_cast<uintptr_t>(raw) & 15) != 0)
        {
            raw = realloc(m_raw, bytes + 15);
            if (!raw)
                return Release();
            m_raw = raw;
        }
        uintptr_t address = reinterpret_cast<uintptr_t>(raw);
        uintptr_t misalignment = address & 15;
        m_data = reinterpret_cast<T*>(misalignment ? address + (16 - misalignment) : address);
        m_size = bytes;
        return true;
    }

    bool AllocateClear(size_t n)
    {
        if (!Allocate(n))
            return false;
        Clear();
        return true;
    }

    void Clear()
    {
        if (m_data)
            memset(m_data, 0, m_size);
    }

    // Exchanges the memory of two buffers (no allocation).
    void Swap(TAUBuffer& other)
    {
        void* raw = m_raw;
        T* data = m_data;
        size_t size = m_size;
        m_raw = other.m_raw;
        m_data = other.m_data;
        m_size = other.m_size;
        other.m_raw = raw;
        other.m_data = data;
        other.m_size = size;
    }

    T* Data() const { return m_data; }
    size_t Size() const { return m_size / sizeof(T); }
    T& operator[](size_t i) const { return m_data[i]; }

private:
    bool Release()
    {
        free(m_raw);
        m_raw = nullptr;
        m_data = nullptr;
        m_size = 0;
        return false;
    }

    void* m_raw = nullptr;
    T* m_data = nullptr;
    size_t m_size = 0;
};
