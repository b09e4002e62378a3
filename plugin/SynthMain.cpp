#include "plugin/VmraXFadeLooperSynth.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster)
{
    return new VmraXFadeLooperSynth(audioMaster);
}
