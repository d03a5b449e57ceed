// The host kernel's side of the module model: element registration and lookup by name, the
// engine properties and the "Engine" module, module-state notices, synchronisers and
// engine functions.
#include <exception>
#include <string>

#include "dataflow/action_implementation.hpp"
#include "dataflow/property_by_name.hpp"
#include "engine/kernel_pointer.hpp"
#include "engine/symbol_record.hpp"
#include "host_engine_module.hpp"
#include "host_kernel.hpp"
#include "tarn/dataflow/core_function.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/property.hpp"

namespace {

// Kinds of the symbols the host registers for elements.
enum SymbolKind { InputSymbol = 1, OutputSymbol = 2, PropertySymbol = 3, ActionSymbol = 4 };

constexpr const char* engineFunctionKind = "engine function";
constexpr const char* synchronizerKind = "synchronizer";

}  // namespace

// --- The Engine module ---------------------------------------------------------------

void HostKernel::createEngineModule() {
    m_engine = std::make_unique<HostEngineModule>(*this);
}

void HostKernel::InputPropertiesRefreshed(const char* inputName) {
    record([&](HostRecorder& recorder) { recorder.AddRefreshedInput(inputName ? inputName : ""); });
}

// Bound again for the while: a test, or TARN::Exit, may have unbound the kernel meanwhile.
void HostKernel::destroyEngineModule() {
    KernelBinding binding(this);
    m_engine.reset();
}

// --- Elements ------------------------------------------------------------------------

// A component left behind has given up its names: an element it makes afterwards, on
// whichever thread, is registered under none, where it would pass for another component's.
bool HostKernel::registerElement(const char* fullName, int kind, void* owner, void* element) {
    if (m_components.IsLeftBehind(static_cast<const TARNComponent*>(owner))) return false;
    std::lock_guard lock(m_symbolLock);
    TARNSymRec* record = RegisterSymbol(fullName, kind);
    if (record == nullptr) return false;
    record->data[0] = owner;
    record->data[1] = element;
    ConfirmSymbol();
    return true;
}

bool HostKernel::RegisterProperty(TARNProperty* property) {
    return registerElement(property->Name().c_str(), PropertySymbol, property->Owner(), property);
}

bool HostKernel::RegisterAction(TARNAction* action) {
    // The interface does not name the owner; the one implementation holds it.
    TARNModule* owner = static_cast<TARNActionImplementation*>(action)->owner;
    return registerElement(action->Name().c_str(), ActionSymbol, owner, action);
}

TARNProperty* HostKernel::FindProperty(const char* fullName) {
    std::lock_guard lock(m_symbolLock);
    TARNSymRec* record = FindSymbol(fullName);
    if (record == nullptr || record->kind != PropertySymbol) return nullptr;
    return static_cast<TARNProperty*>(record->data[1]);
}

// Found under the symbol lock with its owner pinned by its module lock, read under that
// lock (TARNPropertyByName).
template <class Value>
Value HostKernel::readProperty(const char* fullName, bool* found) {
    if (found) *found = false;
    const TARNPropertyByName property(*this, fullName);
    if (property.Property() == nullptr) return Value{};
    Value value{};
    if (!TARNModule::Get(*property.Owner(), *property.Property(), value)) return Value{};
    if (found) *found = true;
    return value;
}

bool HostKernel::GetBoolProperty(const char* fullName, bool* found) {
    return readProperty<bool>(fullName, found);
}

long HostKernel::GetIntegerProperty(const char* fullName, bool* found) {
    return readProperty<long>(fullName, found);
}

double HostKernel::GetFloatProperty(const char* fullName, bool* found) {
    return readProperty<double>(fullName, found);
}

// --- Module states -------------------------------------------------------------------

// A component left behind has given up its name, which a later component may hold now:
// its notices would stand for that one's state. Another kernel's components have no state
// here.
void HostKernel::ModuleStateChanged(const char* moduleName, unsigned int state) {
    if (ignoresCallingThread()) return;
    const std::string name = moduleName ? moduleName : "";
    {
        std::lock_guard lock(m_stateLock);
        m_moduleStates[name] = state;
    }
    record([&](HostRecorder& recorder) { recorder.AddModuleStateNotice({name, state}); });
}

// --- Synchronisers and engine functions ----------------------------------------------

// The host keeps no synchroniser to hand out: the request is recorded and answered with
// none.
bool HostKernel::GetSynchronizer(void* owner, TARNSynchronizer** synchronizer) {
    if (synchronizer) *synchronizer = nullptr;
    if (!onAnotherKernelsThread()) m_registrations.Register(synchronizerKind, owner);
    return false;
}

bool HostKernel::ReleaseSynchronizer(void* owner, TARNSynchronizer** synchronizer) {
    if (onAnotherKernelsThread()) {
        if (synchronizer) *synchronizer = nullptr;
        return false;
    }
    const bool known = m_registrations.Unregister(synchronizerKind, owner);
    if (synchronizer) *synchronizer = nullptr;
    return known;
}

void HostKernel::AddCoreFunction(TARNCoreFunction* function) {
    m_registrations.Register(engineFunctionKind, function);
}

void HostKernel::RemoveCoreFunction(TARNCoreFunction* function) {
    m_registrations.Unregister(engineFunctionKind, function);
}

TARNCoreFunction* HostKernel::FindCoreFunction(const char* name) {
    if (name == nullptr || onAnotherKernelsThread()) return nullptr;
    for (const void* object : m_registrations.Registered(engineFunctionKind)) {
        auto* function = static_cast<TARNCoreFunction*>(const_cast<void*>(object));
        if (function->Name() != nullptr && std::string(function->Name()) == name) return function;
    }
    return nullptr;
}
