#include "dataflow/still_running_report.hpp"

#include "tarn/runtime/streamed_string.hpp"

namespace TARNPrivate {

TARNStackedString<40> StillRunningReport(long timeout) {
    TARNStreamedString message("Some threads are still running after ");
    if (timeout >= 1000000)
        message << timeout / 1000000 << " second(s)";
    else
        message << timeout << " microsecond(s)";
    message
        << ". The model must be bugged. If this is considered as normal however, consider increase the value "
           "of the Engine.shutdownTimeout property. I destroy the component anyway. This might result in a "
           "system crash.";
    return TARNStackedString<40>(message.c_str());
}

}  // namespace TARNPrivate
