// The plug-in base: parameters in plain units inside the current program,
// converted to the host's 0...1 range only at the VST boundary; programs;
// numbered properties with get, get-info, set and change listeners.
#pragma once

#include <vector>

#include "plugin/AUTypes.h"
#include "plugin/ParameterValues.h"
#include "plugin/VmraProgram.h"
#include "vst/AudioEffectX.h"

class VmraEditor;
struct DataToGui;

typedef void (*AudioUnitPropertyListenerProc)(void* refCon, VmraAuBase* unit, unsigned long propertyID,
                                              unsigned long scope, unsigned long element);

// Longest parameter name written into a host buffer, terminator included.
constexpr int kParamNameSize = 16;

class VmraAuBase : public AudioEffectX
{
public:
    VmraAuBase(audioMasterCallback audioMaster, long numPrograms, VmraProgram* (*factory)());
    ~VmraAuBase() override;

    virtual int GetParameterValueStrings(unsigned long scope, unsigned long element, CFArrayRef* out);
    virtual OSStatus GetProperty(unsigned long id, unsigned long scope, unsigned long element, void* data);
    virtual OSStatus GetPropertyInfo(unsigned long id, unsigned long scope, unsigned long element,
                                     unsigned long& size, unsigned char& writable);
    virtual OSStatus SetProperty(unsigned long id, unsigned long scope, unsigned long element, const void* data,
                                 unsigned long size);
    virtual OSStatus AddPropertyListener(unsigned long id, AudioUnitPropertyListenerProc callback, void* refCon);
    virtual OSStatus RemovePropertyListener(unsigned long id, AudioUnitPropertyListenerProc callback);
    // The engine's state record for displays and scripts.
    virtual DataToGui* GetDataToGui() = 0;
    virtual int Version() = 0;
    virtual OSStatus Initialize() = 0;
    virtual void Cleanup() = 0;

    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void setParameter(VstInt32 index, float normalised) override;
    float getParameter(VstInt32 index) override;
    void setProgramName(char* text) override;
    void getProgramName(char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool getVendorString(char* text) override;

    // Reports a plain value the caller has already stored to the host as
    // automation; returns the host's answer.
    int SetParameterAutomated(int index, float plain);

    // Tells every listener registered for id, in registration order.
    void PropertyChanged(unsigned long id, unsigned long scope, unsigned long element);

    VmraProgram* CurrentProgram() const { return m_programs[curProgram]; }
    VmraProgram* Program(int index) const { return m_programs[index]; }
    int NumPrograms() const { return numPrograms; }

    // Installs the editor (owned by the VST base) and keeps its typed handle.
    void SetVmraEditor(VmraEditor* editor);
    VmraEditor* GetVmraEditor() const { return m_vmraEditor; }

protected:
    struct PropertyListener
    {
        uint32_t propertyID;
        AudioUnitPropertyListenerProc callback;
        void* refCon;
    };

    VmraProgram** m_programs = nullptr;
    std::vector<PropertyListener> m_propertyListeners;
    VmraEditor* m_vmraEditor = nullptr;
};

OSStatus AudioUnitGetPropertyInfo(VmraAuBase* unit, unsigned long id, unsigned long scope, unsigned long element,
                                  unsigned long* size, unsigned char* writable);
OSStatus AudioUnitGetProperty(VmraAuBase* unit, unsigned long id, unsigned long scope, unsigned long element,
                              void* data, unsigned long* size);
OSStatus AudioUnitSetProperty(VmraAuBase* unit, unsigned long id, unsigned long scope, unsigned long element,
                              const void* data, unsigned long size);
OSStatus AudioUnitAddPropertyListener(VmraAuBase* unit, unsigned long id, AudioUnitPropertyListenerProc callback,
                                      void* refCon);
OSStatus AudioUnitRemovePropertyListener(VmraAuBase* unit, unsigned long id,
                                         AudioUnitPropertyListenerProc callback);
