#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Preferences.h"
#include "tests/platform/PrefsWriterValues.h"
#include "tests/platform/ScratchDir.h"

extern char** environ;

namespace
{
// Sets an environment variable for one scope and puts back what was there.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        const char* old = getenv(name);
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_hadOld)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_hadOld;
    std::string m_old;
};

// Each test gets its own, initially empty, configuration folder.
class Preferences : public testing::Test
{
public:
    ScratchDir m_config;
    ScopedEnv m_env{"XDG_CONFIG_HOME", m_config.Path().c_str()};

    std::string Folder() const { return m_config / "velmora"; }
    std::string File() const { return Folder() + "/com.velmora.Orvotide.conf"; }
};

bool exists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// The lines of text that are not comments.
std::vector<std::string> entryLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
    {
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    }
    return lines;
}

struct ProductKey
{
    const char* key;
    bool isInt;
    int defaultValue;
    int storedInt;
    const char* storedString;
};
const ProductKey kProductKeys[] = {
    {"OSC Base Port", true, 7000, 9000, nullptr},
    {"Max buffer size", true, 60, 600, nullptr},
    {"GUI scale", true, 100, 150, nullptr},
    {"Enable eye candy", true, 1, 0, nullptr},
    {"Enable constant redraw", true, 1, 0, nullptr},
    {"Enable floating tooltip", true, 0, 1, nullptr},
    {"Font path", false, 0, 0, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
    {"Skin", false, 0, 0, "/home/someone/Orvotide Skins/Night"},
};

std::string randomBytes(unsigned seed, size_t size)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}
} // namespace

TEST_F(Preferences, MissingValuesReadAsDefaultsAndReadingNeverWrites)
{
    for (const ProductKey& k : kProductKeys)
    {
        SCOPED_TRACE(k.key);
        EXPECT_EQ(GetPrefInt(k.key, k.defaultValue), k.defaultValue);
        EXPECT_EQ(GetPrefInt(k.key, -5), -5);
        std::string value = "sentinel";
        EXPECT_FALSE(GetPrefString(k.key, value));
        EXPECT_EQ(value, "sentinel");
    }
    EXPECT_FALSE(exists(Folder())) << "a read created the preferences folder";
}

TEST_F(Preferences, StoredValuesReadBackWithTheirTypes)
{
    for (const ProductKey& k : kProductKeys)
    {
        if (k.isInt)
            SetPrefInt(k.key, k.storedInt);
        else
            SetPrefString(k.key, k.storedString);
    }
    ASSERT_TRUE(exists(File()));
    for (const ProductKey& k : kProductKeys)
    {
        SCOPED_TRACE(k.key);
        std::string value = "sentinel";
        if (k.isInt)
        {
            EXPECT_EQ(GetPrefInt(k.key, k.defaultValue), k.storedInt);
            EXPECT_FALSE(GetPrefString(k.key, value));
            EXPECT_EQ(value, "sentinel");
        }
        else
        {
            EXPECT_EQ(GetPrefInt(k.key, 42), 42);
            EXPECT_TRUE(GetPrefString(k.key, value));
            EXPECT_EQ(value, k.storedString);
        }
    }
    // Changing one key leaves the others alone.
    SetPrefInt("GUI scale", 200);
    EXPECT_EQ(GetPrefInt("GUI scale", 100), 200);
    EXPECT_EQ(GetPrefInt("OSC Base Port", 7000), 9000);
    std::string skin;
    EXPECT_TRUE(GetPrefString("Skin", skin));
    EXPECT_EQ(skin, "/home/someone/Orvotide Skins/Night");
    EXPECT_EQ(entryLines(ReadFile(File())).size(), sizeof kProductKeys / sizeof kProductKeys[0]);
}

TEST_F(Preferences, IntegersAndStringsStayDistinct)
{
    struct Case
    {
        std::vector<std::string> writes; // "i:<number>" or "s:<text>", in order
        bool expectInt;
        int expectedInt;
        const char* expectedString;
    };
    const Case cases[] = {
        {{"i:5"}, true, 5, nullptr},
        {{"s:5"}, false, 0, "5"},
        {{"s:"}, false, 0, ""},
        {{"i:5", "s:five"}, false, 0, "five"},
        {{"s:five", "i:5"}, true, 5, nullptr},
        {{"i:1", "i:2", "i:3"}, true, 3, nullptr},
    };
    int index = 0;
    for (const Case& c : cases)
    {
        const std::string key = "key " + std::to_string(index++);
        SCOPED_TRACE(key);
        for (const std::string& write : c.writes)
        {
            if (write[0] == 'i')
                SetPrefInt(key.c_str(), std::stoi(write.substr(2)));
            else
                SetPrefString(key.c_str(), write.substr(2));
        }
        std::string value = "sentinel";
        const bool isString = GetPrefString(key.c_str(), value);
        if (c.expectInt)
        {
            EXPECT_EQ(GetPrefInt(key.c_str(), -1), c.expectedInt);
            EXPECT_FALSE(isString);
            EXPECT_EQ(value, "sentinel");
        }
        else
        {
            EXPECT_EQ(GetPrefInt(key.c_str(), -1), -1);
            EXPECT_TRUE(isString);
            EXPECT_EQ(value, c.expectedString);
        }
    }
}

TEST_F(Preferences, IntegersRoundTripAcrossTheirRange)
{
    const int values[] = {0, 1, -1, 7000, -7000, INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1};
    for (int value : values)
    {
        SetPrefInt("number", value);
        EXPECT_EQ(GetPrefInt("number", 12345), value);
    }
}

TEST_F(Preferences, LongStringsAreStoredWholeAndReadBackCut)
{
    for (size_t length : {size_t(0), size_t(1), size_t(1022), size_t(1023), size_t(1024), size_t(5000)})
    {
        SCOPED_TRACE(length);
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += static_cast<char>('a' + i % 26);
        SetPrefString("Font path", text);
        std::string value = "sentinel";
        ASSERT_TRUE(GetPrefString("Font path", value));
        EXPECT_EQ(value, text.substr(0, 1023));
        EXPECT_NE(ReadFile(File()).find(text), std::string::npos) << "the file does not hold the whole string";
    }
}

TEST_F(Preferences, AnyBytesRoundTripInKeysAndStrings)
{
    const std::string texts[] = {
        "two\nlines",
        "tab\tseparated\tfields",
        "back\\slash and \\n not a newline",
        "ends with a backslash\\",
        "key=value=more",
        "# looks like a comment",
        "carriage\rreturn\r\n",
        "ünïcødé ✓ 日本語 🎛",
        std::string("nul\0inside", 10),
        " leading and trailing spaces ",
        "\t\n\\\r",
        "",
    };
    int index = 0;
    for (const std::string& text : texts)
    {
        SCOPED_TRACE(testing::PrintToString(text));
        const std::string key = "string " + std::to_string(index++) + " " + text;
        SetPrefString(key.c_str(), text);
        SetPrefInt(text.c_str(), index);
    }
    index = 0;
    for (const std::string& text : texts)
    {
        SCOPED_TRACE(testing::PrintToString(text));
        const std::string key = "string " + std::to_string(index++) + " " + text;
        std::string value;
        EXPECT_TRUE(GetPrefString(key.c_str(), value));
        EXPECT_EQ(value, text);
        // A key is a C string, so the text up to a NUL.
        EXPECT_EQ(GetPrefInt(text.c_str(), -1), index);
    }
    EXPECT_EQ(entryLines(ReadFile(File())).size(), 2 * (sizeof texts / sizeof texts[0]))
        << "an entry spilled over several lines";
}

TEST_F(Preferences, GarbageFilesReadAsEmptyAndAreReplacedOnWrite)
{
    struct Case
    {
        unsigned seed;
        size_t size;
    };
    const Case cases[] = {{1, 1}, {2, 100}, {3, 4096}, {4, 100000}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.seed);
        std::filesystem::remove_all(Folder());
        ASSERT_EQ(mkdir(Folder().c_str(), 0700), 0);
        WriteFile(File(), randomBytes(c.seed, c.size));

        for (const ProductKey& k : kProductKeys)
        {
            EXPECT_EQ(GetPrefInt(k.key, k.defaultValue), k.defaultValue);
            std::string value = "sentinel";
            EXPECT_FALSE(GetPrefString(k.key, value));
        }
        SetPrefInt("GUI scale", 125);
        EXPECT_EQ(GetPrefInt("GUI scale", 100), 125);
        EXPECT_EQ(entryLines(ReadFile(File())), std::vector<std::string>{"i\tGUI scale\t125"});
    }
}

TEST_F(Preferences, DamagedLinesAreSkippedAndGoodOnesKept)
{
    ASSERT_EQ(mkdir(Folder().c_str(), 0700), 0);
    const std::string good = "i\tOSC Base Port\t7100\n"
                             "s\tSkin\tNight\\tsky\n"
                             "i\tGUI scale\t-3\n"
                             "i\tGUI scale\t175\n"; // the later line wins
    const std::string damaged = "i\tno value\t\n"
                                "i\tnot a number\t12x\n"
                                "i\ttoo big\t99999999999\n"
                                "i\tplus sign\t+5\n"
                                "i\tspace\t 5\n"
                                "x\tunknown type\t1\n"
                                "s\tbad escape\t\\q\n"
                                "s\tlone backslash\tabc\\\n"
                                "s\tthree\ttabs\tin it\n"
                                "s no tabs at all\n"
                                "\n"
                                "i\n"
                                "# i\tcommented\t1\n";
    const std::string cutOff = "i\tMax buffer size\t12"; // no newline: the file was cut here
    WriteFile(File(), randomBytes(7, 300) + "\n" + good + damaged + randomBytes(8, 300) + "\n" + cutOff);

    auto check = [] {
        EXPECT_EQ(GetPrefInt("OSC Base Port", 7000), 7100);
        EXPECT_EQ(GetPrefInt("GUI scale", 100), 175);
        std::string skin;
        EXPECT_TRUE(GetPrefString("Skin", skin));
        EXPECT_EQ(skin, "Night\tsky");
        EXPECT_EQ(GetPrefInt("Max buffer size", 60), 60);
        for (const char* key : {"no value", "not a number", "too big", "plus sign", "space", "unknown type",
                                "commented", "i"})
            EXPECT_EQ(GetPrefInt(key, -1), -1) << key;
        for (const char* key : {"bad escape", "lone backslash", "three"})
        {
            std::string value = "sentinel";
            EXPECT_FALSE(GetPrefString(key, value)) << key;
        }
    };
    check();
    SetPrefInt("Enable eye candy", 0);
    check();
    EXPECT_EQ(GetPrefInt("Enable eye candy", 1), 0);
    EXPECT_EQ(entryLines(ReadFile(File())).size(), 4u) << "the rewritten file kept damaged lines";
}

TEST_F(Preferences, ThreadsWritingAtOnceLoseNothing)
{
    constexpr int kThreads = 4;
    constexpr int kKeys = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([t] {
            for (int i = 0; i < kKeys; ++i)
                SetPrefInt(PrefsWriterKey("thread " + std::to_string(t), i).c_str(), PrefsWriterInt(i));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
    {
        for (int i = 0; i < kKeys; ++i)
            EXPECT_EQ(GetPrefInt(PrefsWriterKey("thread " + std::to_string(t), i).c_str(), INT_MIN), PrefsWriterInt(i));
    }
}

namespace
{
// Starts orvo_prefs_writer with standard input read from stdinFd.
pid_t spawnWriter(const char* mode, const char* prefix, int count, int stdinFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    const std::string countText = std::to_string(count);
    char* argv[] = {const_cast<char*>(ORVO_PREFS_WRITER), const_cast<char*>(mode), const_cast<char*>(prefix),
                    const_cast<char*>(countText.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, ORVO_PREFS_WRITER, &actions, nullptr, argv, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int waitExitCode(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
} // namespace

TEST_F(Preferences, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kKeys = 200;
    int gate[2];
    ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);
    const pid_t integers = spawnWriter("int", "alpha", kKeys, gate[0]);
    const pid_t strings = spawnWriter("string", "beta", kKeys, gate[0]);
    close(gate[0]);
    ASSERT_GT(integers, 0);
    ASSERT_GT(strings, 0);
    // Both are started; let them go together.
    ASSERT_EQ(write(gate[1], "gg", 2), 2);
    close(gate[1]);
    EXPECT_EQ(waitExitCode(integers), 0);
    EXPECT_EQ(waitExitCode(strings), 0);

    int missing = 0;
    for (int i = 0; i < kKeys; ++i)
    {
        const int number = GetPrefInt(PrefsWriterKey("alpha", i).c_str(), INT_MIN);
        missing += number == INT_MIN;
        EXPECT_TRUE(number == INT_MIN || number == PrefsWriterInt(i)) << i;
        std::string text;
        const bool found = GetPrefString(PrefsWriterKey("beta", i).c_str(), text);
        missing += !found;
        EXPECT_TRUE(!found || text == PrefsWriterString(i)) << i;
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(entryLines(ReadFile(File())).size(), size_t(2 * kKeys));
}

TEST_F(Preferences, FileStaysWholeWhileWrittenAndAfterAKill)
{
    constexpr int kKeys = 3000;
    constexpr int kSeenBeforeKill = 50;
    int gate[2];
    ASSERT_EQ(pipe2(gate, O_CLOEXEC), 0);
    const pid_t writer = spawnWriter("int", "gamma", kKeys, gate[0]);
    close(gate[0]);
    ASSERT_GT(writer, 0);
    ASSERT_EQ(write(gate[1], "g", 1), 1);
    close(gate[1]);

    // Kill it at some point after its first few dozen writes. Meanwhile,
    // every look at the file finds it whole: never empty, never cut off.
    const std::string watched = PrefsWriterKey("gamma", kSeenBeforeKill);
    int status = 0;
    bool exited = false;
    int torn = 0;
    while (GetPrefInt(watched.c_str(), INT_MIN) == INT_MIN)
    {
        const std::string text = ReadFile(File());
        if (exists(File()) && (text.empty() || text[0] != '#' || text.back() != '\n'))
            ++torn;
        if (waitpid(writer, &status, WNOHANG) == writer)
        {
            exited = true;
            break;
        }
        usleep(500);
    }
    EXPECT_EQ(torn, 0) << "a reader saw a half-written file";
    if (!exited)
    {
        kill(writer, SIGKILL);
        waitExitCode(writer);
    }

    // The file holds exactly the keys written before the kill, in order.
    int written = 0;
    while (written < kKeys && GetPrefInt(PrefsWriterKey("gamma", written).c_str(), INT_MIN) != INT_MIN)
        ++written;
    EXPECT_GT(written, kSeenBeforeKill);
    for (int i = 0; i < kKeys; ++i)
    {
        const int number = GetPrefInt(PrefsWriterKey("gamma", i).c_str(), INT_MIN);
        ASSERT_EQ(number, i < written ? PrefsWriterInt(i) : INT_MIN) << i;
    }
    EXPECT_EQ(entryLines(ReadFile(File())).size(), size_t(written));

    SetPrefInt("after the kill", 1);
    EXPECT_EQ(GetPrefInt("after the kill", 0), 1);
    EXPECT_EQ(GetPrefInt(PrefsWriterKey("gamma", 0).c_str(), INT_MIN), PrefsWriterInt(0));
}

TEST_F(Preferences, UnwritableLocationsAreSilent)
{
    struct Case
    {
        const char* what;
        void (*prepare)(const Preferences& test, std::string& configHome);
        bool needsNonRoot;
    };
    const Case cases[] = {
        {"configuration folder beneath a regular file",
         [](const Preferences& test, std::string& configHome) {
             WriteFile(test.m_config / "plain-file", "not a folder");
             configHome = test.m_config / "plain-file/config";
         },
         false},
        {"preferences file is a folder",
         [](const Preferences& test, std::string& configHome) {
             configHome = test.m_config.Path();
             std::filesystem::create_directories(test.File());
         },
         false},
        {"read-only folder",
         [](const Preferences& test, std::string& configHome) {
             configHome = test.m_config.Path();
             mkdir(test.Folder().c_str(), 0700);
             chmod(test.Folder().c_str(), 0500);
         },
         true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        if (c.needsNonRoot && geteuid() == 0)
            continue; // file permissions do not bind root
        std::filesystem::remove_all(Folder());
        std::string configHome;
        c.prepare(*this, configHome);
        ScopedEnv env("XDG_CONFIG_HOME", configHome.c_str());

        SetPrefInt("GUI scale", 150);
        SetPrefString("Skin", "Night");
        EXPECT_EQ(GetPrefInt("GUI scale", 100), 100);
        std::string skin = "sentinel";
        EXPECT_FALSE(GetPrefString("Skin", skin));
        EXPECT_EQ(skin, "sentinel");
        if (exists(Folder()))
        {
            for (const auto& entry : std::filesystem::directory_iterator(Folder()))
            {
                const std::string name = entry.path().filename().string();
                EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left behind " << name;
            }
        }
    }
}

TEST(PreferencesFilePath, FollowsTheEnvironment)
{
    struct Case
    {
        const char* configHome;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/xdg/config", "/home/user", "/xdg/config/velmora/com.velmora.Orvotide.conf"},
        {"/xdg/config/", "/home/user", "/xdg/config/velmora/com.velmora.Orvotide.conf"},
        {nullptr, "/home/user", "/home/user/.config/velmora/com.velmora.Orvotide.conf"},
        {"", "/home/user", "/home/user/.config/velmora/com.velmora.Orvotide.conf"},
        {"relative/config", "/home/user/", "/home/user/.config/velmora/com.velmora.Orvotide.conf"},
    };
    for (const Case& c : cases)
    {
        ScopedEnv configHome("XDG_CONFIG_HOME", c.configHome);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(PreferencesFilePath(), c.expected);
    }
}
