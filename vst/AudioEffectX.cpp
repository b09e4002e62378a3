#include "vst/AudioEffectX.h"

#include <cstdlib>
#include <cstring>

namespace
{
VstInt32 asInt(VstIntPtr v)
{
    return static_cast<VstInt32>(v);
}
} // namespace

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    char* text = static_cast<char*>(ptr);
    switch (opcode)
    {
    case effGetProgramNameIndexed:
        return text && getProgramNameIndexed(asInt(value), index, text) ? 1 : 0;
    case effCanBeAutomated:
        return index >= 0 && index < numParams && canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
        return index >= 0 && index < numParams && string2parameter(index, text) ? 1 : 0;
    case effGetInputProperties:
        return ptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetOutputProperties:
        return ptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory:
        return getPlugCategory();
    case effOfflineNotify:
        return offlineNotify(static_cast<VstAudioFile*>(ptr), asInt(value), index != 0);
    case effOfflinePrepare:
        return offlinePrepare(static_cast<VstOfflineTask*>(ptr), asInt(value)) ? 1 : 0;
    case effOfflineRun:
        return offlineRun(static_cast<VstOfflineTask*>(ptr), asInt(value)) ? 1 : 0;
    case effProcessVarIo:
        return processVariableIo(static_cast<VstVariableIo*>(ptr)) ? 1 : 0;
    case effSetSpeakerArrangement:
        return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                     static_cast<VstSpeakerArrangement*>(ptr))
                   ? 1
                   : 0;
    case effSetBypass:
        return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
        return text && getEffectName(text) ? 1 : 0;
    case effGetVendorString:
        return text && getVendorString(text) ? 1 : 0;
    case effGetProductString:
        return text && getProductString(text) ? 1 : 0;
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        return text ? canDo(text) : 0;
    case effGetTailSize:
        return getGetTailSize();
    case effGetParameterProperties:
        return ptr && index >= 0 && index < numParams &&
                       getParameterProperties(index, static_cast<VstParameterProperties*>(ptr))
                   ? 1
                   : 0;
    case effGetVstVersion:
        return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp:
        if (editor)
        {
            VstKeyCode key;
            key.character = index;
            key.virt = static_cast<unsigned char>(value);
            key.modifier = static_cast<unsigned char>(opt);
            return (opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key)) ? 1 : 0;
        }
        return 0;
    case effSetEditKnobMode:
        return editor && editor->setKnobMode(asInt(value)) ? 1 : 0;
    case effGetMidiProgramName:
        return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
    case effGetCurrentMidiProgram:
        return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
    case effGetMidiProgramCategory:
        return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
    case effHasMidiProgramsChanged:
        return hasMidiProgramsChanged(index) ? 1 : 0;
    case effGetMidiKeyName:
        return getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
    case effBeginSetProgram:
        return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
        return endSetProgram() ? 1 : 0;
    case effGetSpeakerArrangement:
        return getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                     static_cast<VstSpeakerArrangement**>(ptr))
                   ? 1
                   : 0;
    case effShellGetNextPlugin:
        return getNextShellPlugin(text);
    case effStartProcess:
        return startProcess();
    case effStopProcess:
        return stopProcess();
    case effSetTotalSampleToProcess:
        return setTotalSampleToProcess(asInt(value));
    case effSetPanLaw:
        return setPanLaw(asInt(value), opt) ? 1 : 0;
    case effBeginLoadBank:
        return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
    case effBeginLoadProgram:
        return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
    case effSetProcessPrecision:
        return setProcessPrecision(asInt(value)) ? 1 : 0;
    case effGetNumMidiInputChannels:
        return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels:
        return getNumMidiOutputChannels();
    case effProcessEvents:
        return ptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
    default:
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume()
{
    char midi[] = "receiveVstMidiEvent";
    if ((cEffect.flags & effFlagsIsSynth) || canDo(midi) == 1)
        __wantEventsDeprecated(1);
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output)
{
    if (input)
        *input = nullptr;
    if (output)
        *output = nullptr;
    return false;
}

// ---- host callback wrappers ---------------------------------------------

bool AudioEffectX::beginEdit(VstInt32 index)
{
    return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index)
{
    return callHost(audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::ioChanged()
{
    return callHost(audioMasterIOChanged) != 0;
}

double AudioEffectX::updateSampleRate()
{
    VstIntPtr rate = callHost(audioMasterGetSampleRate);
    if (rate > 0)
        sampleRate = static_cast<float>(rate);
    return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize()
{
    VstIntPtr size = callHost(audioMasterGetBlockSize);
    if (size > 0)
        blockSize = asInt(size);
    return blockSize;
}

VstInt32 AudioEffectX::getInputLatency()
{
    return asInt(callHost(audioMasterGetInputLatency));
}

VstInt32 AudioEffectX::getOutputLatency()
{
    return asInt(callHost(audioMasterGetOutputLatency));
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter)
{
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

VstInt32 AudioEffectX::getCurrentProcessLevel()
{
    return asInt(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 AudioEffectX::getAutomationState()
{
    return asInt(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events)
{
    return callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

bool AudioEffectX::getHostVendorString(char* text)
{
    return text && callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text)
{
    return text && callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion()
{
    return asInt(callHost(audioMasterGetVendorVersion));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg, float floatArg)
{
    return callHost(audioMasterVendorSpecific, lArg1, lArg2, ptrArg, floatArg);
}

VstInt32 AudioEffectX::canHostDo(char* text)
{
    return text ? asInt(callHost(audioMasterCanDo, 0, 0, text)) : 0;
}

VstInt32 AudioEffectX::getHostLanguage()
{
    return asInt(callHost(audioMasterGetLanguage));
}

void* AudioEffectX::getDirectory()
{
    return reinterpret_cast<void*>(callHost(audioMasterGetDirectory));
}

bool AudioEffectX::updateDisplay()
{
    return callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height)
{
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

bool AudioEffectX::openFileSelector(VstFileSelect* ptr)
{
    return ptr && callHost(audioMasterOpenFileSelector, 0, 0, ptr) != 0;
}

bool AudioEffectX::closeFileSelector(VstFileSelect* ptr)
{
    return ptr && callHost(audioMasterCloseFileSelector, 0, 0, ptr) != 0;
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource)
{
    return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstInt32 option)
{
    return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}

bool AudioEffectX::offlineStart(VstAudioFile* ptr, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles)
{
    return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, ptr) != 0;
}

VstInt32 AudioEffectX::offlineGetCurrentPass()
{
    return asInt(callHost(audioMasterOfflineGetCurrentPass));
}

VstInt32 AudioEffectX::offlineGetCurrentMetaPass()
{
    return asInt(callHost(audioMasterOfflineGetCurrentMetaPass));
}

void AudioEffectX::__wantEventsDeprecated(VstInt32 filter)
{
    callHost(__audioMasterWantMidiDeprecated, 0, filter);
}

VstInt32 AudioEffectX::__tempoAtDeprecated(VstInt32 pos)
{
    return asInt(callHost(__audioMasterTempoAtDeprecated, 0, pos));
}

VstInt32 AudioEffectX::__getNumAutomatableParametersDeprecated()
{
    return asInt(callHost(__audioMasterGetNumAutomatableParametersDeprecated));
}

VstInt32 AudioEffectX::__getParameterQuantizationDeprecated()
{
    return asInt(callHost(__audioMasterGetParameterQuantizationDeprecated));
}

bool AudioEffectX::__needIdleDeprecated()
{
    return callHost(__audioMasterNeedIdleDeprecated) != 0;
}

AEffect* AudioEffectX::__getPreviousPlugDeprecated(VstInt32 input)
{
    return reinterpret_cast<AEffect*>(callHost(__audioMasterGetPreviousPlugDeprecated, 0, input));
}

AEffect* AudioEffectX::__getNextPlugDeprecated(VstInt32 output)
{
    return reinterpret_cast<AEffect*>(callHost(__audioMasterGetNextPlugDeprecated, 0, output));
}

VstInt32 AudioEffectX::__willProcessReplacingDeprecated()
{
    return asInt(callHost(__audioMasterWillReplaceOrAccumulateDeprecated));
}

void AudioEffectX::__setOutputSamplerateDeprecated(float samplerate)
{
    callHost(__audioMasterSetOutputSampleRateDeprecated, 0, 0, nullptr, samplerate);
}

VstSpeakerArrangement* AudioEffectX::__getInputSpeakerArrangementDeprecated()
{
    return reinterpret_cast<VstSpeakerArrangement*>(callHost(__audioMasterGetInputSpeakerArrangementDeprecated));
}

VstSpeakerArrangement* AudioEffectX::__getOutputSpeakerArrangementDeprecated()
{
    return reinterpret_cast<VstSpeakerArrangement*>(callHost(__audioMasterGetOutputSpeakerArrangementDeprecated));
}

void* AudioEffectX::__openWindowDeprecated(void* window)
{
    return reinterpret_cast<void*>(callHost(__audioMasterOpenWindowDeprecated, 0, 0, window));
}

bool AudioEffectX::__closeWindowDeprecated(void* window)
{
    return callHost(__audioMasterCloseWindowDeprecated, 0, 0, window) != 0;
}

void* AudioEffectX::__getChunkFileDeprecated(void* nativePath)
{
    return reinterpret_cast<void*>(callHost(__audioMasterGetChunkFileDeprecated, 0, 0, nativePath));
}

// ---- speaker arrangements -----------------------------------------------

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels)
{
    if (!arrangement || nbChannels < 0)
        return false;
    deallocateArrangement(arrangement);
    size_t extra = nbChannels > 8 ? static_cast<size_t>(nbChannels - 8) : 0;
    size_t size = sizeof(VstSpeakerArrangement) + extra * sizeof(VstSpeakerProperties);
    void* block = calloc(1, size);
    if (!block)
        return false;
    *arrangement = static_cast<VstSpeakerArrangement*>(block);
    (*arrangement)->numChannels = nbChannels;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement)
{
    if (!arrangement)
        return false;
    free(*arrangement);
    *arrangement = nullptr;
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from)
{
    if (!to || !from)
        return false;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    vst_strncpy(to->name, from->name, sizeof(to->name) - 1);
    to->type = from->type;
    memcpy(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from)
{
    if (!from || !allocateArrangement(to, from->numChannels))
        return false;
    (*to)->type = from->type;
    for (VstInt32 i = 0; i < from->numChannels; ++i)
        if (!copySpeaker((*to)->speakers + i, from->speakers + i))
            return false;
    return true;
}
