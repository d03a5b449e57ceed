// A package for the engine-link and host tests: two component models in the "TARNComponent"
// group and probes the tests call to look inside. It is loaded with dlopen like a real
// package. "test_model" passes the first item of each element of its input "in" on to its
// output "out", adding its property "gain"; "second_model" has no elements. A Core without
// an input waits to die, or, while the test makes Cores stick, loops until it lets them go
// without ever looking at its die event: a Core that never returns, in a package.
#include <atomic>

#include "engine/kernel_pointer.hpp"
#include "engine/package_entry.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/engine/module_declaration.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/stacked_string.hpp"
#include "tarn/runtime/thread.hpp"

namespace {
std::atomic<int> liveComponents{0};
std::atomic<bool> coresStick{false};
std::atomic<int> stuckCores{0};

class TestModel : public TARNComponent {
  public:
    TestModel(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {
        ++liveComponents;
    }
    ~TestModel() override { --liveComponents; }
    void Core() override {
        if (!HasInput("in")) {
            if (coresStick.load()) {
                ++stuckCores;
                while (coresStick.load()) TARN::Sleep(1'000);
                --stuckCores;
                return;
            }
            TARNEvent never;
            Wait4Event(never, -1);
            return;
        }
        TARNIOElt* in = StartReading(Input("in"));
        if (in == nullptr) return;
        TARNIOElt* out = StartWriting(Output("out"), in->Timestamp());
        if (out == nullptr) return;
        long gain = 0;
        GetProperty("gain", gain);
        out->Integer32(0)[0] = in->Integer32(0)[0] + static_cast<int>(gain);
        StopWriting(out);
    }
};

TARNModuleBase* makeTestModel(const char* name, TARNComponentDefinition& definition) {
    return new TestModel(name, definition);
}

TARNInputDefinition firstInputs[] = {{"in", nullptr, nullptr, 1, 1}, {}};
TARNOutputDefinition firstOutputs[] = {{"out", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 4, 16, 1, 0}, {}};
TARNPropertyDefinition firstProperties[] = {{"gain", new TARNPropertyValue(100L)}, {}};

// The counts say NotCounted: whoever builds components counts the tables up to their
// all-zero records first.
TARNComponentDefinition modelDefinition(const char* name, const char* version, TARNInputDefinition* inputs,
                                        TARNOutputDefinition* outputs, TARNPropertyDefinition* properties) {
    TARNComponentDefinition definition{};
    definition.name = name;
    definition.version = version;
    definition.factory = makeTestModel;
    definition.nbInputs = inputs ? TARNComponentDefinition::NotCounted : 0;
    definition.inputs = inputs;
    definition.nbOutputs = outputs ? TARNComponentDefinition::NotCounted : 0;
    definition.outputs = outputs;
    definition.nbProperties = properties ? TARNComponentDefinition::NotCounted : 0;
    definition.properties = properties;
    definition.priority = 128;
    definition.threadingModels = TARNComponentDefinition::Threaded | TARNComponentDefinition::Sequential;
    definition.threaded = true;
    return definition;
}

TARNComponentDefinition firstModel =
    modelDefinition("test_model", "2.5", firstInputs, firstOutputs, firstProperties);
TARNComponentDefinition secondModel = modelDefinition("second_model", "1.0", nullptr, nullptr, nullptr);

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

// Components of the package's models alive now.
TARN_PACKAGE_EXPORT int test_package_live_components() {
    return liveComponents.load();
}

// From now on a Core without an input sticks until called with false.
TARN_PACKAGE_EXPORT void test_package_stick_cores(bool stick) {
    coresStick = stick;
}

// Cores stuck now.
TARN_PACKAGE_EXPORT int test_package_stuck_cores() {
    return stuckCores.load();
}

// A warning through the package's own engine API.
TARN_PACKAGE_EXPORT void test_package_warn(const char* message, int parameter) {
    TARN::ReportWarning(message, parameter);
}
}
