#include "plugin/VmraInstanceTracker.h"

#include <algorithm>
#include <vector>

#include "platform/Multiprocessing.h"
#include "plugin/VmraAuBase.h"
#include "xfadelooper/DataToGui.h"

namespace
{
// Lives as long as the plug-in's module: a host unloads the module only
// after closing every instance.
struct Registry
{
    Registry() { MPCreateCriticalRegion(&lock); }
    ~Registry() { MPDeleteCriticalRegion(lock); }
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
    MPCriticalRegionID lock = nullptr;
    std::vector<VmraAuBase*> instances;
};

Registry& registry()
{
    static Registry r;
    return r;
}

class Locked
{
public:
    Locked() : m_r(registry()) { MPEnterCriticalRegion(m_r.lock, kDurationForever); }
    ~Locked() { MPExitCriticalRegion(m_r.lock); }
    std::vector<VmraAuBase*>& instances() { return m_r.instances; }

private:
    Registry& m_r;
};

bool matches(VmraAuBase* unit, int oscIndex)
{
    return unit->CurrentProgram()->GetParameter(kParam_OSCPortOffset) == static_cast<float>(oscIndex);
}
} // namespace

void VmraInstanceTracker::AddInstance(VmraAuBase* unit)
{
    Locked locked;
    locked.instances().push_back(unit);
}

void VmraInstanceTracker::RemoveInstance(VmraAuBase* unit)
{
    Locked locked;
    auto& v = locked.instances();
    v.erase(std::remove(v.begin(), v.end(), unit), v.end());
}

void VmraInstanceTracker::SetParameterOnAllByOSCIndex(int oscIndex, int param, float value)
{
    if (!IsValidParamIndex(param))
        return;
    Locked locked;
    for (VmraAuBase* unit : locked.instances())
        if (matches(unit, oscIndex))
        {
            unit->CurrentProgram()->SetParameter(param, value);
            unit->updateDisplay();
        }
}

float VmraInstanceTracker::GetParameterFromAllByOSCIndex(int oscIndex, int param)
{
    if (!IsValidParamIndex(param))
        return 0;
    Locked locked;
    for (VmraAuBase* unit : locked.instances())
        if (matches(unit, oscIndex))
            return unit->CurrentProgram()->GetParameter(param);
    return 0;
}

void VmraInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(int oscIndex, int indicator, int on)
{
    if (indicator < 0 || indicator > 7)
        return;
    Locked locked;
    for (VmraAuBase* unit : locked.instances())
        if (matches(unit, oscIndex))
            if (DataToGui* data = unit->GetDataToGui())
                Publish(data->guiBools[indicator], on != 0);
}

bool VmraInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(int oscIndex, int indicator)
{
    if (indicator < 0 || indicator > 7)
        return false;
    Locked locked;
    for (VmraAuBase* unit : locked.instances())
        if (matches(unit, oscIndex))
        {
            DataToGui* data = unit->GetDataToGui();
            return data && Observe(data->guiBools[indicator]);
        }
    return false;
}

int VmraInstanceTracker::NumInstances()
{
    Locked locked;
    return static_cast<int>(locked.instances().size());
}
