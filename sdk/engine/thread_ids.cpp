#include "engine/thread_ids.hpp"

#include <sys/syscall.h>
#include <unistd.h>

long TARN::CurrentPID() {
    return static_cast<long>(getpid());
}

long TARN::CurrentTID() {
    return static_cast<long>(syscall(SYS_gettid));
}
