#include "osc/OrvoOSCHelper.h"

#include <cstring>

#include <oscpack/osc/OscException.h>

#include "plugin/VmraAuBase.h"
#include "xfadelooper/SampleFile.h"
#include "xfadelooper/VmraXFadeLooper.h"

OrvoOSCHelper::~OrvoOSCHelper()
{
    // Both tasks end before this object's overrides go away.
    DestroyTask();
}

bool OrvoOSCHelper::isParameterUsed(int id)
{
    return VmraXFadeLooper::IsParameterUsed(id);
}

void OrvoOSCHelper::ProcessMessage(const std::string& address, const osc::ReceivedMessage& message,
                                   const IpEndpointName&)
{
    if (address == "/loadSample")
    {
        const char* path;
        message.ArgumentStream() >> path >> osc::EndMessage;
        AudioUnitSetProperty(Unit(), kOrvoProperty_SamplePath, 0, 0, path, strlen(path) + 1);
    }
    else if (address == "/saveSample")
    {
        const char* path;
        message.ArgumentStream() >> path >> osc::EndMessage;
        VL::SampleBytes record{};
        unsigned long size = sizeof record;
        if (AudioUnitGetProperty(Unit(), kOrvoProperty_SampleBytes, 0, 0, &record, &size) != noErr)
            throw osc::Exception("could not read the sample in saveSample");
        bool written = WriteSampleBytesAiff(path, record);
        delete[] record.bytes;
        if (!written)
            throw osc::Exception("could not write the sample in saveSample");
    }
}
