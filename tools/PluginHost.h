// A minimal VST 2.4 host: loads a plug-in shared object with dlopen, calls
// VSTPluginMain with a real host callback and drives the plug-in through its
// dispatcher. Used by orvo-host and by the tests that check the plug-ins from
// the outside.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "vst/VstAbi.h"

class PluginHost
{
public:
    struct AutomationEvent
    {
        int index;
        float value;
    };

    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // What the host answers to audioMasterVersion (2400 unless changed
    // before Load).
    void SetVersionAnswer(VstIntPtr version) { m_versionAnswer = version; }

    // Loads the shared object and creates the plug-in. On failure returns
    // false and puts the reason into *error.
    bool Load(const std::string& path, std::string* error);
    // Closes the plug-in (effClose) and unloads the shared object.
    void Unload();

    AEffect* Effect() const { return m_effect; }
    bool IsLoaded() const { return m_effect != nullptr; }

    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0) const;
    // Runs a string query (name, label, display, vendor, ...) into a roomy
    // buffer and returns the text.
    std::string GetString(VstInt32 opcode, VstInt32 index = 0) const;
    VstIntPtr CanDo(const char* text) const;

    float GetParameter(int index) const;
    void SetParameter(int index, float normalised) const;
    // Finds a parameter by its name (as the plug-in reports it); -1 if none.
    int FindParameter(const std::string& name) const;

    // Sets sample rate and block size and switches the plug-in on.
    void Start(float sampleRate, int blockSize);
    void Process(float** inputs, float** outputs, int frames) const;

    // Host time handed to the plug-in through audioMasterGetTime.
    VstTimeInfo& TimeInfo() { return m_timeInfo; }
    // Puts the transport at samplePos and starts or stops it. A change of
    // the playing state is flagged (kVstTransportChanged) until the next
    // AdvanceTime.
    void SetTransport(double samplePos, bool playing);
    // Moves the transport on by frames (after a block), keeping the musical
    // position (ppqPos, barStartPos) in step with the tempo and signature.
    void AdvanceTime(int frames);

    std::vector<AutomationEvent> TakeAutomation();
    int UpdateDisplayCount() const { return m_updateDisplayCount; }

private:
    static VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt);
    VstIntPtr Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void updateMusicalPosition();

    void* m_library = nullptr;
    AEffect* m_effect = nullptr;
    VstIntPtr m_versionAnswer = kVstVersion;
    float m_sampleRate = 44100.0f;
    int m_blockSize = 512;
    VstTimeInfo m_timeInfo{};

    std::mutex m_mutex;
    std::vector<AutomationEvent> m_automation;
    int m_updateDisplayCount = 0;
    int m_editDepth = 0;
};

// A four-character code as text ("VLxe").
std::string FourCCText(VstInt32 code);
