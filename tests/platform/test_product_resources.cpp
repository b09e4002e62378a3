// The plug-ins' own table, generated from the repository's resources/ folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/Resources.h"
#include "tests/platform/ScratchDir.h"

TEST(ProductResources, TableMatchesTheResourcesFolder)
{
    // Every file the build embeds: regular files, without hidden files and editor backups.
    std::map<std::string, std::string> expected;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ORVO_PRODUCT_RESOURCE_DIR, error))
    {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.' && name.back() != '~')
            expected[name] = ReadFile(entry.path().string());
    }

    std::map<std::string, std::string> embedded;
    for (size_t i = 0; i < EmbeddedResourceCount(); ++i)
    {
        const EmbeddedResource* resource = EmbeddedResourceAt(i);
        ASSERT_NE(resource, nullptr);
        embedded[resource->name] = std::string(reinterpret_cast<const char*>(resource->data), resource->size);
        EXPECT_EQ(resource->data[resource->size], 0);
        EXPECT_EQ(FindEmbeddedResource(resource->name), resource);
    }
    EXPECT_EQ(embedded.size(), EmbeddedResourceCount()) << "two resources share a name";
    EXPECT_EQ(embedded, expected) << "rebuild after changing resources/";
    EXPECT_EQ(EmbeddedResourceAt(EmbeddedResourceCount()), nullptr);
}
