#include "tools/RenderSession.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace
{
// Non-interleaved channel buffers of one block, with the pointer array
// processReplacing takes. Never fewer than two channels, so a plug-in that
// declares fewer still gets valid pointers.
struct BlockBuffers
{
    BlockBuffers(int channels, int blockSize)
        : storage(static_cast<size_t>(std::max(channels, 2)), std::vector<float>(static_cast<size_t>(blockSize)))
    {
        for (std::vector<float>& channel : storage)
            pointers.push_back(channel.data());
    }
    void Clear(size_t frames)
    {
        for (std::vector<float>& channel : storage)
            std::fill(channel.begin(), channel.begin() + static_cast<std::ptrdiff_t>(frames), 0.0f);
    }

    std::vector<std::vector<float>> storage;
    std::vector<float*> pointers;
};

// Copies up to frames frames of source from start into a block channel,
// silence past the source's end.
void fill(float* block, const std::vector<float>& source, size_t start, size_t frames)
{
    const size_t available = start < source.size() ? std::min(frames, source.size() - start) : 0;
    if (available)
        memcpy(block, source.data() + start, available * sizeof(float));
    std::fill(block + available, block + frames, 0.0f);
}
struct FramedMidi
{
    size_t frame;
    int rank;
    VstMidiEvent event;
};

struct FramedParam
{
    size_t frame;
    int index;
    float normalised;
};

std::vector<FramedMidi> frameMidi(const std::vector<TimedMidi>* midi, int sampleRate)
{
    std::vector<FramedMidi> framed;
    if (!midi)
        return framed;
    for (const TimedMidi& m : *midi)
    {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        for (int i = 0; i < m.length && i < 3; ++i)
            e.midiData[i] = static_cast<char>(m.bytes[i]);
        framed.push_back({SecondsToFrame(m.seconds, sampleRate), m.rank, e});
    }
    std::stable_sort(framed.begin(), framed.end(), [](const FramedMidi& a, const FramedMidi& b) {
        return a.frame != b.frame ? a.frame < b.frame : a.rank < b.rank;
    });
    return framed;
}

std::vector<FramedParam> frameAutomation(const std::vector<TimedParam>* automation, int sampleRate)
{
    std::vector<FramedParam> framed;
    if (!automation)
        return framed;
    for (const TimedParam& p : *automation)
        framed.push_back({SecondsToFrame(p.seconds, sampleRate), p.index, p.normalised});
    std::stable_sort(framed.begin(), framed.end(),
                     [](const FramedParam& a, const FramedParam& b) { return a.frame < b.frame; });
    return framed;
}

// A VstEvents list of the MIDI events of one block: the header with its
// pointer array, and the events it points at.
class BlockEvents
{
public:
    void Clear() { m_events.clear(); }
    void Add(const VstMidiEvent& event) { m_events.push_back(event); }
    bool Empty() const { return m_events.empty(); }

    VstEvents* List()
    {
        const size_t header = offsetof(VstEvents, events) / sizeof(VstIntPtr);
        m_list.assign(header + m_events.size(), 0);
        VstEvents* list = reinterpret_cast<VstEvents*>(m_list.data());
        list->numEvents = static_cast<VstInt32>(m_events.size());
        VstEvent** pointers = reinterpret_cast<VstEvent**>(m_list.data() + header);
        for (size_t i = 0; i < m_events.size(); ++i)
            pointers[i] = reinterpret_cast<VstEvent*>(&m_events[i]);
        return list;
    }

private:
    std::vector<VstMidiEvent> m_events;
    std::vector<VstIntPtr> m_list;
};
} // namespace

StereoAudio RenderAudio(const RenderSession& session)
{
    StereoAudio output;
    output.sampleRate = session.sampleRate;
    output.Resize(session.frames);
    PluginHost& host = *session.host;
    const AEffect* effect = host.Effect();
    if (!effect || session.blockSize < 1)
        return output;

    const size_t blockSize = static_cast<size_t>(session.blockSize);
    BlockBuffers inputs(effect->numInputs, session.blockSize);
    BlockBuffers outputs(effect->numOutputs, session.blockSize);
    const bool monoOut = effect->numOutputs == 1;
    const std::vector<FramedMidi> midi = frameMidi(session.midi, session.sampleRate);
    const std::vector<FramedParam> automation = frameAutomation(session.automation, session.sampleRate);
    size_t nextMidi = 0;
    size_t nextParam = 0;
    BlockEvents events;

    host.Dispatch(effStartProcess);
    host.SetTransport(0.0, true);
    for (size_t start = 0; start < session.frames; start += blockSize)
    {
        const size_t frames = std::min(blockSize, session.frames - start);
        if (session.input && effect->numInputs > 0)
        {
            fill(inputs.pointers[0], session.input->left, start, frames);
            fill(inputs.pointers[1], session.input->right, start, frames);
        }
        const size_t end = start + frames;
        for (; nextParam < automation.size() && automation[nextParam].frame < end; ++nextParam)
            host.SetParameter(automation[nextParam].index, automation[nextParam].normalised);
        events.Clear();
        for (; nextMidi < midi.size() && midi[nextMidi].frame < end; ++nextMidi)
        {
            VstMidiEvent e = midi[nextMidi].event;
            e.deltaFrames = static_cast<VstInt32>(midi[nextMidi].frame - start);
            events.Add(e);
        }
        if (!events.Empty())
            host.Dispatch(effProcessEvents, 0, 0, events.List());
        // Cleared so a plug-in that leaves a channel untouched yields silence
        // there rather than the previous block.
        outputs.Clear(frames);
        host.Process(inputs.pointers.data(), outputs.pointers.data(), static_cast<int>(frames));
        memcpy(output.left.data() + start, outputs.pointers[0], frames * sizeof(float));
        memcpy(output.right.data() + start, outputs.pointers[monoOut ? 0 : 1], frames * sizeof(float));
        host.AdvanceTime(static_cast<int>(frames));
    }
    host.SetTransport(host.TimeInfo().samplePos, false);
    host.Dispatch(effStopProcess);
    return output;
}
