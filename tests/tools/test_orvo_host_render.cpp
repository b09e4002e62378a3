// orvo-host render as a user runs it: the built program in its own process
// on the built plug-ins, with sound files written and read back through
// libsndfile.
#include "HostTestSupport.h"

namespace
{
using namespace orvo_host_test;

// ---- Gain through the effect's Dry Level ------------------------------------

struct GainCase
{
    const char* label;
    std::vector<std::string> sets; // --set arguments, in order
    float gain;                    // of the output against the input
    bool warns;                    // a warning on stderr
};
void PrintTo(const GainCase& c, std::ostream* os)
{
    *os << c.label;
}

class EffectGain : public OrvoHostRender, public ::testing::WithParamInterface<GainCase>
{
};

// Dry Level is a fader curve: plain level d gives gain d*d*d. These levels are
// chosen so the expected output is exact in floating point.
const GainCase kGainCases[] = {
    {"Defaults", {}, 1.0f, false},
    {"DryLevelOneIsUnity", {"Dry Level=1"}, 1.0f, false},
    {"DryLevelZeroIsSilence", {"Dry Level=0"}, 0.0f, false},
    {"DryLevelHalf", {"Dry Level=0.5"}, 0.125f, false},
    {"DryLevelTwo", {"Dry Level=2"}, 8.0f, false},
    {"ByIndex", {"39=2"}, 8.0f, false},
    {"BlanksAroundNameAndValue", {" Dry Level = 2 "}, 8.0f, false},
    {"LaterSetWins", {"Dry Level=0", "39=2"}, 8.0f, false},
    {"OtherParametersLeaveGain", {"Filter Cutoff=12000", "Dry Level=0.5", "Root Note=72"}, 0.125f, false},
    {"AboveRangeIsPassedOnUnclamped", {"Dry Level=3"}, 27.0f, true},
    {"BelowRangeWarns", {"Filter Cutoff=20", "Dry Level=2"}, 8.0f, true},
};

TEST_P(EffectGain, OutputIsInputTimesGain)
{
    const GainCase& c = GetParam();
    const Channels input = WriteStereoInput("in.wav");
    ASSERT_FALSE(sameSamples(input[0], input[1])) << "left and right must differ";
    std::vector<std::string> args = {"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav")};
    for (const std::string& set : c.sets)
        args.insert(args.end(), {"--set", set});
    const HostRun run = HostOk(args);
    EXPECT_EQ(run.err.find("warning") != std::string::npos, c.warns) << run.err;

    const Sound out = readSound(Path("out.wav"));
    EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(out.info.samplerate, kRate);
    ASSERT_EQ(out.info.channels, 2);
    EXPECT_TRUE(sameSamples(out.channels[0], scaled(input[0], c.gain))) << "left";
    EXPECT_TRUE(sameSamples(out.channels[1], scaled(input[1], c.gain))) << "right";
}

INSTANTIATE_TEST_SUITE_P(Sets, EffectGain, ::testing::ValuesIn(kGainCases),
                         [](const ::testing::TestParamInfo<GainCase>& info) { return info.param.label; });

// ---- Block sizes -------------------------------------------------------------

class BlockSize : public OrvoHostRender, public ::testing::WithParamInterface<int>
{
};

// Except for 1, the input's length is a multiple of none of these: the last
// block is short, or the only block is shorter than the block size.
TEST_P(BlockSize, DoesNotChangeTheOutput)
{
    const Channels input = WriteStereoInput("in.wav");
    HostOk({"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"), "--block", std::to_string(GetParam()),
            "--set", "Dry Level=0.5"});
    const Sound out = readSound(Path("out.wav"));
    ASSERT_EQ(out.info.channels, 2);
    EXPECT_TRUE(sameSamples(out.channels[0], scaled(input[0], 0.125f))) << "left";
    EXPECT_TRUE(sameSamples(out.channels[1], scaled(input[1], 0.125f))) << "right";
}

INSTANTIATE_TEST_SUITE_P(Frames, BlockSize, ::testing::Values(1, 7, 512, 999, 8192));

// ---- Input files ---------------------------------------------------------------

struct InputCase
{
    const char* label;
    int format;
    int channels;
};
void PrintTo(const InputCase& c, std::ostream* os)
{
    *os << c.label;
}

class InputFile : public OrvoHostRender, public ::testing::WithParamInterface<InputCase>
{
};

const InputCase kInputCases[] = {
    {"MonoWav16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1},
    {"StereoWavFloat", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2},
    {"StereoFlac16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2},
    {"ThreeChannelAiff24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 3},
    {"FourChannelWav24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 4},
};

// Mono feeds both channels; of more channels the first two are used.
TEST_P(InputFile, FeedsTheFirstTwoChannels)
{
    const InputCase& c = GetParam();
    Channels written;
    for (int i = 0; i < c.channels; ++i)
        written.push_back(sine(300.0 * (i + 1), 0.5 / (i + 1), kInputFrames));
    ASSERT_TRUE(writeSound(Path("in.snd"), c.format, kRate, written));
    const Channels input = readSound(Path("in.snd")).channels;

    HostOk({"render", kEffect, "-i", Path("in.snd"), "-o", Path("out.wav")});
    const Sound out = readSound(Path("out.wav"));
    ASSERT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.samplerate, kRate);
    EXPECT_TRUE(sameSamples(out.channels[0], input[0])) << "left";
    EXPECT_TRUE(sameSamples(out.channels[1], input[c.channels > 1 ? 1 : 0])) << "right";
}

INSTANTIATE_TEST_SUITE_P(Formats, InputFile, ::testing::ValuesIn(kInputCases),
                         [](const ::testing::TestParamInfo<InputCase>& info) { return info.param.label; });

// ---- Lengths -------------------------------------------------------------------

struct LengthCase
{
    const char* label;
    bool effect; // the effect with the 1000-frame input at 44100 Hz, else the instrument
    std::vector<std::string> args;
    int rate;
    size_t frames;
};
void PrintTo(const LengthCase& c, std::ostream* os)
{
    *os << c.label;
}

class Length : public OrvoHostRender, public ::testing::WithParamInterface<LengthCase>
{
};

const LengthCase kLengthCases[] = {
    {"InstrumentDefaultsToTwoSeconds", false, {}, 44100, 88200},
    {"InstrumentSeconds", false, {"--seconds", "0.5"}, 44100, 22050},
    {"InstrumentRate", false, {"--rate", "96000"}, 96000, 192000},
    {"InstrumentSecondsAndRate", false, {"--seconds", "0.25", "--rate", "48000"}, 48000, 12000},
    {"EffectTakesTheInputLength", true, {}, 44100, kInputFrames},
    {"EffectRateMatchingTheInput", true, {"--rate", "44100"}, 44100, kInputFrames},
    {"EffectCutsTheInput", true, {"--seconds", "0.01"}, 44100, 441},
    {"EffectPadsTheInput", true, {"--seconds", "0.05"}, 44100, 2205},
};

// The instrument renders silence; the effect (at unity) renders its input,
// then silence.
TEST_P(Length, OfTheRender)
{
    const LengthCase& c = GetParam();
    Channels input;
    std::vector<std::string> args = {"render", c.effect ? kEffect : kSynth, "-o", Path("out.wav")};
    if (c.effect)
    {
        input = WriteStereoInput("in.wav");
        args.insert(args.end(), {"-i", Path("in.wav")});
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    HostOk(args);

    const Sound out = readSound(Path("out.wav"));
    EXPECT_EQ(out.info.samplerate, c.rate);
    ASSERT_EQ(out.info.channels, 2);
    ASSERT_EQ(out.Frames(), c.frames);
    for (size_t ch = 0; ch < 2; ++ch)
    {
        std::vector<float> expected(c.frames, 0.0f);
        if (c.effect)
            std::copy_n(input[ch].begin(), std::min(c.frames, input[ch].size()), expected.begin());
        EXPECT_TRUE(sameSamples(out.channels[ch], expected)) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(Renders, Length, ::testing::ValuesIn(kLengthCases),
                         [](const ::testing::TestParamInfo<LengthCase>& info) { return info.param.label; });

// ---- Output formats ------------------------------------------------------------

struct OutputCase
{
    const char* name;
    int format;
};
void PrintTo(const OutputCase& c, std::ostream* os)
{
    *os << c.name;
}

class OutputFormat : public OrvoHostRender, public ::testing::WithParamInterface<OutputCase>
{
};

const OutputCase kOutputCases[] = {
    {"out.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
    {"OUT.WAV", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
    {"out.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
    {"out.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
    {"out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
};

// 16-bit input survives every format exactly at unity gain; at 8 times the
// integer formats clip at full scale instead of wrapping round.
TEST_P(OutputFormat, FollowsTheExtension)
{
    const OutputCase& c = GetParam();
    const Channels input = WriteStereoInput("in.wav");
    for (const char* level : {"1", "2"})
    {
        SCOPED_TRACE(std::string("Dry Level ") + level);
        HostOk({"render", kEffect, "-i", Path("in.wav"), "-o", Path(c.name), "--set", std::string("Dry Level=") + level});
        const Sound out = readSound(Path(c.name));
        EXPECT_EQ(out.info.format, c.format);
        EXPECT_EQ(out.info.samplerate, kRate);
        ASSERT_EQ(out.info.channels, 2);
        const bool loud = level[0] == '2';
        const bool isFloat = (c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT;
        for (size_t ch = 0; ch < 2; ++ch)
        {
            std::vector<float> expected = scaled(input[ch], loud ? 8.0f : 1.0f);
            if (loud && !isFloat)
            {
                ASSERT_EQ(out.channels[ch].size(), expected.size());
                for (size_t i = 0; i < expected.size(); ++i)
                    ASSERT_NEAR(out.channels[ch][i], std::clamp(expected[i], -1.0f, 1.0f), 1.0 / (1 << 22))
                        << "channel " << ch << " sample " << i;
            }
            else
            {
                EXPECT_TRUE(sameSamples(out.channels[ch], expected)) << "channel " << ch;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Extensions, OutputFormat, ::testing::ValuesIn(kOutputCases),
                         [](const ::testing::TestParamInfo<OutputCase>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

// ---- Chunks --------------------------------------------------------------------

TEST_F(OrvoHostRender, SavedChunkCarriesSettingsIntoTheNextRender)
{
    const Channels input = WriteStereoInput("in.wav");
    HostOk({"render", kEffect, "-i", Path("in.wav"), "-o", Path("first.wav"), "--set", "Dry Level=0",
            "--save-chunk", Path("state.chunk")});
    ASSERT_TRUE(fs::exists(Path("state.chunk")));
    EXPECT_GT(fs::file_size(Path("state.chunk")), 0u);

    HostOk({"render", kEffect, "-i", Path("in.wav"), "-o", Path("silent.wav"), "--chunk", Path("state.chunk")});
    const Sound silentOut = readSound(Path("silent.wav"));
    ASSERT_EQ(silentOut.channels.size(), 2u);
    EXPECT_EQ(silentOut.Frames(), kInputFrames);
    EXPECT_TRUE(silent(silentOut.channels[0]));
    EXPECT_TRUE(silent(silentOut.channels[1]));

    // --set comes after the chunk, whatever the order on the command line.
    HostOk({"render", kEffect, "--set", "Dry Level=2", "-i", Path("in.wav"), "-o", Path("loud.wav"), "--chunk",
            Path("state.chunk")});
    const Sound loud = readSound(Path("loud.wav"));
    ASSERT_EQ(loud.channels.size(), 2u);
    EXPECT_TRUE(sameSamples(loud.channels[0], scaled(input[0], 8.0f)));
    EXPECT_TRUE(sameSamples(loud.channels[1], scaled(input[1], 8.0f)));
}

TEST_F(OrvoHostRender, SavedChunkIsTheChunkOfTheSettings)
{
    WriteStereoInput("in.wav");
    // The same state saved twice gives the same bytes; a different state does not.
    for (const char* name : {"a", "b"})
        HostOk({"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"), "--set", "Dry Level=0",
                "--save-chunk", Path(name)});
    HostOk({"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"), "--set", "Dry Level=2",
            "--save-chunk", Path("c")});
    EXPECT_EQ(slurp(Path("a")), slurp(Path("b")));
    EXPECT_NE(slurp(Path("a")), slurp(Path("c")));
}

// ---- Summary -------------------------------------------------------------------

struct Summary
{
    unsigned long frames = 0;
    double seconds = 0, peakDb = 0, peak = 0, rmsDb = 0, rms = 0;
    int rate = 0;
};

// The summary is the last line on stdout (the plug-in may print before it).
bool parseSummary(const std::string& out, Summary* s)
{
    std::string text = out;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const size_t newline = text.find_last_of('\n');
    const std::string line = newline == std::string::npos ? text : text.substr(newline + 1);
    return sscanf(line.c_str(), "%lu frames, %lf s at %d Hz, peak %lf dBFS (%lf), RMS %lf dBFS (%lf)", &s->frames,
                  &s->seconds, &s->rate, &s->peakDb, &s->peak, &s->rmsDb, &s->rms) == 7;
}

TEST_F(OrvoHostRender, SummaryMeasuresTheOutput)
{
    WriteStereoInput("in.wav");
    const HostRun run = HostOk({"render", kEffect, "-i", Path("in.wav"), "-o", Path("out.wav"), "--set", "Dry Level=2"});
    Summary s;
    ASSERT_TRUE(parseSummary(run.out, &s)) << run.out;

    const Sound out = readSound(Path("out.wav"));
    double peak = 0.0;
    double sum = 0.0;
    for (const std::vector<float>& channel : out.channels)
        for (float x : channel)
        {
            peak = std::max(peak, std::fabs(static_cast<double>(x)));
            sum += static_cast<double>(x) * x;
        }
    const double rms = std::sqrt(sum / (2.0 * static_cast<double>(out.Frames())));
    EXPECT_EQ(s.frames, out.Frames());
    EXPECT_EQ(s.rate, kRate);
    EXPECT_NEAR(s.seconds, static_cast<double>(kInputFrames) / kRate, 1e-6);
    EXPECT_NEAR(s.peak, peak, 1e-5);
    EXPECT_NEAR(s.rms, rms, 1e-5);
    EXPECT_NEAR(s.peakDb, 20.0 * std::log10(peak), 0.01);
    EXPECT_NEAR(s.rmsDb, 20.0 * std::log10(rms), 0.01);
    EXPECT_GT(s.peak, 1.0) << "the output is louder than full scale at Dry Level 2";
}

TEST_F(OrvoHostRender, SummaryOfSilence)
{
    const HostRun run = HostOk({"render", kSynth, "-o", Path("out.wav"), "--seconds", "1"});
    Summary s;
    ASSERT_TRUE(parseSummary(run.out, &s)) << run.out;
    EXPECT_EQ(s.frames, 44100u);
    EXPECT_EQ(s.peak, 0.0);
    EXPECT_EQ(s.rms, 0.0);
    EXPECT_TRUE(std::isinf(s.peakDb) && s.peakDb < 0) << s.peakDb;
}

// ---- Refused requests ----------------------------------------------------------

struct RefusalCase
{
    const char* label;
    const char* plugin; // kEffectName, kInstrumentName, or a file in the test's folder
    const char* input;  // a file in the test's folder; "" for none
    const char* output; // a file in the test's folder
    std::vector<std::string> args; // more arguments; "@name" is a file in the test's folder
    int status;
    std::vector<std::string> messages; // each must appear on stderr
};
void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.label;
}

const char* const kEffectName = "effect";
const char* const kInstrumentName = "instrument";

class Refusal : public OrvoHostRender, public ::testing::WithParamInterface<RefusalCase>
{
};

// In the test's folder: in.wav (stereo, 44100 Hz), notes.txt (text) and
// empty.chunk (no bytes).
const RefusalCase kRefusalCases[] = {
    {"UnknownName", kEffectName, "in.wav", "out.wav", {"--set", "Dry Levels=1"}, 2,
     {"unknown parameter", "Dry Levels"}},
    {"NameIsCaseSensitive", kEffectName, "in.wav", "out.wav", {"--set", "dry level=1"}, 2,
     {"unknown parameter", "did you mean \"Dry Level\""}},
    {"SharedName", kEffectName, "in.wav", "out.wav", {"--set", "Unused=0"}, 2, {"Unused", "13", "25"}},
    {"IndexPastTheEnd", kEffectName, "in.wav", "out.wav", {"--set", "88=1"}, 2, {"88", "out of range"}},
    {"NegativeIndex", kEffectName, "in.wav", "out.wav", {"--set", "-1=1"}, 2, {"-1", "out of range"}},
    {"ValueNotANumber", kEffectName, "in.wav", "out.wav", {"--set", "Dry Level=loud"}, 2,
     {"loud", "not a number"}},
    {"ValueWithTrailingText", kEffectName, "in.wav", "out.wav", {"--set", "39=1x"}, 2, {"1x", "not a number"}},
    {"ValueMissing", kEffectName, "in.wav", "out.wav", {"--set", "Dry Level="}, 2, {"not a number"}},
    {"ValueNotFinite", kEffectName, "in.wav", "out.wav", {"--set", "Dry Level=inf"}, 2, {"not a number"}},
    {"ZeroHertz", kEffectName, "in.wav", "out.wav", {"--set", "Filter Cutoff=0"}, 2,
     {"Filter Cutoff", "no 0...1 equivalent"}},
    {"NegativeHertz", kEffectName, "in.wav", "out.wav", {"--set", "15=-5"}, 2, {"Filter Cutoff"}},
    {"NoEqualsSign", kEffectName, "in.wav", "out.wav", {"--set", "Dry Level"}, 2, {"NAME=VALUE"}},
    {"BadSetAfterGoodOnes", kEffectName, "in.wav", "out.wav", {"--set", "Dry Level=1", "--set", "Feedbak=1"}, 2,
     {"Feedbak"}},
    {"MissingInputFile", kEffectName, "missing.wav", "out.wav", {}, 2, {"missing.wav", "No such file"}},
    {"InputNotAudio", kEffectName, "notes.txt", "out.wav", {}, 2, {"notes.txt"}},
    {"InputRateMismatch", kEffectName, "in.wav", "out.wav", {"--rate", "48000"}, 2, {"44100", "48000", "resample"}},
    {"InputToTheInstrument", kInstrumentName, "in.wav", "out.wav", {}, 2, {"instrument", "-i"}},
    {"MissingChunkFile", kEffectName, "in.wav", "out.wav", {"--chunk", "@missing.chunk"}, 2,
     {"missing.chunk", "No such file"}},
    {"ChunkIsAFolder", kEffectName, "in.wav", "out.wav", {"--chunk", "@"}, 2, {"chunk"}},
    {"EmptyChunkFile", kEffectName, "in.wav", "out.wav", {"--chunk", "@empty.chunk"}, 2, {"empty.chunk", "empty"}},
    {"UnknownOutputExtension", kEffectName, "in.wav", "out.mp3", {}, 2, {"out.mp3", ".wav"}},
    {"OutputWithoutExtension", kEffectName, "in.wav", "out", {}, 2, {".wav"}},
    {"BlockZero", kEffectName, "in.wav", "out.wav", {"--block", "0"}, 2, {"--block"}},
    {"BlockTooLarge", kEffectName, "in.wav", "out.wav", {"--block", "8193"}, 2, {"--block"}},
    {"SecondsZero", kInstrumentName, "", "out.wav", {"--seconds", "0"}, 2, {"--seconds"}},
    {"SecondsBelowOneFrame", kInstrumentName, "", "out.wav", {"--seconds", "1e-9"}, 2, {"--seconds"}},
    {"SecondsTooLong", kInstrumentName, "", "out.wav", {"--seconds", "1e12"}, 2, {"too long"}},
    {"MissingPlugin", "none.so", "in.wav", "out.wav", {}, 1, {"none.so"}},
    {"OutputFolderMissing", kEffectName, "in.wav", "no/such/folder/out.wav", {}, 1, {"out.wav"}},
};

TEST_P(Refusal, ExitsWithAMessageAndNoOutput)
{
    const RefusalCase& c = GetParam();
    WriteStereoInput("in.wav");
    std::ofstream(Path("notes.txt")) << "These are not samples.\n";
    std::ofstream(Path("empty.chunk")).close();

    const std::string name = c.plugin;
    const std::string plugin = name == kEffectName ? kEffect : name == kInstrumentName ? kSynth : Path(name);
    const std::string output = Path(c.output);
    std::vector<std::string> args = {"render", plugin, "-o", output, "--save-chunk", Path("saved.chunk")};
    if (*c.input)
        args.insert(args.end(), {"-i", Path(c.input)});
    for (const std::string& a : c.args)
        args.push_back(!a.empty() && a[0] == '@' ? Path(a.substr(1)) : a);

    const HostRun run = Host(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    for (const std::string& message : c.messages)
        EXPECT_NE(run.err.find(message), std::string::npos) << "\"" << message << "\" not in: " << run.err;
    EXPECT_FALSE(fs::exists(output)) << output;
    EXPECT_FALSE(fs::exists(Path("saved.chunk")));
}

INSTANTIATE_TEST_SUITE_P(Requests, Refusal, ::testing::ValuesIn(kRefusalCases),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.label; });
} // namespace
