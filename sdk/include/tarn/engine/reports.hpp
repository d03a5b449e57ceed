// Reports: the one way the SDK and its components tell the engine (and the user) what
// happened. Every report reaches the kernel's report operation.
#pragma once

namespace TARN {
// Levels: 0 information, 1 warning, 2 error. The message passes unchanged; the parameter
// is an integer the engine shows or uses along with it.
void Report(const char* message, int level, int parameter = 0);
void ReportInfo(const char* message, int parameter = 0);
void ReportWarning(const char* message, int parameter = 0);
void ReportError(const char* message, int parameter = 0);
}  // namespace TARN

namespace TARNPrivate {
// The kernel's report operation with these four values; `fromEngine` marks reports of
// the SDK's own plumbing rather than of a component.
void Report(const char* message, int level, int parameter, bool fromEngine);
// Reports at level 2 with the engine flag, then throws the integer -5, which the
// component life cycle contains.
[[noreturn]] void KernelError(const char* message, int parameter = 0);
}  // namespace TARNPrivate
