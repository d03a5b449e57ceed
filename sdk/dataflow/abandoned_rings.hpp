// Rings whose output went away while a reader cut off from the graph still held some of
// their elements: each lives on, with what its elements need, until that reader gives the
// last of them back, and is deleted by the package's unloading when it never does.
#pragma once

namespace TARNPrivate {
// Keeps `ring`, to be deleted by `destroy(ring)` when the package unloads. Called by the
// ring itself, under its own mutex.
void KeepAbandonedRing(void* ring, void (*destroy)(void*));
// Forgets `ring` and answers true when it was kept: the caller, its last holder, deletes it.
// False when it is not kept (the unloading took it first): the caller leaves it alone.
bool ForgetAbandonedRing(void* ring);
// Rings kept now.
int AbandonedRingCount();
// Deletes every ring kept: what unloading the package does (also for tests).
void DestroyAbandonedRings();
}  // namespace TARNPrivate
