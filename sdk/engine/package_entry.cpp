#include "engine/package_entry.hpp"

#include <memory>

#include "engine/kernel_pointer.hpp"
#include "engine/module_management.hpp"
#include "tarn/engine/module_definition.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/mutex.hpp"

TARNMutex TARNPckInit_Mutex;

extern "C" int TARNPckInit(void* kernel, int magic) {
    if (magic != TARN::PckInitMagic) return 0;
    TARNMutexGuard guard(TARNPckInit_Mutex);
    if (!TARNPrivate::kernel) {
        // An init hook that throws leaves the kernel unbound, so the next call retries.
        TARNModuleManagement::Initialize(nullptr);
        TARNPrivate::kernel = static_cast<TARNKernel*>(kernel);
    }
    return TARN::KernelBuild >> 16;
}

extern "C" int TARNGetModulesDefStruct(const char* group, void** out, int max) {
    if (!out) return TARNModuleManagement::NumberOfReferencedModules(group, true);
    if (max < 1) return 0;
    std::unique_ptr<TARNModuleDefinition*[]> table(new TARNModuleDefinition*[max]);
    const int count = TARNModuleManagement::EnumerateAvailableModules(table.get(), max, group, true);
    for (int i = 0; i < count; ++i) out[i] = table[i]->userData;
    return count < 1 ? 0 : count;
}
