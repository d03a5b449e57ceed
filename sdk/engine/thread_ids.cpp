#include "tarn/engine/thread_ids.hpp"

#include <unistd.h>

#include "tarn/runtime/thread.hpp"

long TARN::CurrentPID() {
    return static_cast<long>(getpid());
}

long TARN::CurrentTID() {
    return TARN::GetCurrentKernelThreadId();
}
