// A change of the engine's graph, bracketed for the kernel object: BeginChange on entry,
// EndChange on every way out. The engine holds its graph still between the two, so a
// bracket left open by an exception would freeze it for good.
#pragma once

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"

namespace TARNPrivate {

class KernelChange {
  public:
    // `reason` is shown by the engine while the change runs.
    explicit KernelChange(const char* reason) { kernel->BeginChange(reason); }
    ~KernelChange() { kernel->EndChange(); }

    KernelChange(const KernelChange&) = delete;
    KernelChange& operator=(const KernelChange&) = delete;
};

}  // namespace TARNPrivate
