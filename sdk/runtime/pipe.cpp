#include "tarn/runtime/pipe.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

int closeEnd(int& descriptor) {
    if (descriptor == -1) return -1;
    const int result = ::close(descriptor);
    descriptor = -1;
    return result;
}

}  // namespace

TARNPipe::TARNPipe(const unsigned& inheritanceFlags) : inheritanceFlags(inheritanceFlags) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
        readDescriptor = ends[0];
        writeDescriptor = ends[1];
    }
}

TARNPipe::~TARNPipe() {
    close();
}

int TARNPipe::read(char* buffer, int size) {
    return static_cast<int>(::read(readDescriptor, buffer, size));
}

int TARNPipe::write(const char* buffer, int size) {
    // SIGPIPE is blocked for this thread around the write; a SIGPIPE that the write raised
    // is taken off again before the old mask comes back.
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const int result = static_cast<int>(::write(writeDescriptor, buffer, size));
    const int error = errno;
    if (result < 0 && error == EPIPE && !sigismember(&previous, SIGPIPE)) {
        const timespec noWait{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return result;
}

int TARNPipe::closeReadDescriptor() {
    return closeEnd(readDescriptor);
}

int TARNPipe::closeWriteDescriptor() {
    return closeEnd(writeDescriptor);
}

void TARNPipe::close() {
    closeEnd(readDescriptor);
    closeEnd(writeDescriptor);
}
