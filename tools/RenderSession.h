// Offline rendering: runs a loaded, started plug-in over a stretch of audio
// in blocks, as a host's audio thread would, with the host transport moving
// along.
#pragma once

#include <cstddef>
#include <vector>

#include "tools/HostEvents.h"
#include "tools/PluginHost.h"
#include "tools/SoundFile.h"

struct RenderSession
{
    PluginHost* host = nullptr; // loaded and started (PluginHost::Start)
    int sampleRate = 44100;     // the rate the plug-in was started at
    int blockSize = 512;        // frames per processReplacing call; the last may be shorter
    size_t frames = 0;          // length of the render
    // Fed to the plug-in's first two inputs; silence past its end and when
    // absent. Its rate is the caller's business.
    const StereoAudio* input = nullptr;
    // Sent with effProcessEvents before the processReplacing call of the
    // block holding their frame, deltaFrames their offset inside it, in
    // time order. Those at or past the end are not sent.
    const std::vector<TimedMidi>* midi = nullptr;
    // Applied with setParameter before the block holding their frame, so
    // they take effect from that block's first frame; in time order, later
    // ones at the same time winning. Those at or past the end are not
    // applied.
    const std::vector<TimedParam>* automation = nullptr;
};

// Renders session.frames frames from the transport's start and returns the
// plug-in's first two outputs (a mono plug-in's output on both channels).
StereoAudio RenderAudio(const RenderSession& session);
