// Threads and sleeping over POSIX threads.
#pragma once

namespace TARN {

// Starts a detached thread running function(argument), with the caller's scheduling
// attributes inherited. Every thread started here switches the process's numeric locale
// to "C" on entry (so numbers always print with a point). True when the thread started.
bool CreateThread(void* (*function)(void*), void* argument);
// The same with a joinable thread. When threadId is given, it receives the new thread's
// id for JoinThread; a thread can also pass on its own GetCurrentThreadId().
bool CreateJoinableThread(void* (*function)(void*), void* argument, unsigned long* threadId = nullptr);
// Waits for the end of a joinable thread and ignores its result; true on success.
bool JoinThread(unsigned long threadId);

// The POSIX thread id of the caller (pthread_self).
unsigned long GetCurrentThreadId();
// The kernel's id of the calling thread (gettid).
long GetCurrentKernelThreadId();
// Names the calling thread; the system keeps at most 15 characters, longer names are cut.
void SetCurrentThreadName(const char* name);
// Sets the calling thread's priority on a scale of 0 (lowest) to 255 (highest), mapped
// linearly onto the range of its current scheduling policy. False when the policy cannot
// be read; whether the system accepts the new priority is not checked.
bool SetCurrentThreadPriority(int priority);
// Yields the processor.
void ReleaseCurrentThread();
// Sleeps the given number of microseconds, resuming after interruptions by signals.
void Sleep(long microseconds);
// Sleeps 10 milliseconds once; an interruption by a signal ends it early.
void Wait4AWhile();

}  // namespace TARN

namespace TARNPrivate {
// minimum + (maximum - minimum) * priority / 255, with priority held to 0..255.
int ScaledPriority(int minimum, int maximum, int priority);
}  // namespace TARNPrivate
