#include "tarn/engine/synchronizer.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"

std::atomic<int> TARNSynchronizer::nbInstances{0};

TARNSynchronizer::TARNSynchronizer() {
    ++nbInstances;
}

TARNSynchronizer::~TARNSynchronizer() {
    --nbInstances;
}

void TARNSynchronizer::SignalSynchronizationCommand(long command) {
    TARNPrivate::kernel->SynchronizationCommand(static_cast<int>(command));
}
