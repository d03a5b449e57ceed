#include "tarn/engine/reports.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/engine/integer_exceptions.hpp"

namespace TARN {
void Report(const char* message, int level, int parameter) {
    TARNPrivate::Report(message, level, parameter, false);
}
void ReportInfo(const char* message, int parameter) {
    TARNPrivate::Report(message, 0, parameter, false);
}
void ReportWarning(const char* message, int parameter) {
    TARNPrivate::Report(message, 1, parameter, false);
}
void ReportError(const char* message, int parameter) {
    TARNPrivate::Report(message, 2, parameter, false);
}
}  // namespace TARN

namespace TARNPrivate {
void Report(const char* message, int level, int parameter, bool fromEngine) {
    kernel->Report(message, level, parameter, fromEngine);
}

void KernelError(const char* message, int parameter) {
    kernel->Report(message, 2, parameter, true);
    throw TARN::ErrorException;
}
}  // namespace TARNPrivate
