#include "plugin/VmraAuBase.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "plugin/VmraEditor.h"

namespace
{
// Truncation towards zero that stays defined for any float.
int truncToInt(float v)
{
    if (!(v > -2147483520.0f && v < 2147483520.0f))
        return v > 0 ? 2147483647 : (v < 0 ? -2147483647 - 1 : 0);
    return static_cast<int>(v);
}

void copyText(char* text, const char* source, size_t size)
{
    vst_strncpy(text, source, size - 1);
}
} // namespace

// ---- construction ---------------------------------------------------------

VmraAuBase::VmraAuBase(audioMasterCallback audioMaster, long programs, VmraProgram* (*factory)())
    : AudioEffectX(audioMaster, static_cast<VstInt32>(programs), kNumParams)
{
    m_programs = new VmraProgram*[static_cast<size_t>(programs)];
    for (long i = 0; i < programs; ++i)
    {
        m_programs[i] = factory();
        for (int j = 0; j < kNumParams; ++j)
            m_programs[i]->SetParameter(j, astParamInfos[j].defaultValue);
        m_programs[i]->SetName("Defaults");
    }
    curProgram = 0;
}

VmraAuBase::~VmraAuBase()
{
    for (long i = 0; i < numPrograms; ++i)
        delete m_programs[i];
    delete[] m_programs;
}

void VmraAuBase::SetVmraEditor(VmraEditor* editor)
{
    m_vmraEditor = editor;
    setEditor(editor);
}

// ---- virtual defaults -----------------------------------------------------

int VmraAuBase::GetParameterValueStrings(unsigned long, unsigned long, CFArrayRef*)
{
    return kAudioUnitErr_InvalidParameter;
}

OSStatus VmraAuBase::GetProperty(unsigned long, unsigned long, unsigned long, void*)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus VmraAuBase::GetPropertyInfo(unsigned long, unsigned long, unsigned long, unsigned long&, unsigned char&)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus VmraAuBase::SetProperty(unsigned long, unsigned long, unsigned long, const void*, unsigned long)
{
    return kAudioUnitErr_InvalidProperty;
}

OSStatus VmraAuBase::AddPropertyListener(unsigned long id, AudioUnitPropertyListenerProc callback, void* refCon)
{
    if (m_propertyListeners.empty())
        m_propertyListeners.reserve(32);
    m_propertyListeners.push_back({static_cast<uint32_t>(id), callback, refCon});
    return noErr;
}

OSStatus VmraAuBase::RemovePropertyListener(unsigned long id, AudioUnitPropertyListenerProc callback)
{
    for (size_t i = m_propertyListeners.size(); i-- > 0;)
    {
        const PropertyListener& l = m_propertyListeners[i];
        if (l.propertyID == id && l.callback == callback)
            m_propertyListeners.erase(m_propertyListeners.begin() + static_cast<long>(i));
    }
    return noErr;
}

void VmraAuBase::PropertyChanged(unsigned long id, unsigned long scope, unsigned long element)
{
    for (size_t i = 0; i < m_propertyListeners.size(); ++i)
    {
        const PropertyListener& l = m_propertyListeners[i];
        if (l.propertyID == id)
            l.callback(l.refCon, this, id, scope, element);
    }
}

// ---- VST boundary -----------------------------------------------------------

void VmraAuBase::processReplacing(float**, float**, VstInt32)
{
    // No processing kernels: the variants render themselves.
}

void VmraAuBase::setParameter(VstInt32 index, float normalised)
{
    AudioUnitParameter p = {this, static_cast<AudioUnitParameterID>(index), 0, 0};
    float plain = AUParameterValueFromLinear(normalised, &p);
    CurrentProgram()->SetParameter(index, plain);
    if (m_vmraEditor)
        m_vmraEditor->setParameter(index, plain);
}

float VmraAuBase::getParameter(VstInt32 index)
{
    AudioUnitParameter p = {this, static_cast<AudioUnitParameterID>(index), 0, 0};
    return AUParameterValueToLinear(CurrentProgram()->GetParameter(index), &p);
}

int VmraAuBase::SetParameterAutomated(int index, float plain)
{
    AudioUnitParameter p = {this, static_cast<AudioUnitParameterID>(index), 0, 0};
    return static_cast<int>(callHost(audioMasterAutomate, index, 0, nullptr, AUParameterValueToLinear(plain, &p)));
}

void VmraAuBase::getParameterName(VstInt32 index, char* text)
{
    copyText(text, astParamInfos[index].name, kParamNameSize);
}

void VmraAuBase::getParameterLabel(VstInt32 index, char* text)
{
    strcpy(text, ParameterUnitLabel(astParamInfos[index].unit));
}

void VmraAuBase::getParameterDisplay(VstInt32 index, char* text)
{
    float v = CurrentProgram()->GetParameter(index);
    if (astParamInfos[index].unit == kAudioUnitParameterUnit_Boolean)
    {
        strcpy(text, v != 0.0f ? "On" : "Off");
        return;
    }
    if (astParamInfos[index].unit == kAudioUnitParameterUnit_Indexed)
    {
        CFArrayRef strings = nullptr;
        if (GetParameterValueStrings(kAudioUnitScope_Global, static_cast<unsigned long>(index), &strings) == 0 &&
            strings)
        {
            // A stored value outside the list (from a foreign chunk, say)
            // falls through to the other texts.
            CFStringRef string = CFArrayGetValueAtIndex(strings, truncToInt(v));
            if (string)
                CFStringGetCString(string, text, kDisplayTextSize);
            CFRelease(strings);
            if (string)
                return;
        }
    }
    AudioUnitParameterStringFromValue request = {static_cast<AudioUnitParameterID>(index), nullptr, nullptr};
    if (GetProperty(kAudioUnitProperty_ParameterStringFromValue, kAudioUnitScope_Global, 0, &request) == noErr &&
        request.outString)
    {
        CFStringGetCString(request.outString, text, kDisplayTextSize);
        CFRelease(request.outString);
        return;
    }
    if (astParamInfos[index].unit == kAudioUnitParameterUnit_Indexed)
    {
        snprintf(text, 8, "%d", truncToInt(v));
        return;
    }
    if (v >= 0)
        ::float2string(v, text);
    else
    {
        text[0] = '-';
        ::float2string(-v, text + 1);
    }
}

void VmraAuBase::getProgramName(char* text)
{
    copyText(text, CurrentProgram()->GetName(), kVstMaxProgNameLen);
}

void VmraAuBase::setProgramName(char* text)
{
    CurrentProgram()->SetName(text);
}

bool VmraAuBase::getProgramNameIndexed(VstInt32, VstInt32 index, char* text)
{
    if (index < 0 || index >= numPrograms)
        return false;
    copyText(text, m_programs[index]->GetName(), kVstMaxProgNameLen);
    return true;
}

bool VmraAuBase::getVendorString(char* text)
{
    strcpy(text, "Velmora");
    return true;
}

// ---- property access ------------------------------------------------------

OSStatus AudioUnitGetPropertyInfo(VmraAuBase* unit, unsigned long id, unsigned long scope, unsigned long element,
                                  unsigned long* size, unsigned char* writable)
{
    unsigned long dummySize = 0;
    unsigned char dummyWritable = 0;
    unsigned long& outSize = size ? *size : dummySize;
    unsigned char& outWritable = writable ? *writable : dummyWritable;
    if (id == kAudioUnitProperty_ParameterValueStrings)
    {
        unit->GetParameterValueStrings(scope, element, nullptr);
        outSize = sizeof(CFArrayRef);
        outWritable = 0;
        return noErr;
    }
    return unit->GetPropertyInfo(id, scope, element, outSize, outWritable);
}

OSStatus AudioUnitGetProperty(VmraAuBase* unit, unsigned long id, unsigned long scope, unsigned long element,
                              void* data, unsigned long*)
{
    if (id == kAudioUnitProperty_ParameterValueStrings)
    {
        unit->GetParameterValueStrings(scope, element, static_cast<CFArrayRef*>(data));
        return noErr;
    }
    return unit->GetProperty(id, scope, element, data);
}

OSStatus AudioUnitSetProperty(VmraAuBase* unit, unsigned long id, unsigned long scope, unsigned long element,
                              const void* data, unsigned long size)
{
    OSStatus status = unit->SetProperty(id, scope, element, data, size);
    if (status == noErr)
        unit->PropertyChanged(id, scope, element);
    return status;
}

OSStatus AudioUnitAddPropertyListener(VmraAuBase* unit, unsigned long id, AudioUnitPropertyListenerProc callback,
                                      void* refCon)
{
    return unit->AddPropertyListener(id, callback, refCon);
}

OSStatus AudioUnitRemovePropertyListener(VmraAuBase* unit, unsigned long id, AudioUnitPropertyListenerProc callback)
{
    return unit->RemovePropertyListener(id, callback);
}
