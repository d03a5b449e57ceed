#include "tarn/runtime/thread.hpp"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

struct ThreadStart {
    void* (*function)(void*);
    void* argument;
};

// setlocale changes the whole process and may race with other threads reading the locale:
// only the first thread that finds another numeric locale changes it.
void UseCNumericLocale() {
    static std::mutex localeLock;
    std::lock_guard<std::mutex> lock(localeLock);
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    if (current == nullptr || std::strcmp(current, "C") != 0) std::setlocale(LC_NUMERIC, "C");
}

void* RunThread(void* record) {
    const ThreadStart start = *static_cast<ThreadStart*>(record);
    delete static_cast<ThreadStart*>(record);
    UseCNumericLocale();
    return start.function(start.argument);
}

bool StartThread(void* (*function)(void*), void* argument, int detachState, pthread_t* thread) {
    auto* record = new ThreadStart{function, argument};
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        delete record;
        return false;
    }
    pthread_attr_setdetachstate(&attributes, detachState);
    pthread_attr_setinheritsched(&attributes, PTHREAD_INHERIT_SCHED);
    const int error = pthread_create(thread, &attributes, RunThread, record);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete record;
        return false;
    }
    return true;
}

}  // namespace

namespace TARN {

bool CreateThread(void* (*function)(void*), void* argument) {
    pthread_t thread;
    return StartThread(function, argument, PTHREAD_CREATE_DETACHED, &thread);
}

bool CreateJoinableThread(void* (*function)(void*), void* argument, unsigned long* threadId) {
    pthread_t thread;
    if (!StartThread(function, argument, PTHREAD_CREATE_JOINABLE, &thread)) return false;
    if (threadId != nullptr) *threadId = thread;
    return true;
}

bool JoinThread(unsigned long threadId) {
    return pthread_join(static_cast<pthread_t>(threadId), nullptr) == 0;
}

unsigned long GetCurrentThreadId() {
    return pthread_self();
}

long GetCurrentKernelThreadId() {
    return static_cast<long>(gettid());
}

void SetCurrentThreadName(const char* name) {
    if (name == nullptr) return;
    char cut[16];
    std::strncpy(cut, name, sizeof cut - 1);
    cut[sizeof cut - 1] = '\0';
    pthread_setname_np(pthread_self(), cut);
}

bool SetCurrentThreadPriority(int priority) {
    int policy;
    sched_param parameters;
    if (pthread_getschedparam(pthread_self(), &policy, &parameters) != 0) return false;
    parameters.sched_priority =
        TARNPrivate::ScaledPriority(sched_get_priority_min(policy), sched_get_priority_max(policy), priority);
    pthread_setschedparam(pthread_self(), policy, &parameters);
    return true;
}

void ReleaseCurrentThread() {
    sched_yield();
}

void Sleep(long microseconds) {
    if (microseconds <= 0) return;
    timespec remaining{microseconds / 1000000, (microseconds % 1000000) * 1000};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

void Wait4AWhile() {
    const timespec tenMilliseconds{0, 10 * 1000 * 1000};
    nanosleep(&tenMilliseconds, nullptr);
}

}  // namespace TARN

namespace TARNPrivate {
int ScaledPriority(int minimum, int maximum, int priority) {
    if (priority < 0) priority = 0;
    if (priority > 255) priority = 255;
    return minimum + ((maximum - minimum) * priority) / 255;
}
}  // namespace TARNPrivate
