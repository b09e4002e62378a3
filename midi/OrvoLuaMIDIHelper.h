// The product's MIDI host: notes, pitch wheel, sustain and all-notes-off go
// to the sound engine; controllers, NRPNs, program changes and pressure go
// to the scripts. Note and pitch-wheel callbacks of scripts are never called.
#pragma once

#include "midi/LuaMIDIHelper.h"

class VmraXFadeLooper;

class OrvoLuaMIDIHelper : public VL::LuaMIDIHelper
{
public:
    // Only stores the engine: it is used from LuaInit on, so it may be
    // constructed before the engine is initialised.
    OrvoLuaMIDIHelper(VmraAuBase* plugIn, VmraXFadeLooper& engine, VL::OSCHelper* osc = nullptr);
    ~OrvoLuaMIDIHelper() override;

    void HandleNoteOn(int channel, unsigned char note, unsigned char velocity, unsigned long deltaFrames) override;
    void HandleNoteOff(int channel, unsigned char note, unsigned char velocity, unsigned long deltaFrames) override;
    void HandleControlChange(int channel, unsigned char controller, unsigned char value,
                             unsigned long deltaFrames) override;
    void HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb, unsigned long deltaFrames) override;
    bool isParameterUsed(int index) override;
    // The eight indicator flags in the engine's DataToGui record.
    void setGUIBoolValue(int id, int value) override;
    bool getGUIBoolValue(int id) const override;

private:
    VmraXFadeLooper* m_engine;
};
