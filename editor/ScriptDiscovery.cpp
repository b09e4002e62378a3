#include "editor/ScriptDiscovery.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace
{
const char kScriptsSubfolder[] = "/Velmora/Orvotide/Scripts";
const char kSkinsSubfolder[] = "/Velmora/Orvotide/Skins";
const char kBundleSuffix[] = ".bundle";
const size_t kBundleSuffixLength = sizeof(kBundleSuffix) - 1;

bool isDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool endsWith(const std::string& text, const char* suffix)
{
    size_t n = strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// An XDG variable counts only when it holds an absolute path.
std::string absoluteOrEmpty(const std::string& path)
{
    return !path.empty() && path[0] == '/' ? path : std::string();
}

std::string userDataFolder()
{
    const char* xdg = getenv("XDG_DATA_HOME");
    if (xdg && *xdg)
    {
        std::string path = absoluteOrEmpty(xdg);
        if (!path.empty())
            return path;
    }
    const char* home = getenv("HOME");
    if (!home || !*home)
    {
        struct passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || !*home)
        return std::string();
    return absoluteOrEmpty(std::string(home) + "/.local/share");
}

std::string localDataFolder()
{
    const char* dirs = getenv("XDG_DATA_DIRS");
    if (dirs && *dirs)
    {
        const char* colon = strchr(dirs, ':');
        std::string first = colon ? std::string(dirs, static_cast<size_t>(colon - dirs)) : std::string(dirs);
        first = absoluteOrEmpty(first);
        if (!first.empty())
            return first;
    }
    return "/usr/local/share";
}

// Calls take(name, fullPath) for every entry of folder other than "." and "..".
template <typename Take> void listFolder(const std::string& folder, Take take)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (struct dirent* entry = readdir(dir))
    {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        take(name, folder + "/" + name);
    }
    closedir(dir);
}
} // namespace

namespace VL
{
std::string GetApplicationSupportFolder(short domain)
{
    std::string folder;
    if (domain == kUserDomain)
        folder = userDataFolder();
    else if (domain == kLocalDomain)
        folder = localDataFolder();
    // Like a folder lookup that must not create the folder: a missing one
    // is a failure.
    if (folder.empty() || !isDirectory(folder))
        return std::string();
    return folder;
}

void GetScriptsInDomain(std::vector<std::string>& out, short domain)
{
    std::string support = GetApplicationSupportFolder(domain);
    if (support.empty())
        return;
    listFolder(support + kScriptsSubfolder, [&](const std::string& name, const std::string& path) {
        if (isDirectory(path))
            return;
        if (name.size() < 5 || !endsWith(name, ".lua"))
            return;
        if (access(path.c_str(), R_OK) == 0)
            out.push_back(path);
    });
}

void GetScripts(std::vector<std::string>& out)
{
    GetScriptsInDomain(out, kUserDomain);
    GetScriptsInDomain(out, kLocalDomain);
}

void GetSkinsInDomain(std::vector<std::string>& out, short domain)
{
    std::string support = GetApplicationSupportFolder(domain);
    if (support.empty())
        return;
    listFolder(support + kSkinsSubfolder, [&](const std::string& name, const std::string& path) {
        if (!isDirectory(path))
            return;
        if (name.size() > kBundleSuffixLength && endsWith(name, kBundleSuffix))
            out.push_back(name.substr(0, name.size() - kBundleSuffixLength));
        else
            out.push_back(name);
    });
}

void GetSkins(std::vector<std::string>& out)
{
    GetSkinsInDomain(out, kUserDomain);
    GetSkinsInDomain(out, kLocalDomain);
}

std::string LocateSkinBundle(const std::string& name, short domain)
{
    // A skin is one directory of the skins folder, never a path beyond it.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return std::string();
    std::string support = GetApplicationSupportFolder(domain);
    if (support.empty())
        return std::string();
    std::string path = support + kSkinsSubfolder + "/" + name;
    if (access(path.c_str(), R_OK) != 0)
    {
        path += kBundleSuffix;
        if (access(path.c_str(), R_OK) != 0)
            return std::string();
    }
    // Only a directory opens as a skin.
    return isDirectory(path) ? path : std::string();
}

std::string LocateSkinBundle(const std::string& name)
{
    std::string path = LocateSkinBundle(name, kUserDomain);
    if (path.empty())
        path = LocateSkinBundle(name, kLocalDomain);
    return path;
}
} // namespace VL
