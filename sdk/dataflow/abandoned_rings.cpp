#include "dataflow/abandoned_rings.hpp"

#include <pthread.h>

namespace {

struct Kept {
    void* ring;
    void (*destroy)(void*);
    Kept* next;
};

// Constant-initialised, so that an output going away during the static destruction of the
// program (or the package) still finds them, whatever the order; nothing here is destroyed.
pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
Kept* kept = nullptr;

// The package's unloading (or the program's end) deletes what is still kept. A ring
// abandoned after this ran is left to the process's end.
struct Unloading {
    ~Unloading() { TARNPrivate::DestroyAbandonedRings(); }
} unloading;

}  // namespace

namespace TARNPrivate {

void KeepAbandonedRing(void* ring, void (*destroy)(void*)) {
    pthread_mutex_lock(&lock);
    kept = new Kept{ring, destroy, kept};
    pthread_mutex_unlock(&lock);
}

bool ForgetAbandonedRing(void* ring) {
    pthread_mutex_lock(&lock);
    Kept** link = &kept;
    while (*link != nullptr && (*link)->ring != ring) link = &(*link)->next;
    Kept* found = *link;
    if (found != nullptr) *link = found->next;
    pthread_mutex_unlock(&lock);
    delete found;
    return found != nullptr;
}

int AbandonedRingCount() {
    pthread_mutex_lock(&lock);
    int count = 0;
    for (const Kept* each = kept; each != nullptr; each = each->next) ++count;
    pthread_mutex_unlock(&lock);
    return count;
}

void DestroyAbandonedRings() {
    pthread_mutex_lock(&lock);
    Kept* all = kept;
    kept = nullptr;
    pthread_mutex_unlock(&lock);
    while (all != nullptr) {
        Kept* next = all->next;
        all->destroy(all->ring);
        delete all;
        all = next;
    }
}

}  // namespace TARNPrivate
