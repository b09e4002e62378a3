#include "osc/OSCBasePort.h"

namespace VL
{
std::atomic<int> g_OSCBasePort{7000};
}
