// libFuzzer entry: any bytes through the reader and, when they load, the
// decoder over every frame.
#include "xfadelooper/SampleFile.h"

#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader logs a line for every file it opens; keep the fuzzer's
    // own output readable.
    if (!std::freopen("/dev/null", "w", stdout))
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RawSampleData sample;
    if (ReadSampleMemory(data, size, sample) == SampleFileStatus::Ok)
    {
        std::vector<float> stereo(2 * sample.frames);
        DecodeSampleFrames(sample.bytes, sample.frames, sample.frames, sample.description, stereo.data());
    }
    FreeRawSampleData(sample);
    return 0;
}
