#include "tarn/dataflow/component.hpp"

#include "dataflow/output_implementation.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/reports.hpp"

// The standard definitions of a component: no unit, subtype 0, never must-be-set,
// enumeration values locked.
#define TARN_COMPONENT_PROPERTY(field, name, value, modifiableWhileRunning, readOnly)                \
    TARNPropertyDefinition TARNComponent::field(name, value, nullptr, false, modifiableWhileRunning, \
                                                readOnly, true, 0)

TARN_COMPONENT_PROPERTY(ThreadedPropertyDefinition, "threaded", new TARNPropertyValue(false), false, false);
TARN_COMPONENT_PROPERTY(PriorityPropertyDefinition, "priority", new TARNPropertyValue(128L), true, false);
TARN_COMPONENT_PROPERTY(AutoStartPropertyDefinition, "autoStart", new TARNPropertyValue(true), true, false);
TARN_COMPONENT_PROPERTY(VersionPropertyDefinition, "componentModelVersion", new TARNPropertyValue(""), false,
                        true);
TARN_COMPONENT_PROPERTY(PrimaryThreadIDPropertyDefinition, "primaryThreadID", new TARNPropertyValue(-1L),
                        false, true);

#undef TARN_COMPONENT_PROPERTY

namespace {

void notifyState(TARNModule& module) {
    TARNPrivate::kernel->ModuleStateChanged(module.Name(), module.State());
}

}  // namespace

TARNComponent::TARNComponent(const char* name, TARNComponentDefinition& definition)
    : TARNModule(name, true, true),
      definition(definition),
      birthEvent(false, nullptr),
      insideCallDynamic(false),
      deathDone(true),
      lastLifeNotReleased(false),
      location{-1, -1, 0} {
    // Never started: deleting it must not report it as still alive.
    state = (state.load() | MainLoopEnded) & ~Running;
    {
        TARNMutexGuard guard(moduleLock);
        symbolNames.PushBack(TARNStackedString<40>(name));
    }
    // Without the engine nobody has counted the tables yet; trusting 0xFFFFFFFF would walk
    // far past their ends.
    definition.CountRecords();
    // A failure leaves by exception: the module part, already built, gives back every
    // element made so far.
    createElements();
}

void TARNComponent::createElements() {
    TARNProperty* threadedProperty = NewProperty(ThreadedPropertyDefinition, nullptr);
    DirectSet(*threadedProperty, definition.threaded);
    threaded = definition.threaded;
    threadedProperty->SetSetCallback(SetThreadedPropertyCallback);

    TARNProperty* priorityProperty = NewProperty(PriorityPropertyDefinition, nullptr);
    DirectSet(*priorityProperty, static_cast<long>(definition.priority));
    priorityProperty->SetSetCallback(SetPriorityPropertyCallback);

    TARNProperty* autoStartProperty = NewProperty(AutoStartPropertyDefinition, nullptr);
    DirectSet(*autoStartProperty, true);
    autoStartProperty->SetSetCallback(SetAutoStartPropertyCallback);

    TARNProperty* versionProperty = NewProperty(VersionPropertyDefinition, nullptr);
    DirectSet(*versionProperty, definition.version != nullptr ? definition.version : "");

    NewProperty(PrimaryThreadIDPropertyDefinition, nullptr);

    {
        // Everything up to here is the SDK's own; the model's properties start after it.
        TARNMutexGuard guard(moduleLock);
        sdkPropertyCount = static_cast<unsigned int>(properties.Count());
        lastStandardProperty = properties.Tail();
    }

    for (unsigned int i = 0; i < definition.nbProperties; ++i) NewProperty(definition.properties[i], nullptr);
    for (unsigned int i = 0; i < definition.nbInputs; ++i) NewInput(definition.inputs[i], nullptr);
    for (unsigned int i = 0; i < definition.nbOutputs; ++i) NewOutput(definition.outputs[i], nullptr);
    for (unsigned int i = 0; i < definition.nbActions; ++i) NewAction(definition.actions[i], nullptr);
}

TARNComponent::~TARNComponent() {
    definition.CountDestruction();
    if ((State() & MainLoopEnded) == 0) {
        TARNStackedString<40> message("The destructor of component ");
        message += Name();
        message += " was called though ";
        message += Name();
        message += " is still alive.";
        TARNPrivate::Report(message.c_str(), 2, 1, true);
    }
}

const char* TARNComponent::Kind() const {
    return "component";
}

void TARNComponent::Dynamic() {
    TARNMutexGuard guard(moduleLock);
    inputCursor = nullptr;
    outputCursor = nullptr;
    propertyCursor = nullptr;
    actionCursor = nullptr;
}

void TARNComponent::FreeBuffers() {
    TARNMutexGuard guard(moduleLock);
    for (TARNOutput* output : outputs) static_cast<TARNOutputImplementation*>(output)->FreeBuffer();
}

void TARNComponent::SetThreadedPropertyCallback(TARNProperty& property) {
    property.Owner()->threaded = property.BoolValue();
}

void TARNComponent::SetAutoStartPropertyCallback(TARNProperty& property) {
    TARNModule& owner = *property.Owner();
    if (property.BoolValue())
        owner.state.fetch_or(AutoStart);
    else
        owner.state.fetch_and(~AutoStart);
    notifyState(owner);
}

void TARNComponent::SetPriorityPropertyCallback(TARNProperty& property) {
    TARNModule& owner = *property.Owner();
    // Negative values read as huge unsigned ones and are refused with them.
    const auto priority = static_cast<unsigned int>(property.IntegerValue());
    if (priority > 255) {
        // The callback runs under the module lock: a guarded Set would run this callback
        // again; DirectSet only stores.
        owner.DirectSet(property, 128L);
        owner.Error("Invalid priority value. Component's priority should be set between 0 and 255.", 1, 0);
        return;
    }
    for (TARNThread* thread : owner.threads) thread->SetPriority(static_cast<int>(priority));
}
