#include "tarn/engine/kernel_forwarding.hpp"

#include "engine/kernel_pointer.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/dynamic_library.hpp"

namespace TARN {
bool ForwardPckInitToLibrary(const TARNDynamicLoader& library, int* result) {
    if (result) *result = 0x7fffffff;
    if (!library.IsOpen()) {
        ReportError("TARN::ForwardPckInitToLibrary: Dynamic library is not loaded", 0);
        return false;
    }
    // The engine passes a third argument, the address of its kernel pointer; entries read
    // only the first two.
    using PckInit = int (*)(void*, int, void*);
    auto init = reinterpret_cast<PckInit>(library.LoadSymbol("TARNPckInit"));
    if (!init) {
        ReportError("TARN::ForwardPckInitToLibrary: Failed to load 'TARNPckInit' from the dynamic library",
                    0);
        return false;
    }
    const int answer = init(TARNPrivate::kernel, PckInitMagic, &TARNPrivate::kernel);
    if (result) *result = answer;
    if (answer == 0) {
        ReportError("TARN::ForwardPckInitToLibrary: TARNPckInit call failed", 0);
        return false;
    }
    return true;
}
}  // namespace TARN
