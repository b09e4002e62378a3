#include "midi/OrvoLuaMIDIHelper.h"

#include "xfadelooper/DataToGui.h"
#include "xfadelooper/VmraXFadeLooper.h"

OrvoLuaMIDIHelper::OrvoLuaMIDIHelper(VmraAuBase* plugIn, VmraXFadeLooper& engine, VL::OSCHelper* osc)
    : VL::LuaMIDIHelper(plugIn, osc), m_engine(&engine)
{
}

OrvoLuaMIDIHelper::~OrvoLuaMIDIHelper()
{
    // No timer may reach the overrides below once this part is gone.
    LuaShutdown();
}

void OrvoLuaMIDIHelper::HandleNoteOn(int channel, unsigned char note, unsigned char velocity, unsigned long)
{
    m_engine->HandleNoteOn(channel, note, velocity);
}

void OrvoLuaMIDIHelper::HandleNoteOff(int channel, unsigned char note, unsigned char velocity, unsigned long)
{
    m_engine->HandleNoteOff(channel, note, velocity);
}

void OrvoLuaMIDIHelper::HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb, unsigned long)
{
    m_engine->HandlePitchWheel(channel, lsb, msb);
}

void OrvoLuaMIDIHelper::HandleControlChange(int channel, unsigned char controller, unsigned char value,
                                            unsigned long deltaFrames)
{
    m_engine->HandleControlChange(channel, controller, value);
    VL::LuaMIDIHelper::HandleControlChange(channel, controller, value, deltaFrames);
}

bool OrvoLuaMIDIHelper::isParameterUsed(int index)
{
    return VmraXFadeLooper::IsParameterUsed(index);
}

void OrvoLuaMIDIHelper::setGUIBoolValue(int id, int value)
{
    if (id < 0 || id > 7)
        return;
    if (DataToGui* data = m_engine->GetDataToGui())
        Publish(data->guiBools[id], value != 0);
}

bool OrvoLuaMIDIHelper::getGUIBoolValue(int id) const
{
    if (id < 0 || id > 7)
        return false;
    const DataToGui* data = m_engine->GetDataToGui();
    return data && Observe(data->guiBools[id]);
}
