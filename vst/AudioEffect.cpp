#include "vst/AudioEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

void vst_strncpy(char* dst, const char* src, size_t maxLen)
{
    size_t n = strnlen(src, maxLen);
    memcpy(dst, src, n);
    dst[n] = 0;
}

AudioEffect::AudioEffect(audioMasterCallback master, VstInt32 programs, VstInt32 params)
    : audioMaster(master), numPrograms(programs), numParams(params)
{
    memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.__processDeprecated = __processClassDeprecated;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.__ioRatioDeprecated = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = VstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
}

AudioEffect::~AudioEffect()
{
    delete editor;
}

void AudioEffect::setFlag(VstInt32 flag, bool state)
{
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

void AudioEffect::setEditor(AEffEditor* newEditor)
{
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const
{
    if (!audioMaster)
        return 0;
    return audioMaster(const_cast<AEffect*>(&cEffect), opcode, index, value, ptr, opt);
}

// ---- trampolines ---------------------------------------------------------

static AudioEffect* objectOf(AEffect* e)
{
    return e ? static_cast<AudioEffect*>(e->object) : nullptr;
}

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                           float opt)
{
    AudioEffect* object = objectOf(e);
    if (!object)
        return 0;
    if (opcode == effClose)
    {
        object->dispatcher(opcode, index, value, ptr, opt);
        delete object;
        return 1;
    }
    return object->dispatcher(opcode, index, value, ptr, opt);
}

// Parameter indices outside the table never reach the object.
float AudioEffect::getParameterClass(AEffect* e, VstInt32 index)
{
    AudioEffect* object = objectOf(e);
    if (!object || index < 0 || index >= object->numParams)
        return 0;
    return object->getParameter(index);
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value)
{
    AudioEffect* object = objectOf(e);
    if (object && index >= 0 && index < object->numParams)
        object->setParameter(index, value);
}

void AudioEffect::__processClassDeprecated(AEffect* e, float** inputs, float** outputs, VstInt32 frames)
{
    if (AudioEffect* object = objectOf(e))
        object->__processDeprecated(inputs, outputs, frames);
}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames)
{
    if (AudioEffect* object = objectOf(e))
        object->processReplacing(inputs, outputs, frames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs, VstInt32 frames)
{
    if (AudioEffect* object = objectOf(e))
        object->processDoubleReplacing(inputs, outputs, frames);
}

// ---- dispatcher ----------------------------------------------------------

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    char* text = static_cast<char*>(ptr);
    bool paramOk = index >= 0 && index < numParams;
    switch (opcode)
    {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        if (value >= 0 && value < numPrograms)
            setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (text)
            setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text)
            getProgramName(text);
        return 0;
    case effGetParamLabel:
        if (text && paramOk)
            getParameterLabel(index, text);
        return 0;
    case effGetParamDisplay:
        if (text && paramOk)
            getParameterDisplay(index, text);
        return 0;
    case effGetParamName:
        if (text && paramOk)
            getParameterName(index, text);
        return 0;
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        if (editor && ptr)
            return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        return 0;
    case effEditOpen:
        return editor && editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor)
            editor->close();
        return 0;
    case effEditIdle:
        if (editor)
            editor->idle();
        return 0;
    case effIdentify:
        return VstFourCC('N', 'v', 'E', 'f');
    case effGetChunk:
        if (!ptr)
            return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        // A null pointer or a negative size is an empty chunk.
        if (!ptr || value < 0)
            value = 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        return 0;
    }
}

// ---- host callback wrappers ---------------------------------------------

void AudioEffect::setParameterAutomated(VstInt32 index, float value)
{
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion()
{
    VstInt32 version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId()
{
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle()
{
    callHost(audioMasterIdle);
}

bool AudioEffect::isInputConnected(VstInt32 input)
{
    return callHost(__audioMasterPinConnectedDeprecated, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output)
{
    return callHost(__audioMasterPinConnectedDeprecated, output, 1) == 0;
}

// ---- text formatting ----------------------------------------------------

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen)
{
    if (value <= 0)
        vst_strncpy(text, "-oo", static_cast<size_t>(maxLen));
    else
        float2string(20.0f * std::log10(value), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen)
{
    float2string(samples == 0 ? 0.0f : sampleRate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen)
{
    float2string(samples * 1000.0f / sampleRate, text, maxLen);
}

// A fixed-point number with up to eight digit characters; the sign takes the
// place of one digit.
void AudioEffect::float2string(float value, char* text, VstInt32 maxLen)
{
    char buffer[32];
    double magnitude = std::fabs(static_cast<double>(value));
    bool negative = value < 0;
    if (!(magnitude <= (negative ? 9999999.0 : 99999999.0)))
    {
        vst_strncpy(text, "Huge!", static_cast<size_t>(maxLen));
        return;
    }
    int digits = negative ? 7 : 8;
    int integerDigits = 1;
    for (double limit = 10.0; magnitude >= limit && integerDigits < digits; limit *= 10.0)
        ++integerDigits;
    snprintf(buffer, sizeof(buffer), "%.*f", digits - integerDigits, static_cast<double>(value));
    vst_strncpy(text, buffer, static_cast<size_t>(maxLen));
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen)
{
    if (value >= 100000000)
    {
        vst_strncpy(text, "Huge!", static_cast<size_t>(maxLen));
        return;
    }
    char buffer[16];
    snprintf(buffer, sizeof(buffer), "%d", value);
    vst_strncpy(text, buffer, static_cast<size_t>(maxLen));
}
