// orvo-host: a command-line VST 2.4 host for the Orvotide plug-ins.
//   orvo-host info PLUGIN.so     identity, parameters and canDo answers
//   orvo-host render PLUGIN.so   runs the plug-in offline into a sound file
//   orvo-host levels FILE        length, peak and RMS of a sound file
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tools/HostEvents.h"
#include "tools/ParamLookup.h"
#include "tools/PluginHost.h"
#include "tools/RenderSession.h"
#include "tools/SoundFile.h"
#include "xfadelooper/ParamInfo.h"

namespace
{
const char* const kCanDoStrings[] = {
    "sendVstEvents",      "sendVstMidiEvent",    "receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo",
    "offline",            "midiProgramNames",    "bypass",           "plugAsChannelInsert", "plugAsSend",
    "mixDryWet",          "noRealTime",          "multipass",        "metapass",            "1in1out",
    "1in2out",            "2in1out",             "2in2out",          "2in4out",             "4in2out",
    "4in4out",            "4in8out",             "8in4out",          "8in8out",             "sendVstTimeInfo",
    "midiSingleNoteTuningChange", "midiKeyBasedInstrumentControl",
};

const char* categoryName(VstIntPtr category)
{
    static const char* const kNames[] = {"Unknown",  "Effect",     "Synth",       "Analysis",
                                         "Mastering", "Spacializer", "RoomFx",      "SurroundFx",
                                         "Restoration", "OfflineProcess", "Shell", "Generator"};
    return category >= 0 && category < 12 ? kNames[category] : "?";
}

std::string flagNames(VstInt32 flags)
{
    static const struct
    {
        VstInt32 bit;
        const char* name;
    } kFlags[] = {{effFlagsHasEditor, "HasEditor"},         {effFlagsCanReplacing, "CanReplacing"},
                  {effFlagsProgramChunks, "ProgramChunks"}, {effFlagsIsSynth, "IsSynth"},
                  {effFlagsNoSoundInStop, "NoSoundInStop"}, {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
    std::string names;
    for (const auto& f : kFlags)
        if (flags & f.bit)
            names += (names.empty() ? "" : " ") + std::string(f.name);
    return names;
}

int runInfo(const std::string& path)
{
    PluginHost host;
    std::string error;
    if (!host.Load(path, &error))
    {
        fprintf(stderr, "orvo-host: cannot load %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    AEffect* e = host.Effect();
    VstIntPtr vendorVersion = host.Dispatch(effGetVendorVersion);
    VstIntPtr category = host.Dispatch(effGetPlugCategory);
    void* chunk = nullptr;
    VstIntPtr chunkSize = host.Dispatch(effGetChunk, 0, 0, &chunk);

    printf("Plug-in:        %s\n", path.c_str());
    printf("Effect name:    %s\n", host.GetString(effGetEffectName).c_str());
    printf("Vendor:         %s\n", host.GetString(effGetVendorString).c_str());
    printf("Product:        %s\n", host.GetString(effGetProductString).c_str());
    printf("Vendor version: 0x%08lX (%ld.%ld.%ld)\n", static_cast<long>(vendorVersion),
           static_cast<long>(vendorVersion >> 16), static_cast<long>((vendorVersion >> 8) & 0xFF),
           static_cast<long>(vendorVersion & 0xFF));
    printf("Unique ID:      %s (0x%08X)\n", FourCCText(e->uniqueID).c_str(), static_cast<unsigned>(e->uniqueID));
    printf("Category:       %ld (%s)\n", static_cast<long>(category), categoryName(category));
    printf("Flags:          0x%X (%s)\n", static_cast<unsigned>(e->flags), flagNames(e->flags).c_str());
    printf("Inputs/outputs: %d/%d\n", e->numInputs, e->numOutputs);
    printf("VST version:    %ld\n", static_cast<long>(host.Dispatch(effGetVstVersion)));
    printf("Programs:       %d\n", e->numPrograms);
    for (int i = 0; i < e->numPrograms; ++i)
    {
        char name[256] = {0};
        host.Dispatch(effGetProgramNameIndexed, i, 0, name);
        printf("  %d \"%s\"%s\n", i, name, host.Dispatch(effGetProgram) == i ? " (current)" : "");
    }
    printf("Chunk size:     %ld\n", static_cast<long>(chunkSize));
    for (int i = 0; i < e->numOutputs; ++i)
    {
        VstPinProperties pin{};
        if (host.Dispatch(effGetOutputProperties, i, 0, &pin))
            printf("Output %d:       \"%s\" flags 0x%X\n", i, pin.label, static_cast<unsigned>(pin.flags));
    }
    printf("Parameters:     %d\n", e->numParams);
    printf("  %3s  %-26s %-8s %-16s %s\n", "#", "name", "label", "display", "value");
    for (int i = 0; i < e->numParams; ++i)
        printf("  %3d  %-26s %-8s %-16s %.6f\n", i, host.GetString(effGetParamName, i).c_str(),
               host.GetString(effGetParamLabel, i).c_str(), host.GetString(effGetParamDisplay, i).c_str(),
               static_cast<double>(host.GetParameter(i)));
    printf("canDo:\n");
    for (const char* text : kCanDoStrings)
        printf("  %-30s %ld\n", text, static_cast<long>(host.CanDo(text)));
    return 0;
}

// Exit status of render: the request itself is wrong (arguments, or the
// files they name), or the work failed.
constexpr int kExitFailure = 1;
constexpr int kExitBadRequest = 2;

constexpr int kDefaultRate = 44100;
constexpr double kDefaultSeconds = 2.0;
// Renders are held in memory before they are written.
constexpr size_t kMaxFrames = size_t(1) << 27;

struct RenderOptions
{
    std::string plugin;
    std::string input;
    std::string output;
    int rate = 0; // 0: from the input, else kDefaultRate
    int block = 512;
    double seconds = 0.0; // 0: the input's length, else kDefaultSeconds
    std::vector<std::string> sets;
    std::string chunk;
    std::string saveChunk;
    std::string midiFile;
    std::vector<std::string> notes;
    std::vector<std::string> automate;
    double tempo = 120.0;
    std::string timeSig = "4/4";
    std::string sample;
    std::string saveBuffer;
};

// Where the program chunk keeps the path of the sample it plays, and the
// room it has there (NUL included).
constexpr size_t kChunkSamplePathOffset = 44;
constexpr size_t kChunkSamplePathSize = 256;
// effVendorSpecific index under which the plug-ins save their loop buffer
// as a 24-bit AIFF to the path in ptr.
constexpr VstInt32 kSaveBufferSelector = 0x4F727642; // 'OrvB'

// "N/D": N 1...64 beats of 1/D notes, D a power of two 1...64.
bool parseTimeSignature(const std::string& text, int* numerator, int* denominator)
{
    int n = 0;
    int d = 0;
    char tail = 0;
    if (sscanf(text.c_str(), " %d / %d %c", &n, &d, &tail) != 2)
        return false;
    if (n < 1 || n > 64 || d < 1 || d > 64 || (d & (d - 1)) != 0)
        return false;
    *numerator = n;
    *denominator = d;
    return true;
}

std::string formatNumber(double value)
{
    char text[32];
    snprintf(text, sizeof(text), "%g", value);
    return text;
}

int fail(int status, const std::string& message)
{
    fprintf(stderr, "orvo-host: %s\n", message.c_str());
    return status;
}

// Whole files as bytes. On failure errno tells why.
bool readWholeFile(const std::string& path, std::vector<char>* bytes)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bytes->clear();
    char buffer[65536];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + got);
    const bool ok = !ferror(file);
    const int why = errno;
    fclose(file);
    errno = why;
    return ok;
}

bool writeWholeFile(const std::string& path, const std::vector<char>& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int why = errno;
    ok = (fclose(file) == 0) && ok;
    if (!ok)
    {
        remove(path.c_str());
        errno = why;
    }
    return ok;
}

int runRender(const RenderOptions& o)
{
    // Everything that can be wrong with the request is found before the
    // plug-in renders, so a refused request leaves no output behind.
    std::string error;
    if (!OutputFormatForPath(o.output, &error))
        return fail(kExitBadRequest, error);

    std::vector<ParamAssignment> assignments;
    for (const std::string& text : o.sets)
    {
        ParamAssignment a;
        if (!ParseParamAssignment(text, &a, &error))
            return fail(kExitBadRequest, "--set \"" + text + "\": " + error);
        const std::string warning = ParamAssignmentWarning(a);
        if (!warning.empty())
            fprintf(stderr, "orvo-host: warning: --set \"%s\": %s\n", text.c_str(), warning.c_str());
        assignments.push_back(a);
    }

    int sigNumerator = 4;
    int sigDenominator = 4;
    if (!parseTimeSignature(o.timeSig, &sigNumerator, &sigDenominator))
        return fail(kExitBadRequest, "--time-sig \"" + o.timeSig + "\": expected N/D with N 1...64 and D a power of "
                                     "two 1...64, e.g. 3/4");

    std::vector<TimedMidi> midi;
    if (!o.midiFile.empty() && !LoadMidiFile(o.midiFile, &midi, &error))
        return fail(kExitBadRequest, "--midi: " + error);
    for (const std::string& text : o.notes)
        if (!ParseNoteList(text, &midi, &error))
            return fail(kExitBadRequest, "--notes: " + error);

    std::vector<TimedParam> automation;
    for (const std::string& text : o.automate)
    {
        TimedParam p;
        if (!ParseTimedParam(text, &p, &error))
            return fail(kExitBadRequest, "--automate \"" + text + "\": " + error);
        ParamAssignment a;
        a.index = p.index;
        a.plain = p.plain;
        a.normalised = p.normalised;
        const std::string warning = ParamAssignmentWarning(a);
        if (!warning.empty())
            fprintf(stderr, "orvo-host: warning: --automate \"%s\": %s\n", text.c_str(), warning.c_str());
        automation.push_back(p);
    }

    std::string samplePath;
    if (!o.sample.empty())
    {
        StereoAudio probe;
        if (!ReadStereoFile(o.sample, &probe, &error))
            return fail(kExitBadRequest, "--sample: " + error);
        std::error_code ec;
        samplePath = std::filesystem::absolute(o.sample, ec).lexically_normal().string();
        if (ec)
            return fail(kExitBadRequest, "--sample: cannot resolve " + o.sample + ": " + ec.message());
        if (samplePath.size() >= kChunkSamplePathSize)
            return fail(kExitBadRequest, "--sample: the path " + samplePath + " is longer than " +
                                             std::to_string(kChunkSamplePathSize - 1) + " bytes");
    }

    std::vector<char> chunk;
    if (!o.chunk.empty())
    {
        if (!readWholeFile(o.chunk, &chunk))
            return fail(kExitBadRequest, "cannot read chunk file " + o.chunk + ": " + strerror(errno));
        if (chunk.empty())
            return fail(kExitBadRequest, "chunk file " + o.chunk + " is empty");
    }

    PluginHost host;
    if (!host.Load(o.plugin, &error))
        return fail(kExitFailure, "cannot load " + o.plugin + ": " + error);
    const AEffect* effect = host.Effect();

    StereoAudio input;
    const bool hasInput = !o.input.empty();
    if (hasInput)
    {
        if (effect->numInputs == 0)
            return fail(kExitBadRequest, o.plugin + " is an instrument with no audio inputs; -i/--input is not " +
                                             "allowed (use --seconds for the length)");
        if (!ReadStereoFile(o.input, &input, &error))
            return fail(kExitBadRequest, error);
        if (o.rate && input.sampleRate != o.rate)
            return fail(kExitBadRequest, "input " + o.input + " is at " + std::to_string(input.sampleRate) +
                                             " Hz but --rate is " + std::to_string(o.rate) +
                                             " Hz; orvo-host does not resample");
    }
    const int rate = o.rate ? o.rate : hasInput ? input.sampleRate : kDefaultRate;
    const double wanted = (hasInput && o.seconds <= 0.0)
                              ? static_cast<double>(input.Frames())
                              : std::round((o.seconds > 0.0 ? o.seconds : kDefaultSeconds) * rate);
    if (wanted > static_cast<double>(kMaxFrames))
        return fail(kExitBadRequest, "a render of " + formatNumber(wanted) + " frames is too long (at most " +
                                         std::to_string(kMaxFrames) + ")");
    if (o.seconds > 0.0 && wanted < 1.0)
        return fail(kExitBadRequest, "--seconds " + formatNumber(o.seconds) + " is less than one frame at " +
                                         std::to_string(rate) + " Hz");
    const size_t frames = static_cast<size_t>(wanted);
    for (const TimedParam& p : automation)
        if (SecondsToFrame(p.seconds, rate) >= frames)
            fprintf(stderr, "orvo-host: warning: --automate of %s at %g s is past the end of the render; ignored\n",
                    DescribeParam(p.index).c_str(), p.seconds);

    VstTimeInfo& time = host.TimeInfo();
    time.tempo = o.tempo;
    time.timeSigNumerator = sigNumerator;
    time.timeSigDenominator = sigDenominator;
    time.flags |= kVstTempoValid | kVstTimeSigValid;

    host.Start(static_cast<float>(rate), o.block);
    if (!chunk.empty())
        host.Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
    if (!samplePath.empty())
    {
        // The program chunk names the sample; the plug-in reads the file
        // in effSetChunk and plays it from the next block on.
        void* data = nullptr;
        const VstIntPtr size = host.Dispatch(effGetChunk, 0, 0, &data);
        if (size < static_cast<VstIntPtr>(kChunkSamplePathOffset + kChunkSamplePathSize) || !data)
            return fail(kExitFailure, o.plugin + " gave no program chunk to carry the sample path");
        std::vector<char> program(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        char* path = program.data() + kChunkSamplePathOffset;
        memset(path, 0, kChunkSamplePathSize);
        memcpy(path, samplePath.data(), samplePath.size());
        host.Dispatch(effSetChunk, 0, size, program.data());
    }
    for (const ParamAssignment& a : assignments)
        host.SetParameter(a.index, a.normalised);

    RenderSession session;
    session.host = &host;
    session.sampleRate = rate;
    session.blockSize = o.block;
    session.frames = frames;
    session.input = hasInput ? &input : nullptr;
    session.midi = &midi;
    session.automation = &automation;
    const StereoAudio output = RenderAudio(session);

    std::vector<char> savedChunk;
    if (!o.saveChunk.empty())
    {
        void* data = nullptr;
        const VstIntPtr size = host.Dispatch(effGetChunk, 0, 0, &data);
        if (size <= 0 || !data)
            return fail(kExitFailure, o.plugin + " gave no chunk to save");
        savedChunk.assign(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    }

    if (!o.saveBuffer.empty() &&
        host.Dispatch(effVendorSpecific, kSaveBufferSelector, 0, const_cast<char*>(o.saveBuffer.c_str())) != 1)
    {
        remove(o.saveBuffer.c_str());
        return fail(kExitFailure, o.plugin + " could not save its buffer to " + o.saveBuffer);
    }

    if (!WriteStereoFile(o.output, output, &error))
    {
        if (!o.saveBuffer.empty())
            remove(o.saveBuffer.c_str());
        return fail(kExitFailure, error);
    }
    if (!o.saveChunk.empty() && !writeWholeFile(o.saveChunk, savedChunk))
        return fail(kExitFailure, "cannot write chunk file " + o.saveChunk + ": " + strerror(errno));

    const AudioLevels levels = MeasureLevels(output);
    printf("%zu frames, %.6f s at %d Hz, peak %.2f dBFS (%.6f), RMS %.2f dBFS (%.6f)\n", output.Frames(),
           static_cast<double>(output.Frames()) / rate, rate, LinearToDbfs(levels.peak),
           static_cast<double>(levels.peak), LinearToDbfs(levels.rms), levels.rms);
    return 0;
}
// Levels of a sound file, or of the part from a time on.
int runLevels(const std::string& path, double from)
{
    StereoAudio audio;
    std::string error;
    if (!ReadStereoFile(path, &audio, &error))
        return fail(kExitBadRequest, error);
    const size_t total = audio.Frames();
    const size_t start = std::min(SecondsToFrame(from, audio.sampleRate), total);
    StereoAudio part;
    part.sampleRate = audio.sampleRate;
    part.left.assign(audio.left.begin() + static_cast<std::ptrdiff_t>(start), audio.left.end());
    part.right.assign(audio.right.begin() + static_cast<std::ptrdiff_t>(start), audio.right.end());
    const AudioLevels levels = MeasureLevels(part);
    printf("%zu frames, %.6f s at %d Hz, peak %.2f dBFS (%.6f), RMS %.2f dBFS (%.6f)\n", part.Frames(),
           static_cast<double>(part.Frames()) / audio.sampleRate, audio.sampleRate, LinearToDbfs(levels.peak),
           static_cast<double>(levels.peak), LinearToDbfs(levels.rms), levels.rms);
    return 0;
}
} // namespace

// Ends a serve run early on Ctrl-C or a termination request.
std::atomic<bool> g_stopServing{false};

void stopServing(int)
{
    g_stopServing = true;
}

// Runs a plug-in in real time: silent blocks at the host rate for the given
// time, so its timers run, its scripts print and its OSC server answers.
int runServe(const std::string& plugin, double seconds, int rate, int block, const std::vector<std::string>& sets)
{
    std::string error;
    std::vector<ParamAssignment> assignments;
    for (const std::string& text : sets)
    {
        ParamAssignment a;
        if (!ParseParamAssignment(text, &a, &error))
            return fail(kExitBadRequest, "--set \"" + text + "\": " + error);
        assignments.push_back(a);
    }
    // What scripts print shows up as it happens.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    PluginHost host;
    if (!host.Load(plugin, &error))
        return fail(kExitFailure, "cannot load " + plugin + ": " + error);
    host.Start(static_cast<float>(rate), block);
    for (const ParamAssignment& a : assignments)
        host.SetParameter(a.index, a.normalised);

    signal(SIGINT, stopServing);
    signal(SIGTERM, stopServing);
    std::vector<float> silenceL(static_cast<size_t>(block)), silenceR(static_cast<size_t>(block));
    std::vector<float> outL(static_cast<size_t>(block)), outR(static_cast<size_t>(block));
    float* inputs[2] = {silenceL.data(), silenceR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    const auto period = std::chrono::duration<double>(static_cast<double>(block) / rate);
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(seconds));
    auto next = start;
    while (!g_stopServing && std::chrono::steady_clock::now() < end)
    {
        host.Process(inputs, outputs, block);
        host.AdvanceTime(block);
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        std::this_thread::sleep_until(next);
    }
    host.Unload();
    return 0;
}

int main(int argc, char** argv)
{
    CLI::App app{"orvo-host: a command-line VST 2.4 host for the Orvotide plug-ins"};
    app.require_subcommand(1);

    std::string infoPath;
    CLI::App* info = app.add_subcommand("info", "Print a plug-in's identity, parameters and canDo answers");
    info->add_option("plugin", infoPath, "Plug-in shared object (.so)")->required();

    std::string levelsPath;
    double levelsFrom = 0.0;
    CLI::App* levels = app.add_subcommand("levels", "Print length, peak and RMS of a sound file, or of its part "
                                                    "from --from on");
    levels->add_option("file", levelsPath, "Sound file")->required();
    levels->add_option("--from", levelsFrom, "Measures from this time on, in seconds")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber);

    RenderOptions render;
    CLI::App* renderCommand = app.add_subcommand("render", "Run a plug-in offline over audio into a sound file");
    renderCommand->add_option("plugin", render.plugin, "Plug-in shared object (.so)")
        ->required()
        ->type_name("PLUGIN.so");
    renderCommand->add_option("-i,--input", render.input,
                              "Input sound file (effects only); mono feeds both inputs, of more channels the "
                              "first two are used")
        ->type_name("FILE");
    renderCommand->add_option("-o,--output", render.output, "Output file: .wav (32-bit float), .aiff/.aif or .flac "
                                                            "(24-bit), stereo")
        ->required()
        ->type_name("FILE");
    renderCommand->add_option("--rate", render.rate, "Sample rate in Hz (default: the input's, else 44100)")
        ->type_name("HZ")
        ->check(CLI::Range(1, 768000));
    renderCommand->add_option("--block", render.block, "Frames per processing block, 1...8192")
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::Range(1, 8192));
    renderCommand->add_option("--seconds", render.seconds,
                              "Length in seconds (default: the input's length, else 2); the input is cut or "
                              "padded with silence")
        ->type_name("S")
        ->check(CLI::PositiveNumber);
    renderCommand->add_option("--set", render.sets,
                              "NAME=VALUE or INDEX=VALUE: sets a parameter (full name as 'info' lists it, "
                              "case-sensitive, or index 0..." +
                                  std::to_string(kNumParams - 1) +
                                  ") to a value in its own unit; repeatable, applied in order after --chunk")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    renderCommand->add_option("--chunk", render.chunk, "Loads a saved chunk (effSetChunk) before the --set values")
        ->type_name("FILE");
    renderCommand->add_option("--save-chunk", render.saveChunk, "Writes the plug-in's chunk (effGetChunk) after "
                                                                "rendering")
        ->type_name("FILE");
    renderCommand->add_option("--midi", render.midiFile,
                              "Plays a Standard MIDI File (format 0 or 1, all tracks and channels) from the "
                              "start; its tempo changes place the events")
        ->type_name("FILE.mid");
    renderCommand->add_option("--notes", render.notes,
                              "Plays notes: comma-separated NOTE[vVEL]@START:LENGTH, e.g. "
                              "\"60@0:1.5,64v90@0.5:1,67@1:2\" (MIDI note 0...127, velocity 1...127, default " +
                                  std::to_string(kDefaultNoteVelocity) +
                                  ", START and LENGTH in seconds); channel 1; repeatable, and mixes with --midi")
        ->allow_extra_args(false)
        ->type_name("LIST");
    renderCommand->add_option("--automate", render.automate,
                              "NAME@SECONDS=VALUE: sets a parameter (named as for --set) to a value in its own "
                              "unit at a time; applied before the block holding that time, so it takes effect "
                              "from that block's first frame (use --block for finer steps); repeatable")
        ->allow_extra_args(false)
        ->type_name("NAME@S=VALUE");
    renderCommand->add_option("--tempo", render.tempo, "Host tempo in beats per minute, as the plug-in sees it")
        ->type_name("BPM")
        ->capture_default_str()
        ->check(CLI::Range(1.0, 999.0));
    renderCommand->add_option("--time-sig", render.timeSig, "Host time signature N/D, as the plug-in sees it")
        ->type_name("N/D")
        ->capture_default_str();
    renderCommand->add_option("--sample", render.sample,
                              "Loads a sound file as the plug-in's sample (through its program chunk, after "
                              "--chunk and before the --set values); it plays from the first block")
        ->type_name("FILE");
    renderCommand->add_option("--save-buffer", render.saveBuffer,
                              "Writes the plug-in's loop buffer after rendering, as a 24-bit stereo AIFF")
        ->type_name("FILE");
    renderCommand->footer("MIDI events reach the plug-in through effProcessEvents before the block that holds "
                          "them, at their frame inside it.\n"
                          "Prints frames, seconds, peak and RMS of the output. Exit status: 0 done, 1 the plug-in "
                          "or an output file failed, 2 invalid arguments or input files (no output is written).");

    std::string servePlugin;
    double serveSeconds = 10.0;
    int serveRate = 44100;
    int serveBlock = 512;
    std::vector<std::string> serveSets;
    CLI::App* serve = app.add_subcommand("serve", "Run a plug-in in real time on silent blocks, so its script timers "
                                                  "run and its OSC server answers; prints what scripts print");
    serve->add_option("plugin", servePlugin, "Plug-in shared object (.so)")->required()->type_name("PLUGIN.so");
    serve->add_option("--seconds", serveSeconds, "How long to run")
        ->type_name("S")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    serve->add_option("--rate", serveRate, "Sample rate in Hz")
        ->capture_default_str()
        ->check(CLI::Range(1, 768000));
    serve->add_option("--block", serveBlock, "Frames per block, 1...8192")
        ->capture_default_str()
        ->check(CLI::Range(1, 8192));
    serve->add_option("--set", serveSets,
                      "NAME=VALUE or INDEX=VALUE, as for render (e.g. \"OSC Port Offset=5\"); repeatable")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        // Help and version requests exit 0; every other refusal is a bad
        // request.
        app.exit(e);
        return e.get_exit_code() == 0 ? 0 : kExitBadRequest;
    }
    if (info->parsed())
        return runInfo(infoPath);
    if (levels->parsed())
        return runLevels(levelsPath, levelsFrom);
    if (renderCommand->parsed())
        return runRender(render);
    if (serve->parsed())
        return runServe(servePlugin, serveSeconds, serveRate, serveBlock, serveSets);
    return 0;
}
