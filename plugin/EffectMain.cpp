#include "plugin/VmraXFadeLooperEffect.h"

AudioEffect* createEffectInstance(audioMasterCallback audioMaster)
{
    return new VmraXFadeLooperEffect(audioMaster);
}
