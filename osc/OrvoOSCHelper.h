// The product's OSC server: the engine decides which parameters exist, and
// /loadSample and /saveSample reach the sample buffer.
#pragma once

#include "osc/OSCHelper.h"

class OrvoOSCHelper : public VL::OSCHelper
{
public:
    OrvoOSCHelper(VmraAuBase* unit, VL::LuaMIDIHelper* lua) : VL::OSCHelper(unit, lua) {}
    OrvoOSCHelper(VmraAuBase* unit, VL::LuaMIDIHelper& lua) : VL::OSCHelper(unit, &lua) {}
    ~OrvoOSCHelper() override;

protected:
    using VL::OSCHelper::ProcessMessage;
    // /loadSample path: loads the file as the sample. /saveSample path:
    // writes the buffer there as a 24-bit AIFF file.
    void ProcessMessage(const std::string& address, const osc::ReceivedMessage& message,
                        const IpEndpointName& source) override;
    bool isParameterUsed(int id) override;
};
