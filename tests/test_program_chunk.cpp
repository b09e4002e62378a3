// The program object and its 652-byte chunk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "plugin/VmraProgram.h"

namespace
{
std::vector<unsigned char> bytesOf(const VmraProgram& p)
{
    auto* data = static_cast<const unsigned char*>(p.GetChunk());
    return std::vector<unsigned char>(data, data + p.GetChunkSize());
}

uint32_t wordAt(const std::vector<unsigned char>& bytes, size_t offset)
{
    uint32_t v;
    memcpy(&v, bytes.data() + offset, 4);
    return v;
}

// A program with every field set to something recognisable.
std::unique_ptr<VmraProgramORVOv1> filledProgram()
{
    auto p = std::make_unique<VmraProgramORVOv1>();
    for (int i = 0; i < kNumParams; ++i)
        p->SetParameter(i, static_cast<float>(i) * 1.25f - 7.0f);
    p->SetName("Glass Pad");
    strcpy(p->Path(), "/home/user/samples/glass.aiff");
    return p;
}

// The same chunk as a machine of the other byte order writes it.
std::vector<unsigned char> byteSwapped(const std::vector<unsigned char>& bytes)
{
    std::vector<unsigned char> swapped = bytes;
    auto swapWord = [&](size_t offset) { std::reverse(swapped.begin() + static_cast<long>(offset),
                                                      swapped.begin() + static_cast<long>(offset) + 4); };
    for (size_t offset : {0u, 4u, 8u})
        swapWord(offset);
    for (size_t i = 0; i < kNumParams; ++i)
        swapWord(300 + 4 * i);
    return swapped;
}
} // namespace

TEST(ProgramChunk, FreshProgramLayout)
{
    VmraProgramORVOv1 p;
    std::vector<unsigned char> bytes = bytesOf(p);
    ASSERT_EQ(bytes.size(), 652u);
    EXPECT_EQ(wordAt(bytes, 0), 0x766D7261u);
    EXPECT_EQ(wordAt(bytes, 4), 0x6F72766Fu);
    EXPECT_EQ(wordAt(bytes, 8), 0x00030104u);
    EXPECT_STREQ(p.GetName(), "");
    EXPECT_STREQ(p.Path(), "");
    p.SetParameter(87, 12.5f);
    float stored;
    memcpy(&stored, static_cast<const char*>(p.GetChunk()) + 300 + 4 * 87, 4);
    EXPECT_EQ(stored, 12.5f);
}

TEST(ProgramChunk, NameIsCutTo31Characters)
{
    VmraProgramORVOv1 p;
    p.SetName("An extremely long program name that does not fit");
    EXPECT_EQ(strlen(p.GetName()), 31u);
    EXPECT_EQ(std::string(p.GetName()), std::string("An extremely long program name that does not fit").substr(0, 31));
    p.SetName("Short");
    std::vector<unsigned char> bytes = bytesOf(p);
    for (size_t i = 12 + 5; i < 44; ++i)
        EXPECT_EQ(bytes[i], 0) << "name field not zero-filled at " << i;
}

TEST(ProgramChunk, SaveThenLoadIsByteIdentical)
{
    auto source = filledProgram();
    std::vector<unsigned char> saved = bytesOf(*source);
    VmraProgramORVOv1 target;
    target.SetChunk(saved.data(), static_cast<long>(saved.size()));
    EXPECT_EQ(bytesOf(target), saved);
    EXPECT_STREQ(target.GetName(), "Glass Pad");
    EXPECT_STREQ(target.Path(), "/home/user/samples/glass.aiff");
}

TEST(ProgramChunk, ByteSwappedChunkLoadsWithCorrectValues)
{
    auto source = filledProgram();
    std::vector<unsigned char> saved = bytesOf(*source);
    std::vector<unsigned char> foreign = byteSwapped(saved);
    VmraProgramORVOv1 target;
    testing::internal::CaptureStdout();
    target.SetChunk(foreign.data(), static_cast<long>(foreign.size()));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "orvo vst byte swapping chunk\n");
    EXPECT_EQ(bytesOf(target), saved);
    for (int i = 0; i < kNumParams; ++i)
        EXPECT_EQ(target.GetParameter(i), source->GetParameter(i)) << i;
}

TEST(ProgramChunk, ShortZeroAndOverlongBlocks)
{
    auto p = filledProgram();
    std::vector<unsigned char> before = bytesOf(*p);

    // Zero length (and a null block) changes nothing but the header and the
    // terminators.
    p->SetChunk(nullptr, 0);
    EXPECT_EQ(bytesOf(*p), before);
    p->SetChunk(nullptr, 652);
    EXPECT_EQ(bytesOf(*p), before);
    p->SetChunk(before.data(), -5);
    EXPECT_EQ(bytesOf(*p), before);

    // A short block replaces only its own length.
    VmraProgramORVOv1 other;
    other.SetName("Other");
    std::vector<unsigned char> otherBytes = bytesOf(other);
    p->SetChunk(otherBytes.data(), 44);
    EXPECT_STREQ(p->GetName(), "Other");
    EXPECT_STREQ(p->Path(), "/home/user/samples/glass.aiff");
    EXPECT_EQ(memcmp(static_cast<char*>(p->GetChunk()) + 44, before.data() + 44, 652 - 44), 0);

    // A longer block is taken up to 652 bytes.
    std::vector<unsigned char> longer = before;
    longer.resize(2000, 0xEE);
    VmraProgramORVOv1 target;
    target.SetChunk(longer.data(), static_cast<long>(longer.size()));
    EXPECT_EQ(bytesOf(target), before);
}

TEST(ProgramChunk, ForeignMagicIsTakenOverWithNewHeader)
{
    auto source = filledProgram();
    std::vector<unsigned char> bytes = bytesOf(*source);
    const char foreign[12] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0, 0, 0, 9};
    memcpy(bytes.data(), foreign, sizeof(foreign));
    // Unterminated name and path.
    memset(bytes.data() + 12, 'n', 32);
    memset(bytes.data() + 44, 'p', 256);
    VmraProgramORVOv1 target;
    testing::internal::CaptureStdout();
    target.SetChunk(bytes.data(), static_cast<long>(bytes.size()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    std::vector<unsigned char> loaded = bytesOf(target);
    EXPECT_EQ(wordAt(loaded, 0), 0x766D7261u);
    EXPECT_EQ(wordAt(loaded, 4), 0x6F72766Fu);
    EXPECT_EQ(wordAt(loaded, 8), 0x00030104u);
    EXPECT_EQ(strlen(target.GetName()), 31u);
    EXPECT_EQ(strlen(target.Path()), 255u);
    for (int i = 0; i < kNumParams; ++i)
        EXPECT_EQ(target.GetParameter(i), source->GetParameter(i)) << i;
}
