// The fixture of the module tests: the shared bound host kernel.
#pragma once

#include "support/host_kernel_fixture.hpp"

using ModuleTest = HostKernelTest;

// Runs `body`, which must throw an int, and answers that int (0 when nothing was thrown).
template <class Body>
int ThrownCode(Body body) {
    try {
        body();
    } catch (int code) {
        return code;
    }
    return 0;
}
