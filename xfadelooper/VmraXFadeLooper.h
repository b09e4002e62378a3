// The sound engine: one stereo buffer played by up to 32 voices. Each plug-in
// instance owns one; it reads parameters from the plug-in's current program
// and reports property changes through it.
#pragma once

#include <atomic>
#include <mutex>

#include "plugin/AUTypes.h"
#include "xfadelooper/DataToGui.h"
#include "xfadelooper/Note.h"
#include "xfadelooper/NoteQueue.h"
#include "xfadelooper/StreamDescription.h"
#include "xfadelooper/TAUBuffer.h"

class VmraAuBase;
struct VstPinProperties;
struct RenderLoopData;

enum : uint32_t
{
    kOrvoProperty_SamplePath = 64000,
    kOrvoProperty_DataToGui = 64001,
    kOrvoProperty_Overview = 64003,
    kOrvoProperty_IsEffect = 64004,
    kOrvoProperty_BufferSampleRate = 64005,
    kOrvoProperty_BufferFrames = 64006,
    kOrvoProperty_MaxBufferSeconds = 64007,
    kOrvoProperty_SampleBytes = 64008,
};

// Answer of the engine's property operations for ids it does not handle.
constexpr OSStatus kEngineNotHandled = -1;
constexpr OSStatus kAudioUnitErr_InvalidPropertyValue = -10851;

class VmraXFadeLooper
{
public:
    static constexpr int kMaxNotes = 32;
    static constexpr int kOverviewColumns = 256;
    static constexpr int kRecordSaveFloats = 128;

    explicit VmraXFadeLooper(bool isEffect);
    virtual ~VmraXFadeLooper();
    VmraXFadeLooper(const VmraXFadeLooper&) = delete;
    VmraXFadeLooper& operator=(const VmraXFadeLooper&) = delete;

    static bool IsParameterUsed(int index);

    void Construct(VmraAuBase* base);
    OSStatus Initialize();
    void OnMaxSliceChange(unsigned long frames);
    void InitialiseBuffers();
    void ResetBuffers();
    void Reset();
    void setSampleRate(float sampleRate);

    virtual DataToGui* GetDataToGui() { return &m_dataToGui; }

    int32_t getChunk(void** data, bool isPreset);
    int32_t setChunk(void* data, int32_t size, bool isPreset);

    OSStatus GetPropertyInfo(unsigned long id, unsigned long scope, unsigned long element, unsigned long& size,
                             unsigned char& writable);
    OSStatus GetProperty(unsigned long id, unsigned long scope, unsigned long element, void* data);
    OSStatus SetProperty(unsigned long id, unsigned long scope, unsigned long element, const void* data,
                         unsigned long size);
    int GetParameterValueStrings(unsigned long scope, unsigned long element, CFArrayRef* out);

    // MIDI input, from any thread: queued for the audio thread.
    void HandleNoteOn(int channel, unsigned char note, unsigned char velocity);
    void HandleNoteOff(int channel, unsigned char note, unsigned char velocity);
    void HandleAllNotesOff(int channel);
    void HandleAllSoundOff(int channel);
    void HandleControlChange(int channel, unsigned char controller, unsigned char value);
    // Written directly: one float the renderer reads.
    void HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb);

    // Start of every block on the audio thread: applies the queued messages,
    // drones, LFOs, host time and the record length. False for an empty
    // block.
    bool PrepareToRender(unsigned long frames);
    // Adds the voices into left and right (the current block's length).
    // True when nothing was rendered.
    bool RenderNotes(float* left, float* right, bool dangerPass);

    // Live recording, effect build only (audio thread).
    void Record(const float* inLeft, const float* inRight, unsigned long n);
    bool FigureDangerNotes();
    void RecordBufferCopy();
    void RecordBufferCopy(int first, int end);
    int RecordPosition() const { return m_recordPos; }

    // Reads a sound file and hands it to the audio thread.
    void LoadSample(const char* path);

    // The buffer as normalised 24-bit audio.
    OSStatus GenerateSampleBytes(VL::SampleBytes& record);
    void GenerateSampleOverview();
    void UpdateSampleOverview(int first, int end);

    // Frames a block may have at most: the scratch runs hold this many.
    unsigned long MaxSliceFrames() const { return m_maxSliceFrames; }
    bool IsEffect() const { return m_isEffect; }
    float BufferFrames() const { return m_bufferFrames; }
    float BufferSampleRate() const { return m_bufferSampleRate; }
    const float* Buffer() const { return m_buffer.Data(); }
    const float* RecordBuffer() const { return m_recordBuffer.Data(); }
    const float* Overview() const { return m_overview; }
    size_t BufferFloats() const { return m_buffer.Size(); }

    // Audio-thread operations on voices, used by block preparation.
    void DoStartNote(int note, float velocity, int drone);
    void DoStopNote(int note, int drone);
    void DoSustain(bool down);
    void DoAllNotesOff();
    void DoAllSoundOff();
    void DoLoadSample(const NoteOnOffInfo* message);

    int NumNotes() const { return m_numNotes; }
    const Note& GetNote(int i) const { return m_notes[i]; }
    float PitchBend() const { return m_pitchBend.load(std::memory_order_relaxed); }
    bool Sustain() const { return m_sustain; }
    int NumHeldNotes() const { return m_numHeldNotes; }
    NoteOnOffQueue& Queue() { return m_queue; }

protected:
    float Param(int index) const;
    void AnnounceBufferChange();
    float HostSampleRate() const;
    void ApplyQueuedMessages();
    void UpdateDrones();
    void AdvanceLfos(float dt);
    void ReadHostTime();
    void UpdateRecordLength();
    void StartEnvelopes(Note& voice);
    void ReleaseVoice(Note& voice);
    void RemoveFinishedVoices();
    // Hands memory the audio thread is done with to the next loading thread.
    void Retire(unsigned char* bytes, CAStreamBasicDescription* description, TAUBuffer<float>* buffer);
    // Frees what the audio thread retired (any thread but the audio thread).
    void CollectRetired();
    unsigned long RenderLoopOuter(unsigned long n, RenderLoopData& data, Note& voice, unsigned long& fadeCount,
                                  unsigned long dangerCount, bool refTone);

    VmraAuBase* m_base = nullptr;
    Note m_notes[kMaxNotes];
    int m_numNotes = 0;
    int m_maxBufferSeconds = 60;
    int m_maxBufferFrames = 0;
    float m_bufferFrames = 0;
    float m_bufferSampleRate = 0;
    TAUBuffer<float> m_buffer;
    TAUBuffer<float> m_scratch;
    TAUBuffer<float> m_scratchOld;
    unsigned long m_maxSliceFrames = 0;
    float m_lastLoopStart = -1;
    float m_lastLoopEnd = -1;
    float m_lastLoopBody = -1;
    float m_rateScale = 1.0f;
    std::atomic<float> m_pitchBend{0};
    float m_syncLfoPhase = 0;
    float m_syncLfoRamp = 0;
    bool m_isEffect;
    int m_recordPos = 0;
    int m_recordStart = 0;
    int m_recordEnd = 0;
    int m_lastGate = 0;
    bool m_triggerRunning = false;
    float* m_overview = nullptr;
    TAUBuffer<float> m_recordSave;
    int m_recordSaveCount = 0; // frames of the faded tail kept in m_recordSave
    int m_recordSaveEnd = -1;  // write position right after that tail
    TAUBuffer<float> m_recordBuffer;
    int m_droneNotes[3] = {-1, -1, -1};
    bool m_bufferChanged = false;
    DataToGui m_dataToGui{};
    double m_globalPlayPos = -1;
    double m_notePlayPos[128];
    int m_lastNote = -1;
    signed char m_heldNotes[128] = {};
    int m_numHeldNotes = 0;
    bool m_sustain = false;
    NoteOnOffQueue m_queue;

    struct Retired
    {
        unsigned char* bytes;
        CAStreamBasicDescription* description;
        TAUBuffer<float>* buffer;
    };
    static constexpr uint32_t kRetiredSlots = 128;
    Retired m_retired[kRetiredSlots] = {};
    std::atomic<uint32_t> m_retiredWrite{0};
    std::atomic<uint32_t> m_retiredRead{0};
    std::mutex m_collectLock;
};
