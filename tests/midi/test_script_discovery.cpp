// Listing scripts and skins of the per-user and machine-wide support folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "editor/ScriptDiscovery.h"
#include "tests/TempDir.h"

namespace fs = std::filesystem;

namespace
{
class DiscoveryTest : public ::testing::Test
{
protected:
    TempDir user, local;
    ScopedEnv dataHome{"XDG_DATA_HOME", user.Path()};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", local.Path() + ":/usr/share"};

    static std::string Folder(const TempDir& domain, const char* kind)
    {
        std::string folder = domain.Path() + "/Velmora/Orvotide/" + kind;
        fs::create_directories(folder);
        return folder;
    }
    static void Touch(const std::string& path) { std::ofstream(path) << "-- x\n"; }

    static std::vector<std::string> Sorted(std::vector<std::string> v)
    {
        std::sort(v.begin(), v.end());
        return v;
    }
};

struct Entry
{
    const char* name;
    bool directory;
    bool listed;
};

TEST_F(DiscoveryTest, ScriptNamesFollowTheSuffixRules)
{
    const Entry entries[] = {
        {".lua", false, false},          // four characters only
        {"a.lua", false, true},          // the shortest script name
        {"Script.LUA", false, false},    // the suffix is case-sensitive
        {"x.lua", true, false},          // directories are never scripts
        {"midi.lua.bak", false, false},  // suffix must be at the end
        {"notes.txt", false, false},
        {"midi.lua2.lua", false, true},
        {"with space.lua", false, true},
    };
    std::string folder = Folder(user, "Scripts");
    std::vector<std::string> expected;
    for (const Entry& e : entries)
    {
        std::string path = folder + "/" + e.name;
        if (e.directory)
            fs::create_directory(path);
        else
            Touch(path);
        if (e.listed)
            expected.push_back(path);
    }
    std::vector<std::string> found;
    VL::GetScriptsInDomain(found, VL::kUserDomain);
    EXPECT_EQ(Sorted(found), Sorted(expected));
}

TEST_F(DiscoveryTest, UserScriptsComeBeforeMachineWideOnesAndTheListIsAppended)
{
    std::string userFolder = Folder(user, "Scripts");
    std::string localFolder = Folder(local, "Scripts");
    Touch(userFolder + "/same.lua");
    Touch(localFolder + "/same.lua");
    Touch(localFolder + "/only-local.lua");

    std::vector<std::string> found = {"kept"};
    VL::GetScripts(found);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0], "kept");
    EXPECT_EQ(found[1], userFolder + "/same.lua");
    EXPECT_EQ(Sorted({found[2], found[3]}), Sorted({localFolder + "/same.lua", localFolder + "/only-local.lua"}));
}

TEST_F(DiscoveryTest, SupportFoldersComeFromTheXdgVariables)
{
    EXPECT_EQ(VL::GetApplicationSupportFolder(VL::kUserDomain), user.Path());
    EXPECT_EQ(VL::GetApplicationSupportFolder(VL::kLocalDomain), local.Path());
    EXPECT_EQ(VL::GetApplicationSupportFolder(0), "");

    // A folder that does not exist is not created and contributes nothing.
    ScopedEnv missing{"XDG_DATA_HOME", user.Path() + "/missing"};
    EXPECT_EQ(VL::GetApplicationSupportFolder(VL::kUserDomain), "");
    EXPECT_FALSE(fs::exists(user.Path() + "/missing"));
    std::vector<std::string> found;
    VL::GetScriptsInDomain(found, VL::kUserDomain);
    VL::GetSkinsInDomain(found, VL::kUserDomain);
    EXPECT_TRUE(found.empty());
}

TEST_F(DiscoveryTest, SupportFoldersWithoutScriptsOrSkinsListNothing)
{
    std::vector<std::string> found;
    VL::GetScripts(found);
    VL::GetSkins(found);
    EXPECT_TRUE(found.empty());
}

TEST_F(DiscoveryTest, SkinsAreDirectoriesListedWithoutTheBundleSuffix)
{
    const Entry entries[] = {
        {"Blue.bundle", true, true},
        {"Red", true, true},
        {"Green", false, false},
        {".bundle", true, true},  // nothing before the suffix: listed whole
        {"Old.bundle.zip", false, false},
    };
    std::string folder = Folder(user, "Skins");
    for (const Entry& e : entries)
    {
        std::string path = folder + "/" + e.name;
        if (e.directory)
            fs::create_directory(path);
        else
            Touch(path);
    }
    Touch(Folder(local, "Skins") + "/Purple"); // a file here too
    fs::create_directory(Folder(local, "Skins") + "/Black.bundle");

    std::vector<std::string> found;
    VL::GetSkins(found);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(Sorted({found[0], found[1], found[2]}), Sorted({"Blue", "Red", ".bundle"}));
    EXPECT_EQ(found[3], "Black");
}

TEST_F(DiscoveryTest, LocatingASkinPrefersThePlainNameAndTheUserDomain)
{
    std::string userSkins = Folder(user, "Skins");
    std::string localSkins = Folder(local, "Skins");
    fs::create_directory(userSkins + "/Dark.bundle");
    fs::create_directory(localSkins + "/Dark");
    fs::create_directory(localSkins + "/Light.bundle");
    fs::create_directory(localSkins + "/Both");
    fs::create_directory(localSkins + "/Both.bundle");
    Touch(userSkins + "/Green");

    struct
    {
        const char* name;
        std::string expected;
    } cases[] = {
        {"Dark", userSkins + "/Dark.bundle"}, // the user's copy hides the machine-wide one
        {"Light", localSkins + "/Light.bundle"},
        {"Both", localSkins + "/Both"},
        {"Missing", ""},
        {"Green", ""}, // a plain file is no skin
        {"", ""},
        {"../Skins/Dark", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VL::LocateSkinBundle(c.name), c.expected) << c.name;
    EXPECT_EQ(VL::LocateSkinBundle("Dark", VL::kLocalDomain), localSkins + "/Dark");
}
} // namespace
