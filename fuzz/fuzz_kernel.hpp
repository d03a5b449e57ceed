#pragma once
// The host kernel every fuzzer runs on: bound once for the whole process, reports kept
// nowhere (a refused input reports, and a fuzzer makes millions of them).

class HostKernel;

namespace fuzz {

HostKernel& Kernel();

}  // namespace fuzz
