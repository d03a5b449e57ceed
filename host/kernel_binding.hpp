// Binding a kernel object as the one the host's own copy of the SDK talks to.
#pragma once

#include "engine/kernel_pointer.hpp"

// Binds `kernel` (null unbinds) as TARNPrivate::kernel for the binding's life, then binds
// back the one bound before. Bindings nest: end them in the reverse order of their start,
// and make and end them while no other thread uses the SDK.
class KernelBinding {
  public:
    // Written only when it changes: a kernel bound already that binds itself again (its end
    // does) leaves it alone for the threads of its components that still read it.
    explicit KernelBinding(TARNKernel* kernel) : m_previous(TARNPrivate::kernel) {
        if (kernel != m_previous) TARNPrivate::kernel = kernel;
    }
    ~KernelBinding() {
        if (TARNPrivate::kernel != m_previous) TARNPrivate::kernel = m_previous;
    }

    KernelBinding(const KernelBinding&) = delete;
    KernelBinding& operator=(const KernelBinding&) = delete;

  private:
    TARNKernel* m_previous;
};
