// orvo-host: a command-line VST 2.4 host for the Orvotide plug-ins.
//   orvo-host info PLUGIN.so     identity, parameters and canDo answers
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "tools/PluginHost.h"

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
} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"orvo-host: a command-line VST 2.4 host for the Orvotide plug-ins"};
    app.require_subcommand(1);

    std::string infoPath;
    CLI::App* info = app.add_subcommand("info", "Print a plug-in's identity, parameters and canDo answers");
    info->add_option("plugin", infoPath, "Plug-in shared object (.so)")->required();

    CLI11_PARSE(app, argc, argv);
    if (info->parsed())
        return runInfo(infoPath);
    return 0;
}
