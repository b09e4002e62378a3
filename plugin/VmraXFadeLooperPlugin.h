// What the effect and the instrument have in common: the engine they own,
// identity, parameter storage rules, chunks and the property routing (engine
// first, then the plug-in base). Each deliverable compiles one of the two
// subclasses and the matching createEffectInstance.
#pragma once

#include <vector>

#include "midi/OrvoLuaMIDIHelper.h"
#include "osc/OrvoOSCHelper.h"
#include "plugin/VmraAuBase.h"
#include "xfadelooper/VmraXFadeLooper.h"

class VmraXFadeLooperPlugin : public VmraAuBase
{
public:
    static constexpr int kVersion = 0x00030104;
    static constexpr VstInt32 kEditorWidth = 828;
    static constexpr VstInt32 kEditorHeight = 490;

    VmraXFadeLooperPlugin(audioMasterCallback audioMaster, bool isEffect);
    ~VmraXFadeLooperPlugin() override;

    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    VstInt32 processEvents(VstEvents* events) override;
    void setParameter(VstInt32 index, float normalised) override;
    void setProgram(VstInt32 index) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 frames) override;
    void resume() override {}
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override { return kVersion; }
    // 'OrvB' with a path: writes the buffer there as a 24-bit AIFF (for
    // hosts and tools that cannot reach the plug-in's properties).
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    static constexpr VstInt32 kSaveBufferSelector = VstFourCC('O', 'r', 'v', 'B');

    int GetParameterValueStrings(unsigned long scope, unsigned long element, CFArrayRef* out) override;
    OSStatus GetProperty(unsigned long id, unsigned long scope, unsigned long element, void* data) override;
    OSStatus GetPropertyInfo(unsigned long id, unsigned long scope, unsigned long element, unsigned long& size,
                             unsigned char& writable) override;
    OSStatus SetProperty(unsigned long id, unsigned long scope, unsigned long element, const void* data,
                         unsigned long size) override;
    DataToGui* GetDataToGui() override { return m_engine.GetDataToGui(); }
    int Version() override { return kVersion; }
    OSStatus Initialize() override;
    void Cleanup() override;

    VmraXFadeLooper& Engine() { return m_engine; }
    OrvoLuaMIDIHelper& MidiHost() { return m_midiHost; }
    OrvoOSCHelper& Osc() { return m_osc; }

protected:
    // Renders one block of at most the announced block size into the two
    // output channels; inL and inR are null in the instrument.
    virtual void Render(const float* inL, const float* inR, float* outL, float* outR, VstInt32 frames) = 0;

    // Listens when "OSC Port Offset" is not 0 or sends notifications.
    void ApplyOscPort();

    VmraXFadeLooper m_engine;
    // The OSC server; its tasks are stopped first thing in the destructor.
    OrvoOSCHelper m_osc{this, nullptr};
    // The MIDI scripts. Destroyed before the engine: its timers stop, and
    // with them every script call that could reach the engine.
    OrvoLuaMIDIHelper m_midiHost{this, m_engine, &m_osc};
    // Stands in for input channels a host leaves out (one block long).
    std::vector<float> m_silence;
};
