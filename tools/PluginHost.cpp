#include "tools/PluginHost.h"

#include <dlfcn.h>

#include <cmath>
#include <cstring>

namespace
{
// The host being loaded: the plug-in calls back before its AEffect exists.
thread_local PluginHost* t_loading = nullptr;

typedef AEffect* (*PluginEntry)(audioMasterCallback);
} // namespace

std::string FourCCText(VstInt32 code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        char c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}

PluginHost::~PluginHost()
{
    Unload();
}

bool PluginHost::Load(const std::string& path, std::string* error)
{
    Unload();
    // A bare file name means the file here, not one on the library path.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    m_library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_library)
    {
        if (error)
            *error = dlerror();
        return false;
    }
    auto entry = reinterpret_cast<PluginEntry>(dlsym(m_library, "VSTPluginMain"));
    if (!entry)
    {
        if (error)
            *error = "no VSTPluginMain in " + path;
        Unload();
        return false;
    }
    m_timeInfo = VstTimeInfo{};
    m_timeInfo.sampleRate = m_sampleRate;
    m_timeInfo.tempo = 120.0;
    m_timeInfo.timeSigNumerator = 4;
    m_timeInfo.timeSigDenominator = 4;
    m_timeInfo.flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;

    t_loading = this;
    AEffect* effect = entry(&PluginHost::HostCallback);
    t_loading = nullptr;
    if (!effect || effect->magic != kEffectMagic)
    {
        if (error)
            *error = effect ? "not a VST 2.4 plug-in" : "VSTPluginMain returned no plug-in";
        Unload();
        return false;
    }
    effect->user = this;
    m_effect = effect;
    Dispatch(effOpen);
    return true;
}

void PluginHost::Unload()
{
    if (m_effect)
    {
        Dispatch(effMainsChanged, 0, 0);
        m_effect->dispatcher(m_effect, effClose, 0, 0, nullptr, 0);
        m_effect = nullptr;
    }
    if (m_library)
    {
        dlclose(m_library);
        m_library = nullptr;
    }
}

VstIntPtr PluginHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const
{
    return m_effect ? m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt) : 0;
}

std::string PluginHost::GetString(VstInt32 opcode, VstInt32 index) const
{
    char text[256];
    memset(text, 0, sizeof(text));
    Dispatch(opcode, index, 0, text);
    text[sizeof(text) - 1] = 0;
    return text;
}

VstIntPtr PluginHost::CanDo(const char* text) const
{
    return Dispatch(effCanDo, 0, 0, const_cast<char*>(text));
}

float PluginHost::GetParameter(int index) const
{
    return m_effect ? m_effect->getParameter(m_effect, index) : 0.0f;
}

void PluginHost::SetParameter(int index, float normalised) const
{
    if (m_effect)
        m_effect->setParameter(m_effect, index, normalised);
}

int PluginHost::FindParameter(const std::string& name) const
{
    if (!m_effect)
        return -1;
    for (int i = 0; i < m_effect->numParams; ++i)
        if (GetString(effGetParamName, i) == name)
            return i;
    return -1;
}

void PluginHost::Start(float sampleRate, int blockSize)
{
    m_sampleRate = sampleRate;
    m_blockSize = blockSize;
    m_timeInfo.sampleRate = sampleRate;
    Dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    Dispatch(effSetBlockSize, 0, blockSize);
    Dispatch(effMainsChanged, 0, 1);
}

void PluginHost::Process(float** inputs, float** outputs, int frames) const
{
    if (m_effect)
        m_effect->processReplacing(m_effect, inputs, outputs, frames);
}

void PluginHost::SetTransport(double samplePos, bool playing)
{
    const bool wasPlaying = (m_timeInfo.flags & kVstTransportPlaying) != 0;
    if (playing)
        m_timeInfo.flags |= kVstTransportPlaying;
    else
        m_timeInfo.flags &= ~kVstTransportPlaying;
    if (playing != wasPlaying)
        m_timeInfo.flags |= kVstTransportChanged;
    m_timeInfo.samplePos = samplePos;
    updateMusicalPosition();
}

void PluginHost::AdvanceTime(int frames)
{
    m_timeInfo.flags &= ~kVstTransportChanged;
    m_timeInfo.samplePos += frames;
    updateMusicalPosition();
}

void PluginHost::updateMusicalPosition()
{
    const double rate = m_timeInfo.sampleRate > 0.0 ? m_timeInfo.sampleRate : 44100.0;
    m_timeInfo.ppqPos = m_timeInfo.samplePos / rate * m_timeInfo.tempo / 60.0;
    if (m_timeInfo.timeSigNumerator > 0 && m_timeInfo.timeSigDenominator > 0)
    {
        const double quartersPerBar = 4.0 * m_timeInfo.timeSigNumerator / m_timeInfo.timeSigDenominator;
        // The small allowance keeps a position a rounding error short of a
        // bar line in the bar that starts there.
        m_timeInfo.barStartPos = std::floor(m_timeInfo.ppqPos / quartersPerBar + 1e-9) * quartersPerBar;
        m_timeInfo.flags |= kVstBarsValid;
    }
}

std::vector<PluginHost::AutomationEvent> PluginHost::TakeAutomation()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<AutomationEvent> events;
    events.swap(m_automation);
    return events;
}

VstIntPtr PluginHost::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt)
{
    PluginHost* host = effect && effect->user ? static_cast<PluginHost*>(effect->user) : t_loading;
    if (!host)
        return opcode == audioMasterVersion ? kVstVersion : 0;
    return host->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr PluginHost::Answer(VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt)
{
    switch (opcode)
    {
    case audioMasterVersion:
        return m_versionAnswer;
    case audioMasterAutomate:
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_automation.push_back({index, opt});
        return 0;
    }
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(&m_timeInfo);
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(m_sampleRate);
    case audioMasterGetBlockSize:
        return m_blockSize;
    case audioMasterUpdateDisplay:
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_updateDisplayCount;
        return 1;
    }
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_editDepth += opcode == audioMasterBeginEdit ? 1 : -1;
        return 1;
    }
    case audioMasterGetVendorString:
        if (ptr)
            strcpy(static_cast<char*>(ptr), "Velmora");
        return ptr ? 1 : 0;
    case audioMasterGetProductString:
        if (ptr)
            strcpy(static_cast<char*>(ptr), "orvo-host");
        return ptr ? 1 : 0;
    case audioMasterGetVendorVersion:
        return 1;
    case audioMasterCanDo:
    {
        const char* text = static_cast<const char*>(ptr);
        if (!text)
            return 0;
        for (const char* known : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "sizeWindow"})
            if (strcmp(text, known) == 0)
                return 1;
        return 0;
    }
    case audioMasterGetCurrentProcessLevel:
        return 0;
    default:
        return 0;
    }
}
