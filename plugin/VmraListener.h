// Parameter change notification for the GUI. CAAUParameter is a control's
// handle on one parameter; VmraListener collects the changes reported on any
// thread and hands them to the GUI's callback later, on the GUI thread.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "plugin/AUTypes.h"
#include "xfadelooper/ParamInfo.h"

struct AudioUnitParameterInfo
{
    char name[52];
    CFStringRef unitName;
    uint32_t clumpID;
    CFStringRef cfNameString;
    AudioUnitParameterUnit unit;
    float minValue;
    float maxValue;
    float defaultValue;
    uint32_t flags;
};

class CAAUParameter : public AudioUnitParameter
{
public:
    CAAUParameter();
    CAAUParameter(VmraAuBase* unit, long parameterID, int scope, int element);

    // The plain value in the owner's current program.
    float GetValue() const;
    // Stores the plain value, tells the owner's editor and reports the change
    // to the host as automation; returns the host's answer.
    int SetValue(void* listenerRef, void* object, float value) const;

    const AudioUnitParameterInfo& ParameterInfo() const { return mParamInfo; }

protected:
    AudioUnitParameterInfo mParamInfo;
    VmraAuBase* mOwner;
};

class VmraListener
{
public:
    typedef void (*Callback)(void* refCon, void* element, long parameterID, float value);

    // Changes that can wait between two GUI idles before the oldest are
    // folded into a final value per parameter.
    static constexpr size_t kPendingCapacity = 1024;

    VmraListener(Callback callback, void* refCon, int numParameters);
    ~VmraListener();
    VmraListener(const VmraListener&) = delete;
    VmraListener& operator=(const VmraListener&) = delete;

    // GUI thread, while the GUI is built. Placeholder parameters (range and
    // default all 0) never get elements.
    void Add(long parameterID, void* element);
    // Any thread, the audio thread included: never blocks, never allocates.
    void Notify(long parameterID, float value);
    // GUI thread: delivers the pending changes in the order reported.
    void DoCallbacks();
    // GUI thread: calls back every bound parameter with its current value.
    int UpdateAll(VmraAuBase* unit);

private:
    struct Slot
    {
        std::atomic<size_t> sequence;
        long parameterID;
        float value;
    };

    void Deliver(long parameterID, float value);
    // Delivers unless a newer change of the parameter went out already
    // (a writer can publish late, after a newer value was folded in).
    void DeliverIfNewer(long parameterID, float value, size_t ticket);

    Callback m_callback;
    void* m_refCon;
    int m_numParameters;
    std::vector<std::vector<void*>> m_elements;
    std::atomic<bool>* m_bound; // readable from every thread

    // Bounded ring with many writers and one reader.
    std::unique_ptr<Slot[]> m_slots;
    std::atomic<size_t> m_writeIndex{0};
    size_t m_readIndex = 0;

    // Changes that found the ring full: the last value per parameter, with
    // the write position at that moment as its place in the order.
    std::unique_ptr<std::atomic<float>[]> m_overflowValue;
    std::unique_ptr<std::atomic<size_t>[]> m_overflowTicket; // ticket + 1; 0: none waiting
    std::atomic<bool> m_anyOverflow{false};
    std::vector<size_t> m_delivered; // GUI thread: last ticket + 1 per parameter
};
