// The file holds one entry a line:
//
//     <type> TAB <key> TAB <value> NEWLINE
//
// with type 'i' (value: a decimal int) or 's' (value: a string). In keys and
// strings a backslash starts an escape: \\ \t \n \r \0 stand for backslash,
// tab, newline, carriage return and NUL, so a line holds no raw tab or
// newline of its own. Lines starting with '#' are comments. A line without
// its newline (a cut-off file) or with anything else wrong is skipped; when a
// key appears twice the last line wins.
//
// A write holds an exclusive flock on "<file>.lock" while it reads the file,
// changes its one key, writes a temporary file in the same folder, syncs it
// and renames it over the file. Concurrent writers of different keys thus
// keep each other's keys, and readers (which take no lock) always see either
// the old or the new file whole.

#include "platform/Preferences.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace
{
const char kApplicationID[] = "com.velmora.Orvotide";
const size_t kMaxStringRead = 1023;
// Anything bigger is not a preferences file this code wrote.
const off_t kMaxFileSize = 64 * 1024 * 1024;

struct Entry
{
    char type; // 'i' or 's'
    int number;
    std::string text;
};

typedef std::map<std::string, Entry> Entries;

void appendEscaped(std::string& out, const std::string& text)
{
    for (char c : text)
    {
        switch (c)
        {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\0': out += "\\0"; break;
        default: out += c; break;
        }
    }
}

// Decodes [begin, end); false on a bad escape or a raw tab.
bool unescape(const char* begin, const char* end, std::string& out)
{
    out.clear();
    for (const char* p = begin; p < end; ++p)
    {
        if (*p == '\t')
            return false;
        if (*p != '\\')
        {
            out += *p;
            continue;
        }
        if (++p == end)
            return false;
        switch (*p)
        {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        default: return false;
        }
    }
    return true;
}

// A decimal int: an optional '-' and 1 to 10 digits, in range.
bool parseInt(const std::string& text, int& value)
{
    size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
    size_t digits = text.size() - start;
    if (digits == 0 || digits > 10)
        return false;
    long long number = 0;
    for (size_t i = start; i < text.size(); ++i)
    {
        if (text[i] < '0' || text[i] > '9')
            return false;
        number = number * 10 + (text[i] - '0');
    }
    if (start)
        number = -number;
    if (number < INT_MIN || number > INT_MAX)
        return false;
    value = static_cast<int>(number);
    return true;
}

bool parseLine(const char* begin, const char* end, std::string& key, Entry& entry)
{
    if (end - begin < 3 || (begin[0] != 'i' && begin[0] != 's') || begin[1] != '\t')
        return false;
    const char* keyBegin = begin + 2;
    const char* keyEnd = static_cast<const char*>(memchr(keyBegin, '\t', static_cast<size_t>(end - keyBegin)));
    if (!keyEnd)
        return false;
    std::string value;
    if (!unescape(keyBegin, keyEnd, key) || !unescape(keyEnd + 1, end, value))
        return false;
    entry.type = begin[0];
    if (entry.type == 'i')
    {
        entry.text.clear();
        return parseInt(value, entry.number);
    }
    entry.number = 0;
    entry.text.swap(value);
    return true;
}

Entries parse(const std::string& file)
{
    Entries entries;
    const char* p = file.data();
    const char* end = p + file.size();
    while (p < end)
    {
        const char* newline = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!newline)
            break; // cut off
        const char* lineEnd = newline;
        if (lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;
        std::string key;
        Entry entry;
        if (*p != '#' && parseLine(p, lineEnd, key, entry))
            entries[key] = entry;
        p = newline + 1;
    }
    return entries;
}

std::string serialize(const Entries& entries)
{
    std::string out = "# Orvotide preferences (";
    out += kApplicationID;
    out += "): type, key and value, tab-separated, one a line.\n";
    for (const auto& item : entries)
    {
        out += item.second.type;
        out += '\t';
        appendEscaped(out, item.first);
        out += '\t';
        if (item.second.type == 'i')
            out += std::to_string(item.second.number);
        else
            appendEscaped(out, item.second.text);
        out += '\n';
    }
    return out;
}

// The whole file, or "" when it is missing, not a regular file, too big or unreadable.
std::string readFile(const std::string& path)
{
    std::string data;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return data;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileSize)
    {
        char buffer[65536];
        for (;;)
        {
            ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                data.clear();
            if (got <= 0)
                break;
            data.append(buffer, static_cast<size_t>(got));
            if (data.size() > static_cast<size_t>(kMaxFileSize))
            {
                data.clear();
                break;
            }
        }
    }
    ::close(fd);
    return data;
}

Entries readEntries()
{
    return parse(readFile(PreferencesFilePath()));
}

bool writeAll(int fd, const std::string& data)
{
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0)
    {
        ssize_t written = ::write(fd, p, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        p += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

// mkdir -p; new folders are private to the user.
bool makeDirectories(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Closes a file descriptor when it goes out of scope (closing the lock file
// releases the lock even when an exception leaves writeEntry).
struct FileCloser
{
    int fd;
    ~FileCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

void syncDirectory(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        ::fsync(fd);
        ::close(fd);
    }
}

// Replaces the file with one where key holds entry, as described at the top.
void writeEntry(const char* key, const Entry& entry)
{
    const std::string path = PreferencesFilePath();
    const std::string directory = path.substr(0, path.find_last_of('/'));
    if (!makeDirectories(directory))
        return;

    const std::string lockPath = path + ".lock";
    FileCloser lock{::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lock.fd < 0)
        return;
    // Should the file system not support locks, write anyway: the rename
    // still keeps the file whole.
    while (::flock(lock.fd, LOCK_EX) != 0 && errno == EINTR)
    {
    }

    Entries entries = parse(readFile(path));
    entries[key] = entry;
    const std::string text = serialize(entries);

    std::vector<char> temporary(path.begin(), path.end());
    static const char kSuffix[] = ".tmp.XXXXXX";
    temporary.insert(temporary.end(), kSuffix, kSuffix + sizeof kSuffix);
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.data(), path.c_str()) == 0;
    if (ok)
        syncDirectory(directory);
    else
        ::unlink(temporary.data());
}
} // namespace

std::string PreferencesFilePath()
{
    std::string base;
    const char* configHome = getenv("XDG_CONFIG_HOME");
    if (configHome && configHome[0] == '/')
    {
        base = configHome;
    }
    else
    {
        const char* home = getenv("HOME");
        if (home && home[0] != '\0')
        {
            base = home;
        }
        else
        {
            struct passwd record;
            struct passwd* found = nullptr;
            char buffer[4096];
            if (getpwuid_r(getuid(), &record, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
                base = found->pw_dir;
        }
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        base += "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base == "/")
        base.clear();
    return base + "/velmora/" + kApplicationID + ".conf";
}

int GetPrefInt(const char* key, int defaultValue)
{
    if (!key)
        return defaultValue;
    try
    {
        Entries entries = readEntries();
        auto found = entries.find(key);
        if (found != entries.end() && found->second.type == 'i')
            return found->second.number;
    }
    catch (...)
    {
    }
    return defaultValue;
}

void SetPrefInt(const char* key, int value)
{
    if (!key)
        return;
    try
    {
        writeEntry(key, Entry{'i', value, std::string()});
    }
    catch (...)
    {
    }
}

bool GetPrefString(const char* key, std::string& value)
{
    if (!key)
        return false;
    try
    {
        Entries entries = readEntries();
        auto found = entries.find(key);
        if (found == entries.end() || found->second.type != 's')
            return false;
        const std::string& text = found->second.text;
        value.assign(text, 0, text.size() < kMaxStringRead ? text.size() : kMaxStringRead);
        return true;
    }
    catch (...)
    {
    }
    return false;
}

void SetPrefString(const char* key, const std::string& value)
{
    if (!key)
        return;
    try
    {
        writeEntry(key, Entry{'s', 0, value});
    }
    catch (...)
    {
    }
}
