// What a module reports when its threads outlive the shutdown time-out.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

namespace TARNPrivate {
// "Some threads are still running after T. The model must be bugged. ..." with the
// time-out T (microseconds) in whole seconds followed by " second(s)" from one second on,
// else in microseconds followed by " microsecond(s)".
TARNStackedString<40> StillRunningReport(long timeout);
}  // namespace TARNPrivate
