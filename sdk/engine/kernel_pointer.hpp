// The kernel object the package talks to, bound by TARNPckInit.
#pragma once

class TARNKernel;

namespace TARNPrivate {
// The engine's kernel object; null until the first accepted TARNPckInit and again after
// TARN::Exit. The engine forwarders call through it without testing it: calling an
// engine service before the package is initialised is the caller's error.
extern TARNKernel* kernel;
}  // namespace TARNPrivate
