// Ids of the calling process and thread, as the engine shows them.
#pragma once

namespace TARN {
long CurrentPID();
// The kernel's id of the calling thread (not the POSIX thread handle): the runtime's
// GetCurrentKernelThreadId under the engine's name.
long CurrentTID();
}  // namespace TARN
