// The plug-in side of the VST 2.4 boundary: AudioEffect owns the AEffect
// record the host sees and turns dispatcher calls into virtual calls;
// AEffEditor is the base of every editor.
#pragma once

#include "vst/VstAbi.h"

class AudioEffect;

class AEffEditor
{
public:
    explicit AEffEditor(AudioEffect* owner = nullptr) : effect(owner) {}
    virtual ~AEffEditor() = default;

    virtual AudioEffect* getEffect() { return effect; }
    virtual bool getRect(ERect** rect)
    {
        *rect = nullptr;
        return false;
    }
    virtual bool open(void* window)
    {
        systemWindow = window;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}

    virtual void __drawDeprecated(ERect*) {}
    virtual VstInt32 __mouseDeprecated(VstInt32, VstInt32) { return 0; }
    virtual VstInt32 __keyDeprecated(VstInt32) { return 0; }
    virtual void __topDeprecated() {}
    virtual void __sleepDeprecated() {}

    virtual bool onKeyDown(VstKeyCode&) { return false; }
    virtual bool onKeyUp(VstKeyCode&) { return false; }
    virtual bool onWheel(float) { return false; }
    virtual bool setKnobMode(VstInt32) { return false; }

protected:
    AudioEffect* effect = nullptr;
    void* systemWindow = nullptr;
};

class AudioEffect
{
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}

    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(VstInt32 size) { blockSize = size; }
    virtual void processReplacing(float**, float**, VstInt32) {}
    virtual void processDoubleReplacing(double**, double**, VstInt32) {}

    virtual void setParameter(VstInt32, float) {}
    virtual float getParameter(VstInt32) { return 0; }
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char* name) { *name = 0; }
    virtual void getParameterLabel(VstInt32, char* label) { *label = 0; }
    virtual void getParameterDisplay(VstInt32, char* text) { *text = 0; }
    virtual void getParameterName(VstInt32, char* text) { *text = 0; }
    virtual VstInt32 getChunk(void**, bool = false) { return 0; }
    virtual VstInt32 setChunk(void*, VstInt32, bool = false) { return 0; }

    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state = true) { setFlag(effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

    virtual AEffEditor* getEditor() { return editor; }
    virtual AEffect* getAeffect() { return &cEffect; }
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }

    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

    virtual void dB2string(float value, char* text, VstInt32 maxLen);
    virtual void Hz2string(float samples, char* text, VstInt32 maxLen);
    virtual void ms2string(float samples, char* text, VstInt32 maxLen);
    virtual void float2string(float value, char* text, VstInt32 maxLen);
    virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

    virtual void __processDeprecated(float**, float**, VstInt32) {}
    virtual float __getVuDeprecated() { return 0; }
    virtual void __hasVuDeprecated(bool state = true) { setFlag(__effFlagsHasVuDeprecated, state); }
    virtual void __hasClipDeprecated(bool state = true) { setFlag(__effFlagsHasClipDeprecated, state); }
    virtual void __canMonoDeprecated(bool state = true) { setFlag(__effFlagsCanMonoDeprecated, state); }
    virtual void __setRealtimeQualitiesDeprecated(VstInt32 qualities) { cEffect.__realQualitiesDeprecated = qualities; }
    virtual void __setOfflineQualitiesDeprecated(VstInt32 qualities) { cEffect.__offQualitiesDeprecated = qualities; }

    // Takes ownership of the editor; sets or clears effFlagsHasEditor.
    void setEditor(AEffEditor* newEditor);

    // Calls the host; 0 when there is no host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0) const;

protected:
    void setFlag(VstInt32 flag, bool state);

    static VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                         float opt);
    static float getParameterClass(AEffect* e, VstInt32 index);
    static void setParameterClass(AEffect* e, VstInt32 index, float value);
    static void __processClassDeprecated(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
    static void processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
    static void processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs, VstInt32 frames);

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect;
};

// Copies at most maxLen characters of src and always terminates dst (which
// must hold maxLen + 1 bytes).
void vst_strncpy(char* dst, const char* src, size_t maxLen);

// Made by each deliverable: constructs its plug-in class.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
