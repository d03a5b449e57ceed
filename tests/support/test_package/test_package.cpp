// A package for the engine-link tests: two component models in the "TARNComponent" group
// and probes the tests call to look inside. It is loaded with dlopen like a real package.
#include "dataflow/definitions.hpp"
#include "engine/kernel_pointer.hpp"
#include "engine/module_declaration.hpp"
#include "engine/package_entry.hpp"
#include "engine/reports.hpp"
#include "runtime/stacked_string.hpp"

namespace {
// Component definition records without elements: the engine (and tarnhost info) reads
// the model name, the version and the element tables.
TARNComponentDefinition firstModel{"test_model", "2.5", nullptr, {nullptr, nullptr}, 0, 0, nullptr, 0, nullptr,
                                   0, nullptr, 0, nullptr, 128, TARNComponentDefinition::Threaded, true};
TARNComponentDefinition secondModel{"second_model", "1.0", nullptr, {nullptr, nullptr}, 0, 0, nullptr, 0, nullptr,
                                    0, nullptr, 0, nullptr, 128, TARNComponentDefinition::Threaded, true};

int initCalls = 0;
void CountInit(void*) {
    ++initCalls;
}

TARNStackedString<40> duplicateMessage;
}  // namespace

TARN_MODULE_DECLARATION(TARNtestmodel, TARNComponent, "test_model", "2.5", nullptr, &firstModel, CountInit,
                        nullptr);
TARN_MODULE_DECLARATION(TARNsecondmodel, TARNComponent, "second_model", "1.0", nullptr, &secondModel, nullptr,
                        nullptr);

extern "C" {
// The kernel the package has bound, null before an accepted TARNPckInit.
TARN_PACKAGE_EXPORT void* test_package_kernel() {
    return TARNPrivate::kernel;
}

// How often a module init hook has run.
TARN_PACKAGE_EXPORT int test_package_init_calls() {
    return initCalls;
}

// Declares the first model once more in its group; answers the message the registry
// threw, or null when it accepted the duplicate.
TARN_PACKAGE_EXPORT const char* test_package_declare_again() {
    try {
        new TARNModuleDefinition("TARNtestmodel", "TARNComponent", nullptr, &firstModel, nullptr, nullptr);
    } catch (const TARNStackedString<40>& message) {
        duplicateMessage = message;
        return duplicateMessage.c_str();
    }
    return nullptr;
}

// A warning through the package's own engine API.
TARN_PACKAGE_EXPORT void test_package_warn(const char* message, int parameter) {
    TARN::ReportWarning(message, parameter);
}
}
