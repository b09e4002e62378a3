// The process-wide OSC base port: an instance listens on this port plus its
// "OSC Port Offset" parameter. Read from the preferences when an engine
// initialises.
#pragma once

#include <atomic>

namespace VL
{
extern std::atomic<int> g_OSCBasePort;
}
