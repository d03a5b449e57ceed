#include "engine/kernel_pointer.hpp"

namespace TARNPrivate {
// Constant-initialised, so it is null before any static initialiser of the package runs.
TARNKernel* kernel = nullptr;
}  // namespace TARNPrivate
