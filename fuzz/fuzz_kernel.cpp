#include "fuzz_kernel.hpp"

#include "host_kernel.hpp"

namespace fuzz {

HostKernel& Kernel() {
    // Never destroyed: libFuzzer leaves through exit(), and the kernel must outlive every
    // static of the SDK that may still report.
    static HostKernel* kernel = new HostKernel();
    return *kernel;
}

}  // namespace fuzz
