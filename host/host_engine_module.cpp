#include "host_engine_module.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "engine/symbol_record.hpp"
#include "host_kernel.hpp"

namespace {

// The symbol the SDK looks up to find the engine's module.
constexpr const char* timeSymbol = "Engine.time";
constexpr int timeSymbolKind = 0;

}  // namespace

HostEngineModule::HostEngineModule(HostKernel& kernel) : TARNModule("Engine", false, false), m_kernel(kernel) {
    // Each element keeps its own copy of what it needs of its definition, so the
    // definitions live only as long as the construction. Flags: must-be-set,
    // changeable-after-start, read-only, values-locked.
    const TARNPropertyDefinition shutdownTimeout("shutdownTimeout", new TARNPropertyValue(10'000'000L),
                                                 nullptr, false, true, false, true);
    const TARNPropertyDefinition sequentialStart("sequentialStart", new TARNPropertyValue(false), nullptr,
                                                 false, true, false, true);
    const TARNPropertyDefinition version("version", new TARNPropertyValue(Version), nullptr, false, false,
                                         true, true);
    const TARNPropertyDefinition id("id", new TARNPropertyValue("tarnhost"), nullptr, false, true, false,
                                    true);
    // Allowed at rest: the SDK runs it whatever the state of the engine's own module.
    const TARNActionDefinition refresh("refreshInputProperties",
                                       new TARNActionCallbacks{nullptr, refreshInputProperties}, 1);

    NewProperty(shutdownTimeout, nullptr);
    NewProperty(sequentialStart, nullptr);
    NewProperty(version, nullptr);
    NewProperty(id, nullptr);
    NewAction(refresh, nullptr);

    TARNSymRec* record = TARNPrivate::kernel->RegisterSymbol(timeSymbol, timeSymbolKind);
    if (record == nullptr) Error("Can't create symbol Engine.time. The symbol already exists.", 1, 0);
    record->data[0] = static_cast<TARNModule*>(this);
    TARNPrivate::kernel->ConfirmSymbol();
    // Listed with the module's symbols, so that its destructor unregisters it too.
    symbolNames.PushBack(TARNStackedString<40>(timeSymbol));
}

HostEngineModule::~HostEngineModule() = default;

void HostEngineModule::refreshInputProperties(TARNModule* module, int, const char* inputName) {
    static_cast<HostEngineModule*>(module)->m_kernel.InputPropertiesRefreshed(inputName);
}
