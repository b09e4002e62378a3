#include "plugin/VmraXFadeLooperPlugin.h"

#include <cstdio>
#include <cstring>

#include "osc/OSCBasePort.h"
#include "plugin/VmraInstanceTracker.h"
#include "xfadelooper/SampleFile.h"

VmraXFadeLooperPlugin::VmraXFadeLooperPlugin(audioMasterCallback audioMaster, bool isEffect)
    : VmraAuBase(audioMaster, 1, VmraProgramORVOv1::Factory), m_engine(isEffect)
{
    setNumInputs(isEffect ? 2 : 0);
    setNumOutputs(2);
    if (!isEffect)
        isSynth(true);
    setUniqueID(isEffect ? VstFourCC('V', 'L', 'x', 'e') : VstFourCC('V', 'L', 'x', 'f'));
    canProcessReplacing(true);
    programsAreChunks(true);
    m_osc.SetLuaHost(&m_midiHost);
    m_engine.Construct(this);
    m_midiHost.LuaInit();
    Initialize();
    m_silence.assign(static_cast<size_t>(getBlockSize()), 0.0f);
    VmraInstanceTracker::AddInstance(this);
}

VmraXFadeLooperPlugin::~VmraXFadeLooperPlugin()
{
    VmraInstanceTracker::RemoveInstance(this);
    m_osc.DestroyTask();
}

OSStatus VmraXFadeLooperPlugin::Initialize()
{
    m_engine.Initialize();
    m_osc.CreateTask();
    return noErr;
}

void VmraXFadeLooperPlugin::Cleanup()
{
    m_osc.DestroyTask();
}

void VmraXFadeLooperPlugin::ApplyOscPort()
{
    float offset = CurrentProgram()->GetParameter(kParam_OSCPortOffset);
    int n = offset > 0 && offset < 65536 ? static_cast<int>(offset) : 0;
    if (n != 0)
        m_osc.SetPort(n + VL::g_OSCBasePort);
    else
        m_osc.Disable();
}

void VmraXFadeLooperPlugin::processReplacing(float** inputs, float** outputs, VstInt32 frames)
{
    if (!outputs || !outputs[0] || !outputs[1] || frames <= 0)
        return;
    const float* inL = nullptr;
    const float* inR = nullptr;
    if (getAeffect()->numInputs > 0 && inputs)
    {
        inL = inputs[0];
        inR = inputs[1];
    }
    // A host that passes more frames than it announced gets its block
    // rendered in slices the scratch runs can hold.
    VstInt32 slice = static_cast<VstInt32>(m_engine.MaxSliceFrames());
    if (slice <= 0)
    {
        memset(outputs[0], 0, sizeof(float) * static_cast<size_t>(frames));
        memset(outputs[1], 0, sizeof(float) * static_cast<size_t>(frames));
        return;
    }
    for (VstInt32 done = 0; done < frames; done += slice)
    {
        VstInt32 n = frames - done < slice ? frames - done : slice;
        Render(inL ? inL + done : nullptr, inR ? inR + done : nullptr, outputs[0] + done, outputs[1] + done, n);
    }
}

VstInt32 VmraXFadeLooperPlugin::processEvents(VstEvents* events)
{
    return m_midiHost.HandleVstEvents(events);
}

void VmraXFadeLooperPlugin::setParameter(VstInt32 index, float normalised)
{
    if (VmraXFadeLooper::IsParameterUsed(index))
        VmraAuBase::setParameter(index, normalised);
    if (index == kParam_OSCPortOffset)
        ApplyOscPort();
    m_osc.NotifySetParam(index, CurrentProgram()->GetParameter(index));
}

void VmraXFadeLooperPlugin::setProgram(VstInt32 index)
{
    curProgram = index;
    ApplyOscPort();
}

void VmraXFadeLooperPlugin::getParameterDisplay(VstInt32 index, char* text)
{
    if (VmraXFadeLooper::IsParameterUsed(index))
        VmraAuBase::getParameterDisplay(index, text);
    else
        strcpy(text, "Unused");
}

void VmraXFadeLooperPlugin::setSampleRate(float rate)
{
    VmraAuBase::setSampleRate(rate);
    m_engine.setSampleRate(rate);
}

void VmraXFadeLooperPlugin::setBlockSize(VstInt32 frames)
{
    if (frames <= 0)
        return;
    VmraAuBase::setBlockSize(frames);
    m_engine.OnMaxSliceChange(static_cast<unsigned long>(frames));
    m_silence.assign(static_cast<size_t>(frames), 0.0f);
}

VstInt32 VmraXFadeLooperPlugin::getChunk(void** data, bool isPreset)
{
    return m_engine.getChunk(data, isPreset);
}

VstInt32 VmraXFadeLooperPlugin::setChunk(void* data, VstInt32 size, bool isPreset)
{
    return m_engine.setChunk(data, size, isPreset);
}

VstIntPtr VmraXFadeLooperPlugin::vendorSpecific(VstInt32 index, VstIntPtr, void* ptr, float)
{
    if (index != kSaveBufferSelector || !ptr)
        return 0;
    VL::SampleBytes record{};
    if (AudioUnitGetProperty(this, kOrvoProperty_SampleBytes, kAudioUnitScope_Global, 0, &record, nullptr) != noErr)
        return 0;
    bool written = record.bytes && WriteSampleBytesAiff(static_cast<const char*>(ptr), record);
    delete[] record.bytes;
    return written ? 1 : 0;
}

bool VmraXFadeLooperPlugin::getOutputProperties(VstInt32 index, VstPinProperties* properties)
{
    if (index < 0 || index > 1)
        return false;
    snprintf(properties->label, sizeof(properties->label), "Orvo %1d", index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool VmraXFadeLooperPlugin::getEffectName(char* text)
{
    strcpy(text, "Orvotide");
    return true;
}

bool VmraXFadeLooperPlugin::getProductString(char* text)
{
    strcpy(text, "Orvotide");
    return true;
}

int VmraXFadeLooperPlugin::GetParameterValueStrings(unsigned long scope, unsigned long element, CFArrayRef* out)
{
    if (m_engine.GetParameterValueStrings(scope, element, out) == 0)
        return 0;
    return VmraAuBase::GetParameterValueStrings(scope, element, out);
}

OSStatus VmraXFadeLooperPlugin::GetProperty(unsigned long id, unsigned long scope, unsigned long element, void* data)
{
    OSStatus status = m_engine.GetProperty(id, scope, element, data);
    if (status != kEngineNotHandled)
        return status;
    return VmraAuBase::GetProperty(id, scope, element, data);
}

OSStatus VmraXFadeLooperPlugin::GetPropertyInfo(unsigned long id, unsigned long scope, unsigned long element,
                                                unsigned long& size, unsigned char& writable)
{
    if (m_engine.GetPropertyInfo(id, scope, element, size, writable) == noErr)
        return noErr;
    return VmraAuBase::GetPropertyInfo(id, scope, element, size, writable);
}

OSStatus VmraXFadeLooperPlugin::SetProperty(unsigned long id, unsigned long scope, unsigned long element,
                                            const void* data, unsigned long size)
{
    OSStatus status = m_engine.SetProperty(id, scope, element, data, size);
    if (status == noErr)
        return noErr;
    // Handled but refused: say so rather than "unknown property".
    if (status != kEngineNotHandled)
        return status;
    return VmraAuBase::SetProperty(id, scope, element, data, size);
}
