#include "tools/RenderSession.h"

#include <algorithm>
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
