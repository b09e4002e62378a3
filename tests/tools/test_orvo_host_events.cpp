// orvo-host render playing into the plug-ins: notes from an inline list and
// from Standard MIDI Files, parameter automation, a sample loaded through
// the program chunk and the loop buffer saved as AIFF, all through the
// built program on the built plug-ins.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "HostTestSupport.h"

namespace
{
using namespace orvo_host_test;

// ---- Standard MIDI Files, written byte by byte --------------------------------

struct SmfEvent
{
    uint32_t delta; // ticks after the previous event of the track
    std::vector<uint8_t> bytes;
};
using SmfTrack = std::vector<SmfEvent>;

void appendBigEndian(std::vector<uint8_t>* out, uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out->push_back(static_cast<uint8_t>(value >> shift));
}

void appendVariableLength(std::vector<uint8_t>* out, uint32_t value)
{
    uint8_t groups[4];
    int count = 0;
    do
    {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (count-- > 0)
        out->push_back(static_cast<uint8_t>(groups[count] | (count ? 0x80 : 0)));
}

// A tempo meta event: microseconds per quarter note.
SmfEvent tempo(uint32_t delta, uint32_t microseconds)
{
    return {delta, {0xFF, 0x51, 0x03, static_cast<uint8_t>(microseconds >> 16),
                    static_cast<uint8_t>(microseconds >> 8), static_cast<uint8_t>(microseconds)}};
}

// The file's bytes; every track gets its End Of Track.
std::vector<uint8_t> smf(int format, uint16_t division, const std::vector<SmfTrack>& tracks)
{
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
    appendBigEndian(&file, 6, 4);
    appendBigEndian(&file, static_cast<uint32_t>(format), 2);
    appendBigEndian(&file, static_cast<uint32_t>(tracks.size()), 2);
    appendBigEndian(&file, division, 2);
    for (const SmfTrack& track : tracks)
    {
        std::vector<uint8_t> body;
        for (const SmfEvent& e : track)
        {
            appendVariableLength(&body, e.delta);
            body.insert(body.end(), e.bytes.begin(), e.bytes.end());
        }
        body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        appendBigEndian(&file, static_cast<uint32_t>(body.size()), 4);
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// Seconds of a frame at kRate, as text that turns back into that frame.
std::string atFrame(size_t frame)
{
    char text[40];
    snprintf(text, sizeof(text), "%.17g", static_cast<double>(frame) / kRate);
    return text;
}

size_t firstSound(const std::vector<float>& samples)
{
    for (size_t i = 0; i < samples.size(); ++i)
        if (samples[i] != 0.0f)
            return i;
    return samples.size();
}

class HostEvents : public OrvoHostRender
{
protected:
    // A one-second stereo sample of a constant value, as 16-bit WAV.
    std::string WriteConstantSample(const std::string& name, float value)
    {
        const std::vector<float> samples(kRate, value);
        EXPECT_TRUE(writeSound(Path(name), SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {samples, samples}));
        return Path(name);
    }
    // A one-second stereo sine sample, so the pitch of a note shows.
    std::string WriteSineSample(const std::string& name)
    {
        const std::vector<float> samples = sine(220.0, 0.5, kRate);
        EXPECT_TRUE(writeSound(Path(name), SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, {samples, samples}));
        return Path(name);
    }
};

// ---- A MIDI file and the same notes as a list ------------------------------------

struct MidiCase
{
    const char* label;
    int format;
    uint16_t division;
    std::vector<SmfTrack> tracks;
    const char* notes; // the same, as --notes
};
void PrintTo(const MidiCase& c, std::ostream* os)
{
    *os << c.label;
}

class MidiMatchesNotes : public HostEvents, public ::testing::WithParamInterface<MidiCase>
{
};

const MidiCase kMidiCases[] = {
    // 480 ticks a quarter at 120 BPM: a tick is 1/960 s.
    {"Format0",
     0,
     480,
     {{tempo(0, 500000), {0, {0x90, 60, 100}}, {960, {0x80, 60, 0}}, {0, {0x90, 64, 80}}, {480, {0x80, 64, 0}}}},
     "60@0:1,64v80@1:0.5"},
    // Tempo halves at 1 s, in the tempo track; running status and note-on
    // with velocity 0 as the note-off in the note track.
    {"Format1TempoChange",
     1,
     480,
     {{tempo(0, 500000), tempo(960, 1000000)},
      {{0, {0x90, 60, 100}}, {960, {60, 0}}, {0, {64, 100}}, {480, {64, 0}}}},
     "60@0:1,64@1:1"},
    {"Chord",
     0,
     96,
     {{{48, {0x90, 60, 100}}, {0, {0x90, 64, 100}}, {0, {0x90, 67, 100}}, {96, {0x80, 60, 0}}, {0, {0x80, 64, 0}},
       {0, {0x80, 67, 0}}}},
     "60@0.25:0.5,64@0.25:0.5,67@0.25:0.5"},
    // No tempo event: 120 BPM. A chord's notes in separate tracks.
    {"DefaultTempoTracksMerged",
     1,
     96,
     {{{0, {0x90, 60, 100}}, {192, {0x80, 60, 0}}}, {{96, {0x90, 67, 90}}, {96, {0x80, 67, 0}}}},
     "60@0:1,67v90@0.5:0.5"},
};

TEST_P(MidiMatchesNotes, SameOutput)
{
    const MidiCase& c = GetParam();
    const std::string sample = WriteSineSample("sample.wav");
    writeBytes(Path("song.mid"), smf(c.format, c.division, c.tracks));
    const std::vector<std::string> common = {"render", kSynth, "--seconds", "2.5", "--block", "64", "--sample",
                                             sample};
    std::vector<std::string> fromFile = common;
    fromFile.insert(fromFile.end(), {"-o", Path("file.wav"), "--midi", Path("song.mid")});
    std::vector<std::string> fromList = common;
    fromList.insert(fromList.end(), {"-o", Path("list.wav"), "--notes", c.notes});
    HostOk(fromFile);
    HostOk(fromList);

    const Sound file = readSound(Path("file.wav"));
    const Sound list = readSound(Path("list.wav"));
    ASSERT_EQ(file.channels.size(), 2u);
    ASSERT_EQ(list.channels.size(), 2u);
    EXPECT_FALSE(silent(list.channels[0])) << "the notes must sound";
    EXPECT_TRUE(sameSamples(file.channels[0], list.channels[0])) << "left";
    EXPECT_TRUE(sameSamples(file.channels[1], list.channels[1])) << "right";
}

INSTANTIATE_TEST_SUITE_P(Files, MidiMatchesNotes, ::testing::ValuesIn(kMidiCases),
                         [](const ::testing::TestParamInfo<MidiCase>& info) { return info.param.label; });

// The list's order does not matter, and a second --notes adds to the first.
TEST_F(HostEvents, NoteListsMerge)
{
    const std::string sample = WriteSineSample("sample.wav");
    const std::vector<std::string> common = {"render", kSynth, "--seconds", "1.5", "--sample", sample};
    auto render = [&](const std::string& name, const std::vector<std::string>& notes) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"-o", Path(name)});
        for (const std::string& n : notes)
            args.insert(args.end(), {"--notes", n});
        HostOk(args);
        return readSound(Path(name));
    };
    const Sound one = render("one.wav", {"60@0:0.5, 67v90@0.25:1"});
    const Sound reversed = render("reversed.wav", {"67V90@0.25:1,60@0:0.5"});
    const Sound two = render("two.wav", {"60@0:0.5", "67v90@0.25:1"});
    const Sound other = render("other.wav", {"60@0:0.5"});
    ASSERT_EQ(one.channels.size(), 2u);
    EXPECT_TRUE(sameSamples(reversed.channels[0], one.channels[0]));
    EXPECT_TRUE(sameSamples(two.channels[0], one.channels[0]));
    EXPECT_FALSE(sameSamples(other.channels[0], one.channels[0])) << "the second note must be heard";
}

// ---- Where a note starts -------------------------------------------------------------

struct OnsetCase
{
    const char* label;
    size_t frame; // where the note starts: a multiple of the block size
    bool midiFile; // through --midi, else --notes
};
void PrintTo(const OnsetCase& c, std::ostream* os)
{
    *os << c.label;
}

class NoteOnset : public HostEvents, public ::testing::WithParamInterface<OnsetCase>
{
};

const OnsetCase kOnsetCases[] = {
    {"ListAtZero", 0, false},
    {"ListAtBlock10", 640, false},
    {"ListAtBlock100", 6400, false},
    {"MidiAtBlock10", 640, true},
    {"MidiAtBlock100", 6400, true},
};

// A block of 64 frames; with no attack the note sounds from its first frame
// and not before.
TEST_P(NoteOnset, SoundStartsAtTheNote)
{
    const OnsetCase& c = GetParam();
    const std::string sample = WriteConstantSample("sample.wav", 0.5f);
    std::vector<std::string> args = {"render", kSynth, "-o", Path("out.wav"), "--seconds", "0.5", "--block", "64",
                                     "--sample", sample, "--set", "Attack=0"};
    if (c.midiFile)
    {
        // 441 ticks a quarter at 100 quarters a second: a tick is a frame,
        // until the tempo halves at frame 448; after that a tick is two.
        const uint32_t change = 448;
        const uint32_t ticks = c.frame <= change ? static_cast<uint32_t>(c.frame)
                                                 : change + static_cast<uint32_t>(c.frame - change) / 2;
        SmfTrack track = {tempo(0, 10000)};
        if (ticks <= change)
            track.insert(track.end(), {{ticks, {0x90, 60, 100}}, tempo(change - ticks, 20000)});
        else
            track.insert(track.end(), {tempo(change, 20000), {ticks - change, {0x90, 60, 100}}});
        track.push_back({44100, {0x80, 60, 0}});
        writeBytes(Path("note.mid"), smf(0, 441, {track}));
        args.insert(args.end(), {"--midi", Path("note.mid")});
    }
    else
    {
        args.insert(args.end(), {"--notes", "60@" + atFrame(c.frame) + ":1"});
    }
    HostOk(args);
    const Sound out = readSound(Path("out.wav"));
    ASSERT_EQ(out.channels.size(), 2u);
    EXPECT_EQ(firstSound(out.channels[0]), c.frame) << "left";
    EXPECT_EQ(firstSound(out.channels[1]), c.frame) << "right";
}

INSTANTIATE_TEST_SUITE_P(Starts, NoteOnset, ::testing::ValuesIn(kOnsetCases),
                         [](const ::testing::TestParamInfo<OnsetCase>& info) { return info.param.label; });

// ---- The sample through the program chunk ----------------------------------------------

// The instrument plays the file given: a constant sample at twice the value
// gives twice the output, sample for sample.
TEST_F(HostEvents, SampleIsTheOnePlayed)
{
    const std::string loud = WriteConstantSample("loud.wav", 0.5f);
    const std::string quiet = WriteConstantSample("quiet.wav", 0.25f);
    for (const auto& [sample, name] : {std::pair{loud, "loud-out.wav"}, std::pair{quiet, "quiet-out.wav"}})
        HostOk({"render", kSynth, "-o", Path(name), "--seconds", "0.5", "--sample", sample, "--notes", "60@0:0.25",
                "--set", "Attack=0"});
    const Sound a = readSound(Path("loud-out.wav"));
    const Sound b = readSound(Path("quiet-out.wav"));
    ASSERT_EQ(a.channels.size(), 2u);
    ASSERT_EQ(b.channels.size(), 2u);
    ASSERT_EQ(a.Frames(), b.Frames());
    EXPECT_GT(*std::max_element(a.channels[0].begin(), a.channels[0].end()), 0.01f);
    for (size_t ch = 0; ch < 2; ++ch)
        for (size_t i = 0; i < a.Frames(); ++i)
            ASSERT_NEAR(a.channels[ch][i], 2.0f * b.channels[ch][i], 1e-4f) << "channel " << ch << " frame " << i;
}

// ---- Automation --------------------------------------------------------------------

struct AutomationCase
{
    const char* label;
    std::vector<std::string> args; // "@F" inside an argument is replaced by frame F's time
    // Gain of the output against the input from each frame on.
    std::vector<std::pair<size_t, float>> gains;
};
void PrintTo(const AutomationCase& c, std::ostream* os)
{
    *os << c.label;
}

class Automation : public HostEvents, public ::testing::WithParamInterface<AutomationCase>
{
};

// Dry Level d gives gain d*d*d; blocks are 64 frames.
const AutomationCase kAutomationCases[] = {
    {"AtABlockStart", {"--automate", "Dry Level@640=0.5"}, {{0, 1.0f}, {640, 0.125f}}},
    {"InsideABlockTakesItsStart", {"--automate", "Dry Level@650=0.5"}, {{0, 1.0f}, {640, 0.125f}}},
    {"ByIndex", {"--automate", "39@1280=2"}, {{0, 1.0f}, {1280, 8.0f}}},
    {"Several", {"--automate", "Dry Level@1280=2", "--automate", "Dry Level@640=0"},
     {{0, 1.0f}, {640, 0.0f}, {1280, 8.0f}}},
    {"AtZeroOverridesSet", {"--set", "Dry Level=0", "--automate", "Dry Level@0=0.5"}, {{0, 0.125f}}},
    {"LaterOfTheSameTimeWins", {"--automate", "Dry Level@640=0", "--automate", "Dry Level@640=2"},
     {{0, 1.0f}, {640, 8.0f}}},
};

TEST_P(Automation, ChangesTheGainAtItsBlock)
{
    const AutomationCase& c = GetParam();
    constexpr size_t kFrames = 4000;
    const Channels written = {sine(440.0, 0.5, kFrames), sine(1000.0, 0.25, kFrames)};
    ASSERT_TRUE(writeSound(Path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, written));
    const Channels input = readSound(Path("in.wav")).channels;

    std::vector<std::string> args = {"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"), "--block", "64"};
    for (std::string a : c.args)
    {
        const size_t at = a.find('@');
        const size_t equals = a.find('=', at);
        if (at != std::string::npos && equals != std::string::npos)
            a = a.substr(0, at + 1) + atFrame(std::stoul(a.substr(at + 1, equals - at - 1))) + a.substr(equals);
        args.push_back(a);
    }
    HostOk(args);
    const Sound out = readSound(Path("out.wav"));
    ASSERT_EQ(out.channels.size(), 2u);
    ASSERT_EQ(out.Frames(), kFrames);
    for (size_t ch = 0; ch < 2; ++ch)
    {
        std::vector<float> expected(kFrames);
        for (size_t s = 0; s < c.gains.size(); ++s)
        {
            const size_t end = s + 1 < c.gains.size() ? c.gains[s + 1].first : kFrames;
            for (size_t i = c.gains[s].first; i < end; ++i)
                expected[i] = c.gains[s].second * input[ch][i];
        }
        EXPECT_TRUE(sameSamples(out.channels[ch], expected)) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(Points, Automation, ::testing::ValuesIn(kAutomationCases),
                         [](const ::testing::TestParamInfo<AutomationCase>& info) { return info.param.label; });

TEST_F(HostEvents, AutomationPastTheEndWarns)
{
    WriteStereoInput("in.wav");
    const HostRun run =
        HostOk({"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"), "--automate", "Dry Level@5=0"});
    EXPECT_NE(run.err.find("past the end"), std::string::npos) << run.err;
}

// ---- Host time -----------------------------------------------------------------------

// With "Use Beats" on, the effect's record length follows the host's tempo
// and time signature is irrelevant to it: 4 beats of 1/4 are 2 s at 120 BPM
// and 4 s at 60 BPM, 1.333 s with triplets at 120.
TEST_F(HostEvents, TempoSetsTheRecordLengthInBeats)
{
    struct Case
    {
        const char* tempo;
        const char* triplet;
        sf_count_t frames;
    } cases[] = {{"120", "0", 88200}, {"60", "0", 176400}, {"120", "1", 58800}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.tempo);
        const HostRun run = Host({"render", kEffect, "-o", Path("out.wav"), "--seconds", "0.1", "--set", "Use Beats=2",
                                  "--set", std::string("Triplet=") + c.triplet, "--tempo", c.tempo, "--time-sig", "3/4",
                                  "--save-buffer", Path("loop.aiff")});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(static_cast<sf_count_t>(readSound(Path("loop.aiff")).Frames()), c.frames);
    }
}

// ---- The loop buffer -----------------------------------------------------------------

// Records the input into a 0.05 s buffer (triggered recording, started at
// the first frame) and saves it. The input fills the buffer once: recording
// goes on round the loop, adding to what is there. The file is the buffer
// normalised to full scale.
TEST_F(HostEvents, SavedBufferHoldsTheRecording)
{
    constexpr size_t kBufferFrames = 2205;
    const Channels written = {sine(440.0, 0.5, kBufferFrames), sine(1000.0, 0.25, kBufferFrames)};
    ASSERT_TRUE(writeSound(Path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, written));
    const Channels input = readSound(Path("in.wav")).channels;

    const HostRun run = Host({"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"), "--set",
                              "Record Mode=5", "--set", "Buffer Size=0.05", "--automate", "Record On/Off@0=1",
                              "--save-buffer", Path("loop.aiff")});
    if (run.status == 1 && run.err.find("could not save its buffer") != std::string::npos)
        GTEST_SKIP() << "the plug-in does not save its buffer through effVendorSpecific 'OrvB' yet: " << run.err;
    ASSERT_EQ(run.status, 0) << run.err;

    const Sound loop = readSound(Path("loop.aiff"));
    EXPECT_EQ(loop.info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    EXPECT_EQ(loop.info.samplerate, kRate);
    ASSERT_EQ(loop.info.channels, 2);
    ASSERT_EQ(loop.Frames(), kBufferFrames);
    float peak = 0.0f;
    for (const std::vector<float>& channel : input)
        for (float x : channel)
            peak = std::max(peak, std::fabs(x));
    ASSERT_GT(peak, 0.25f);
    for (size_t ch = 0; ch < 2; ++ch)
        for (size_t i = 0; i < kBufferFrames; ++i)
            ASSERT_NEAR(loop.channels[ch][i], input[ch][i] / peak, 1e-5) << "channel " << ch << " frame " << i;
}

TEST_F(HostEvents, UnwritableBufferFailsWithoutOutput)
{
    WriteStereoInput("in.wav");
    const HostRun run = Host({"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"), "--save-buffer",
                              Path("no/such/folder/loop.aiff")});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("loop.aiff"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Path("out.wav")));
}

// ---- Refused requests --------------------------------------------------------------

struct EventRefusalCase
{
    const char* label;
    std::vector<std::string> args; // "@name" is a file in the test's folder
    std::vector<std::string> messages; // each must appear on stderr
};
void PrintTo(const EventRefusalCase& c, std::ostream* os)
{
    *os << c.label;
}

class EventRefusal : public HostEvents, public ::testing::WithParamInterface<EventRefusalCase>
{
};

// In the test's folder: in.wav (stereo, 44100 Hz), text.mid (text),
// truncated.mid (a track cut inside an event), short-track.mid (a track
// shorter than its length says), format2.mid, no-tracks.mid.
const EventRefusalCase kEventRefusalCases[] = {
    {"NoteWithoutLength", {"--notes", "60@0"}, {"60@0", "NOTE[vVEL]@START:LENGTH"}},
    {"NoteWithoutStart", {"--notes", "60"}, {"NOTE[vVEL]@START:LENGTH"}},
    {"NoteAbove127", {"--notes", "128@0:1"}, {"128@0:1", "0...127"}},
    {"NoteNotANumber", {"--notes", "C4@0:1"}, {"C4@0:1", "note"}},
    {"NegativeStart", {"--notes", "60@-1:1"}, {"start"}},
    {"ZeroLength", {"--notes", "60@0:0"}, {"length"}},
    {"LengthWithTrailingText", {"--notes", "60@0:1s"}, {"length"}},
    {"VelocityZero", {"--notes", "60v0@0:1"}, {"velocity"}},
    {"VelocityAbove127", {"--notes", "60v128@0:1"}, {"velocity"}},
    {"EmptyItem", {"--notes", "60@0:1,,64@0:1"}, {"empty item"}},
    {"TrailingComma", {"--notes", "60@0:1,"}, {"empty item"}},
    {"BadItemAfterGoodOnes", {"--notes", "60@0:1", "--notes", "64@0:1,x"}, {"\"x\""}},
    {"AutomateWithoutTime", {"--automate", "Dry Level=1"}, {"NAME@SECONDS=VALUE"}},
    {"AutomateWithoutValue", {"--automate", "Dry Level@1"}, {"NAME@SECONDS=VALUE"}},
    {"AutomateTimeNotANumber", {"--automate", "Dry Level@soon=1"}, {"time"}},
    {"AutomateNegativeTime", {"--automate", "Dry Level@-1=1"}, {"time"}},
    {"AutomateUnknownName", {"--automate", "Dry Levels@0=1"}, {"unknown parameter", "Dry Levels"}},
    {"AutomateValueNotANumber", {"--automate", "Dry Level@0=loud"}, {"not a number"}},
    {"MidiMissing", {"--midi", "@missing.mid"}, {"missing.mid", "No such file"}},
    {"MidiIsAFolder", {"--midi", "@"}, {"cannot read MIDI file"}},
    {"MidiNotMidi", {"--midi", "@text.mid"}, {"text.mid", "not a valid Standard MIDI File"}},
    {"MidiTruncatedEvent", {"--midi", "@truncated.mid"}, {"truncated.mid", "not a valid"}},
    {"MidiShortTrack", {"--midi", "@short-track.mid"}, {"short-track.mid", "not a valid"}},
    {"MidiFormat2", {"--midi", "@format2.mid"}, {"format 2"}},
    {"MidiNoTracks", {"--midi", "@no-tracks.mid"}, {"no tracks"}},
    {"TempoZero", {"--tempo", "0"}, {"--tempo"}},
    {"TimeSigNoDenominator", {"--time-sig", "4"}, {"--time-sig"}},
    {"TimeSigDenominatorNotPowerOfTwo", {"--time-sig", "3/5"}, {"--time-sig", "3/5"}},
    {"TimeSigZeroBeats", {"--time-sig", "0/4"}, {"--time-sig"}},
    {"TimeSigTrailingText", {"--time-sig", "4/4x"}, {"--time-sig"}},
    {"SampleMissing", {"--sample", "@missing.wav"}, {"--sample", "missing.wav"}},
    {"SampleNotAudio", {"--sample", "@text.mid"}, {"--sample", "text.mid"}},
};

TEST_P(EventRefusal, ExitsWithAMessageAndNoOutput)
{
    const EventRefusalCase& c = GetParam();
    WriteStereoInput("in.wav");
    std::ofstream(Path("text.mid")) << "These are not MIDI events.\n";
    std::vector<uint8_t> truncated = smf(0, 96, {{{0, {0x90, 60, 100}}}});
    truncated.resize(truncated.size() - 6); // inside the note-on, track length fixed below
    truncated[21] = static_cast<uint8_t>(truncated.size() - 22);
    writeBytes(Path("truncated.mid"), truncated);
    std::vector<uint8_t> shortTrack = smf(0, 96, {{{0, {0x90, 60, 100}}}});
    shortTrack.resize(shortTrack.size() - 2);
    writeBytes(Path("short-track.mid"), shortTrack);
    writeBytes(Path("format2.mid"), smf(2, 96, {{{0, {0x90, 60, 100}}}}));
    writeBytes(Path("no-tracks.mid"), smf(0, 96, {}));

    std::vector<std::string> args = {"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"),
                                     "--save-buffer", Path("loop.aiff")};
    for (const std::string& a : c.args)
        args.push_back(!a.empty() && a[0] == '@' ? Path(a.substr(1)) : a);
    const HostRun run = Host(args);
    EXPECT_EQ(run.status, 2) << run.err;
    for (const std::string& message : c.messages)
        EXPECT_NE(run.err.find(message), std::string::npos) << "\"" << message << "\" not in: " << run.err;
    EXPECT_FALSE(fs::exists(Path("out.wav")));
    EXPECT_FALSE(fs::exists(Path("loop.aiff")));
}

INSTANTIATE_TEST_SUITE_P(Requests, EventRefusal, ::testing::ValuesIn(kEventRefusalCases),
                         [](const ::testing::TestParamInfo<EventRefusalCase>& info) { return info.param.label; });
} // namespace

// ---- Serving in real time ---------------------------------------------------------------

// A user script in the scripts folder is loaded, prints, and its periodic
// timer keeps firing while serve runs; serve ends after the given time.
TEST_F(HostEvents, ServeRunsScriptsAndTheirTimers)
{
    const std::string data = Path("data");
    const std::string scripts = data + "/Velmora/Orvotide/Scripts";
    std::filesystem::create_directories(scripts);
    {
        std::ofstream script(scripts + "/hello.lua");
        script << "print('hello from a script')\n"
                  "requestPeriodicCallback(0.05, function() print('tick') end)\n";
    }
    const char* old = getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const HostRun run = Host({"serve", kSynth, "--seconds", "1"});
    if (old)
        setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("hello from a script\n", 0), 0u) << run.out;
    size_t ticks = 0;
    for (size_t at = run.out.find("tick\n"); at != std::string::npos; at = run.out.find("tick\n", at + 1))
        ++ticks;
    EXPECT_GE(ticks, 3u) << run.out;

    const HostRun bad = Host({"serve", kSynth, "--seconds", "1", "--set", "No Such Parameter=1"});
    EXPECT_EQ(bad.status, 2);
}
