#include "plugin/VmraListener.h"

#include <cstring>

#include "plugin/VmraAuBase.h"
#include "plugin/VmraEditor.h"

// ---- CAAUParameter -----------------------------------------------------------

CAAUParameter::CAAUParameter() : AudioUnitParameter{nullptr, 0, 0, 0}, mParamInfo{}, mOwner(nullptr) {}

CAAUParameter::CAAUParameter(VmraAuBase* unit, long parameterID, int, int)
    : AudioUnitParameter{nullptr, static_cast<AudioUnitParameterID>(parameterID), 0, 0}, mParamInfo{}, mOwner(unit)
{
    if (!IsValidParamIndex(parameterID))
        return;
    const ParamInfo& info = astParamInfos[parameterID];
    strncpy(mParamInfo.name, info.name, sizeof(mParamInfo.name) - 1);
    mParamInfo.unit = info.unit;
    mParamInfo.minValue = info.min;
    mParamInfo.maxValue = info.max;
    mParamInfo.defaultValue = info.defaultValue;
}

float CAAUParameter::GetValue() const
{
    return mOwner->CurrentProgram()->GetParameter(static_cast<int>(mParameterID));
}

int CAAUParameter::SetValue(void*, void*, float value) const
{
    int index = static_cast<int>(mParameterID);
    mOwner->CurrentProgram()->SetParameter(index, value);
    if (VmraEditor* editor = mOwner->GetVmraEditor())
        editor->setParameter(index, value);
    return mOwner->SetParameterAutomated(index, value);
}

// ---- VmraListener ----------------------------------------------------------------

VmraListener::VmraListener(Callback callback, void* refCon, int numParameters)
    : m_callback(callback), m_refCon(refCon), m_numParameters(numParameters > 0 ? numParameters : 0),
      m_elements(static_cast<size_t>(m_numParameters)), m_bound(new std::atomic<bool>[m_numParameters]),
      m_slots(new Slot[kPendingCapacity]), m_overflowValue(new std::atomic<float>[m_numParameters]),
      m_overflowTicket(new std::atomic<size_t>[m_numParameters]), m_delivered(static_cast<size_t>(m_numParameters), 0)
{
    static_assert((kPendingCapacity & (kPendingCapacity - 1)) == 0, "capacity must be a power of two");
    for (int i = 0; i < m_numParameters; ++i)
    {
        m_bound[i].store(false, std::memory_order_relaxed);
        m_overflowValue[i].store(0, std::memory_order_relaxed);
        m_overflowTicket[i].store(0, std::memory_order_relaxed);
    }
    for (size_t i = 0; i < kPendingCapacity; ++i)
        m_slots[i].sequence.store(i, std::memory_order_relaxed);
}

VmraListener::~VmraListener()
{
    delete[] m_bound;
}

void VmraListener::Add(long parameterID, void* element)
{
    if (parameterID < 0 || parameterID >= m_numParameters)
        return;
    if (IsValidParamIndex(parameterID))
    {
        const ParamInfo& info = astParamInfos[parameterID];
        if (info.min == 0 && info.max == 0 && info.defaultValue == 0)
            return;
    }
    m_elements[static_cast<size_t>(parameterID)].push_back(element);
    m_bound[parameterID].store(true, std::memory_order_release);
}

void VmraListener::Notify(long parameterID, float value)
{
    if (parameterID < 0 || parameterID >= m_numParameters || !m_bound[parameterID].load(std::memory_order_acquire))
        return;
    const size_t mask = kPendingCapacity - 1;
    size_t position = m_writeIndex.load(std::memory_order_relaxed);
    for (;;)
    {
        Slot& slot = m_slots[position & mask];
        size_t sequence = slot.sequence.load(std::memory_order_acquire);
        long difference = static_cast<long>(sequence) - static_cast<long>(position);
        if (difference == 0)
        {
            if (m_writeIndex.compare_exchange_weak(position, position + 1, std::memory_order_relaxed))
            {
                slot.parameterID = parameterID;
                slot.value = value;
                slot.sequence.store(position + 1, std::memory_order_release);
                return;
            }
        }
        else if (difference < 0)
        {
            // Full: keep the latest value of this parameter for the next idle.
            m_overflowValue[parameterID].store(value, std::memory_order_relaxed);
            // Ordered after every change that took a slot before this
            // position and before the one that takes it next: 2p vs 2p + 1.
            m_overflowTicket[parameterID].store(2 * position + 1, std::memory_order_release);
            m_anyOverflow.store(true, std::memory_order_release);
            return;
        }
        else
            position = m_writeIndex.load(std::memory_order_relaxed);
    }
}

void VmraListener::Deliver(long parameterID, float value)
{
    for (void* element : m_elements[static_cast<size_t>(parameterID)])
        m_callback(m_refCon, element, parameterID, value);
}

void VmraListener::DeliverIfNewer(long parameterID, float value, size_t ticket)
{
    size_t& delivered = m_delivered[static_cast<size_t>(parameterID)];
    if (ticket + 1 <= delivered)
        return;
    delivered = ticket + 1;
    Deliver(parameterID, value);
}

void VmraListener::DoCallbacks()
{
    const size_t mask = kPendingCapacity - 1;
    for (;;)
    {
        Slot& slot = m_slots[m_readIndex & mask];
        size_t sequence = slot.sequence.load(std::memory_order_acquire);
        if (sequence != m_readIndex + 1)
            break;
        long parameterID = slot.parameterID;
        float value = slot.value;
        size_t ticket = 2 * m_readIndex + 1;
        slot.sequence.store(m_readIndex + kPendingCapacity, std::memory_order_release);
        ++m_readIndex;
        DeliverIfNewer(parameterID, value, ticket);
    }
    if (m_anyOverflow.exchange(false, std::memory_order_acq_rel))
        for (long i = 0; i < m_numParameters; ++i)
        {
            size_t ticket = m_overflowTicket[i].exchange(0, std::memory_order_acq_rel);
            if (ticket != 0)
                DeliverIfNewer(i, m_overflowValue[i].load(std::memory_order_relaxed), ticket - 1);
        }
}

int VmraListener::UpdateAll(VmraAuBase* unit)
{
    int count = unit->getAeffect()->numParams;
    for (int i = 0; i < count && i < m_numParameters; ++i)
        if (!m_elements[static_cast<size_t>(i)].empty())
            Deliver(i, unit->CurrentProgram()->GetParameter(i));
    return count;
}
