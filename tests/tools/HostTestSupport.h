// What the tests of orvo-host share: running the built program in its own
// process on the built plug-ins, and writing and reading sound files with
// libsndfile.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace orvo_host_test
{
namespace fs = std::filesystem;

const std::string kHost = ORVO_HOST_PATH;
const std::string kSynth = ORVO_SYNTH_PATH;
const std::string kEffect = ORVO_EFFECT_PATH;

constexpr int kRate = 44100;
// A multiple of none of the block sizes the tests use, but 1.
constexpr size_t kInputFrames = 1000;

using Channels = std::vector<std::vector<float>>;

struct Sound
{
    SF_INFO info{};
    Channels channels;
    size_t Frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

inline bool writeSound(const std::string& path, int format, int rate, const Channels& channels)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = static_cast<int>(channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const size_t frames = channels[0].size();
    std::vector<float> interleaved;
    for (size_t i = 0; i < frames; ++i)
        for (const std::vector<float>& channel : channels)
            interleaved.push_back(channel[i]);
    const bool ok = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames)) ==
                    static_cast<sf_count_t>(frames);
    return sf_close(file) == 0 && ok;
}

inline Sound readSound(const std::string& path)
{
    Sound sound;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &sound.info);
    if (!file)
    {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return sound;
    }
    const size_t width = static_cast<size_t>(sound.info.channels);
    std::vector<float> interleaved(static_cast<size_t>(sound.info.frames) * width);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), sound.info.frames);
    sf_close(file);
    EXPECT_EQ(got, sound.info.frames) << path;
    sound.channels.assign(width, std::vector<float>(static_cast<size_t>(got)));
    for (size_t i = 0; i < static_cast<size_t>(got); ++i)
        for (size_t c = 0; c < width; ++c)
            sound.channels[c][i] = interleaved[i * width + c];
    return sound;
}

inline std::vector<float> sine(double frequency, double amplitude, size_t frames, int rate = kRate)
{
    std::vector<float> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / rate));
    return samples;
}

inline std::vector<float> scaled(const std::vector<float>& samples, float gain)
{
    std::vector<float> result(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        result[i] = gain * samples[i];
    return result;
}

// Equal lengths and bit-identical samples; otherwise names the first
// difference.
inline ::testing::AssertionResult sameSamples(const std::vector<float>& actual, const std::vector<float>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " samples, expected " << expected.size();
    for (size_t i = 0; i < actual.size(); ++i)
        if (!(actual[i] == expected[i]))
            return ::testing::AssertionFailure() << "sample " << i << " is " << actual[i] << ", expected "
                                                 << expected[i];
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult silent(const std::vector<float>& samples)
{
    for (size_t i = 0; i < samples.size(); ++i)
        if (samples[i] != 0.0f)
            return ::testing::AssertionFailure() << "sample " << i << " is " << samples[i];
    return ::testing::AssertionSuccess();
}

struct HostRun
{
    int status = -1; // exit status; -1 if the process did not exit normally
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder of its own for each test, holding the files orvo-host reads and
// writes.
class OrvoHostRender : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "orvo-host-render-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::string Path(const std::string& name) const { return m_dir + "/" + name; }

    // Runs orvo-host with args and waits for it; stdout and stderr go
    // through files in the folder.
    HostRun Host(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {kHost};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& a : argv)
            pointers.push_back(a.data());
        pointers.push_back(nullptr);

        const std::string outPath = Path("stdout.txt");
        const std::string errPath = Path("stderr.txt");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        HostRun run;
        const int spawned = posix_spawn(&pid, kHost.c_str(), &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
        {
            ADD_FAILURE() << "cannot start " << kHost;
            return run;
        }
        int status = 0;
        pid_t waited = 0;
        while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR)
        {
        }
        run.status = waited == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = slurp(outPath);
        run.err = slurp(errPath);
        return run;
    }

    // orvo-host with args, which must succeed.
    HostRun HostOk(const std::vector<std::string>& args) const
    {
        HostRun run = Host(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return run;
    }

    // A stereo 16-bit WAV with different signals left and right; returns
    // them as libsndfile reads them back, which is what orvo-host sees.
    Channels WriteStereoInput(const std::string& name)
    {
        const Channels written = {sine(440.0, 0.5, kInputFrames), sine(1000.0, 0.25, kInputFrames)};
        EXPECT_TRUE(writeSound(Path(name), SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, written));
        return readSound(Path(name)).channels;
    }

    std::string m_dir;
};
} // namespace orvo_host_test
