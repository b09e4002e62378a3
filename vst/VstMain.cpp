// The one symbol each plug-in exports.
#include "vst/AudioEffect.h"

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster)
{
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0) == 0)
        return nullptr;
    AudioEffect* effect = createEffectInstance(audioMaster);
    if (!effect)
        return nullptr;
    return effect->getAeffect();
}
