#include "plugin/VmraXFadeLooperPlugin.h"

#include <cstdio>
#include <cstring>

VmraXFadeLooperPlugin::VmraXFadeLooperPlugin(audioMasterCallback audioMaster, bool isEffect)
    : VmraAuBase(audioMaster, 1, VmraProgramORVOv1::Factory), m_isEffect(isEffect)
{
    setNumInputs(isEffect ? 2 : 0);
    setNumOutputs(2);
    if (!isEffect)
        isSynth(true);
    setUniqueID(isEffect ? VstFourCC('V', 'L', 'x', 'e') : VstFourCC('V', 'L', 'x', 'f'));
    canProcessReplacing(true);
    programsAreChunks(true);
    Initialize();
}

void VmraXFadeLooperPlugin::processReplacing(float** inputs, float** outputs, VstInt32 frames)
{
    if (!outputs || !outputs[0] || !outputs[1] || frames <= 0)
        return;
    const float* inL = nullptr;
    const float* inR = nullptr;
    if (m_isEffect && inputs)
    {
        inL = inputs[0];
        inR = inputs[1];
    }
    Render(inL, inR, outputs[0], outputs[1], frames);
}

void VmraXFadeLooperPlugin::setParameter(VstInt32 index, float normalised)
{
    if (IsParameterUsed(index))
        VmraAuBase::setParameter(index, normalised);
}

void VmraXFadeLooperPlugin::setProgram(VstInt32 index)
{
    curProgram = index;
}

void VmraXFadeLooperPlugin::getParameterDisplay(VstInt32 index, char* text)
{
    if (IsParameterUsed(index))
        VmraAuBase::getParameterDisplay(index, text);
    else
        strcpy(text, "Unused");
}

VstInt32 VmraXFadeLooperPlugin::getChunk(void** data, bool)
{
    *data = CurrentProgram()->GetChunk();
    return static_cast<VstInt32>(CurrentProgram()->GetChunkSize());
}

VstInt32 VmraXFadeLooperPlugin::setChunk(void* data, VstInt32 size, bool)
{
    CurrentProgram()->SetChunk(data, size);
    return 1;
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
    if (::GetParameterValueStrings(scope, element, out) == 0)
        return 0;
    return VmraAuBase::GetParameterValueStrings(scope, element, out);
}

OSStatus VmraXFadeLooperPlugin::GetProperty(unsigned long id, unsigned long scope, unsigned long element, void* data)
{
    if (id == kAudioUnitProperty_ParameterStringFromValue && data)
    {
        auto* request = static_cast<AudioUnitParameterStringFromValue*>(data);
        int index = static_cast<int>(request->inParamID);
        if (IsValidParamIndex(index))
        {
            float value = request->inValue ? *request->inValue : CurrentProgram()->GetParameter(index);
            return GetParameterStringFromValue(index, value, &request->outString);
        }
        return kAudioUnitErr_InvalidParameter;
    }
    return VmraAuBase::GetProperty(id, scope, element, data);
}
