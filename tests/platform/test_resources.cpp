// Runs against a table made from the files in tests/platform/resources/.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "platform/Resources.h"
#include "tests/platform/ScratchDir.h"

namespace
{
const char* const kEmbedded[] = {"greeting.txt", "bytes.bin", "empty.txt"};

std::string sourceFile(const std::string& name)
{
    return ReadFile(std::string(ORVO_TEST_RESOURCE_DIR) + "/" + name);
}
} // namespace

TEST(EmbeddedResources, HoldEachFileByteForByte)
{
    for (const char* name : kEmbedded)
    {
        SCOPED_TRACE(name);
        const std::string expected = sourceFile(name);
        const EmbeddedResource* resource = FindEmbeddedResource(name);
        ASSERT_NE(resource, nullptr);
        EXPECT_STREQ(resource->name, name);
        ASSERT_EQ(resource->size, expected.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(resource->data), resource->size), expected);
        EXPECT_EQ(resource->data[resource->size], 0) << "data is not followed by a 0";

        std::string contents = "previous";
        EXPECT_TRUE(LoadResource(name, contents));
        EXPECT_EQ(contents, expected);
    }
    EXPECT_GT(FindEmbeddedResource("bytes.bin")->size, 10u) << "binary file cut at a 0 byte";
}

TEST(EmbeddedResources, TableListsExactlyTheEmbeddedFiles)
{
    std::set<std::string> names;
    for (size_t i = 0; i < EmbeddedResourceCount(); ++i)
        names.insert(EmbeddedResourceAt(i)->name);
    EXPECT_EQ(names, std::set<std::string>(std::begin(kEmbedded), std::end(kEmbedded)));
    EXPECT_EQ(EmbeddedResourceCount(), names.size());
    EXPECT_EQ(EmbeddedResourceAt(EmbeddedResourceCount()), nullptr);
}

TEST(EmbeddedResources, UnknownNamesAreNotFound)
{
    const char* const unknown[] = {"missing.lua", "", "GREETING.TXT", "greeting", "greeting.txt ",
                                   "resources/greeting.txt", "/greeting.txt", "."};
    for (const char* name : unknown)
    {
        SCOPED_TRACE(name);
        EXPECT_EQ(FindEmbeddedResource(name), nullptr);
        std::string contents = "unchanged";
        EXPECT_FALSE(LoadResource(name, contents));
        EXPECT_EQ(contents, "unchanged");
    }
    EXPECT_EQ(FindEmbeddedResource(nullptr), nullptr);
    std::string contents = "unchanged";
    EXPECT_FALSE(LoadResource(nullptr, contents));
    EXPECT_EQ(contents, "unchanged");
}

TEST(SkinResources, SkinFilesReplaceEmbeddedOnesByName)
{
    ScratchDir root;
    const std::string skin = root / "skin";
    ASSERT_EQ(mkdir(skin.c_str(), 0700), 0);
    WriteFile(skin + "/greeting.txt", "Hello from the skin.\n");
    WriteFile(skin + "/extra.lua", "-- only in the skin\n");
    WriteFile(skin + "/empty.txt", std::string("\0skinned\0", 9));
    ASSERT_EQ(mkdir((skin + "/bytes.bin").c_str(), 0700), 0); // not a regular file
    WriteFile(root / "outside.txt", "outside the skin");

    struct Case
    {
        const char* name;
        std::string skinDirectory;
        bool found;
        std::string expected;
    };
    const Case cases[] = {
        {"greeting.txt", skin, true, "Hello from the skin.\n"},
        {"greeting.txt", skin + "/", true, "Hello from the skin.\n"},
        {"empty.txt", skin, true, std::string("\0skinned\0", 9)},
        {"extra.lua", skin, true, "-- only in the skin\n"},
        {"bytes.bin", skin, true, sourceFile("bytes.bin")},
        {"greeting.txt", root.Path(), true, sourceFile("greeting.txt")},
        {"greeting.txt", root / "no-such-skin", true, sourceFile("greeting.txt")},
        {"greeting.txt", "", true, sourceFile("greeting.txt")},
        {"extra.lua", root.Path(), false, ""},
        {"../outside.txt", skin, false, ""},
        {"skin/extra.lua", root.Path(), false, ""},
        {"missing.lua", skin, false, ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.name) + " in " + c.skinDirectory);
        std::string contents = "unchanged";
        EXPECT_EQ(LoadResource(c.name, contents, c.skinDirectory.c_str()), c.found);
        EXPECT_EQ(contents, c.found ? c.expected : "unchanged");
    }
    std::string contents;
    EXPECT_TRUE(LoadResource("greeting.txt", contents, nullptr));
    EXPECT_EQ(contents, sourceFile("greeting.txt"));
}

TEST(SkinResources, UnreadableSkinFileFallsBackToTheEmbeddedOne)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root";
    ScratchDir skin;
    WriteFile(skin / "greeting.txt", "unreadable");
    ASSERT_EQ(chmod((skin / "greeting.txt").c_str(), 0), 0);
    std::string contents;
    EXPECT_TRUE(LoadResource("greeting.txt", contents, skin.Path().c_str()));
    EXPECT_EQ(contents, sourceFile("greeting.txt"));
}
