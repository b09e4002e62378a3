#include "platform/Resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/ResourceTable.h"

namespace
{
// Reads the regular file at path whole; false when it is missing, not a
// regular file or unreadable.
bool readRegularFile(const std::string& path, std::string& contents)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    std::string data;
    try
    {
        char buffer[65536];
        while (ok)
        {
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                ok = false;
            if (got <= 0)
                break;
            data.append(buffer, static_cast<size_t>(got));
        }
    }
    catch (const std::bad_alloc&)
    {
        ok = false;
    }
    ::close(fd);
    if (ok)
        contents.swap(data);
    return ok;
}

bool isPlainFileName(const char* name)
{
    return name[0] != '\0' && strchr(name, '/') == nullptr && strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
}
} // namespace

const EmbeddedResource* FindEmbeddedResource(const char* name)
{
    if (!name)
        return nullptr;
    for (size_t i = 0; i < orvo_resource_table::count; ++i)
    {
        if (strcmp(orvo_resource_table::entries[i].name, name) == 0)
            return &orvo_resource_table::entries[i];
    }
    return nullptr;
}

size_t EmbeddedResourceCount()
{
    return orvo_resource_table::count;
}

const EmbeddedResource* EmbeddedResourceAt(size_t index)
{
    return index < orvo_resource_table::count ? &orvo_resource_table::entries[index] : nullptr;
}

bool LoadResource(const char* name, std::string& contents, const char* skinDirectory)
{
    if (!name)
        return false;
    if (skinDirectory && skinDirectory[0] != '\0' && isPlainFileName(name))
    {
        std::string path = skinDirectory;
        if (path.back() != '/')
            path += '/';
        path += name;
        if (readRegularFile(path, contents))
            return true;
    }
    const EmbeddedResource* resource = FindEmbeddedResource(name);
    if (!resource)
        return false;
    contents.assign(reinterpret_cast<const char*>(resource->data), resource->size);
    return true;
}
