// Creation, removal and renaming of a module's inputs and outputs, with the per-element
// properties that come and go with them.
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/module_element_steps.hpp"
#include "dataflow/output_implementation.hpp"
#include "dataflow/property_implementation.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_change.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

using namespace TARNPrivate::ElementSteps;

TARNInputImplementation* implementationOf(TARNInput* input) {
    return static_cast<TARNInputImplementation*>(input);
}
TARNOutputImplementation* implementationOf(TARNOutput* output) {
    return static_cast<TARNOutputImplementation*>(output);
}

// What detaching leaves behind, done here when the engine has not done it: the input is
// no reader of the output's ring any more and not in its list. Without this a removed
// input would stay in its output's list, and an input would keep reading from the ring
// of a removed output. What the reader holds stays its own, as when the engine detaches
// it: the ring keeps those elements for it (and outlives its output for them) until it
// gives them back.
void forgetConnection(TARNOutputImplementation& output, TARNInputImplementation& input) {
    {
        TARNMutexGuard guard(output.inputListLock);
        if (TARNListItem<TARNInput*>* item = output.connectedInputs.Find(&input))
            output.connectedInputs.Remove(item);
    }
    TARNMutexGuard guard(input.mutex);
    if (input.ring != nullptr && input.ring == output.ring && input.ring->ReaderType(input.readerId) >= 0) {
        if (input.detachedRing == nullptr && !input.heldPositions.empty()) {
            input.ring->UnregisterReader(input.readerId, true);
            input.detachedRing = input.ring;
            input.detachedReaderId = input.readerId;
        } else {
            input.ring->UnregisterReader(input.readerId);
            if (input.detachedRing == nullptr) {
                input.heldPositions.clear();
                input.heldCount = 0;
            }
        }
    }
    input.ring = nullptr;
    input.connectedOutput = nullptr;
    input.readerId = 0;
    input.connectionEvent.Reset();
}

// The engine detaches; whatever it left connected is cut here.
void detach(TARNOutput& output, TARNInput& input) {
    TARN::Detach(output, input);
    if (implementationOf(&input)->connectedOutput == &output)
        forgetConnection(*implementationOf(&output), *implementationOf(&input));
}

TARNInput* firstConnectedInput(TARNOutputImplementation& output) {
    TARNMutexGuard guard(output.inputListLock);
    return output.connectedInputs.Count() != 0 ? output.connectedInputs.Head()->Value() : nullptr;
}

void fillInput(TARNInputImplementation& input, TARNModule* owner, const TARNStackedString<40>& fullName,
               const char* shortName, const TARNInputDefinition& definition) {
    input.fullName = fullName;
    input.shortName = shortName;
    input.definitionName = definition.name;
    input.typeFilter = definition.typeFilter;
    input.readerType = static_cast<int>(definition.readerType);
    input.subsampling = static_cast<int>(definition.subsampling);
    input.ring = nullptr;
    input.connectedOutput = nullptr;
    input.owner = owner;
}

}  // namespace

TARNProperty* TARNModule::newElementProperty(const void* element, const TARNPropertyDefinition& definition,
                                             const char* shortName, const char* suffix, long value,
                                             void (*setCallback)(TARNProperty&)) {
    TARNStackedString<40> name(shortName);
    name += suffix;
    TARNProperty* property = NewSpecialProperty(definition, name.c_str());
    TARNPropertyImplementation* implementation = static_cast<TARNPropertyImplementation*>(property);
    implementation->BelongTo(element);
    // The element's own value, straight in: no set-callback, no change rules.
    if (definition.defaultValue != nullptr && definition.defaultValue->type == TARNPropertyValue::Bool)
        implementation->BoolValue() = value != 0;
    else
        implementation->IntegerValue() = value;
    implementation->SetSetCallback(setCallback);
    ++sdkPropertyCount;
    return property;
}

void TARNModule::removeElementProperties(const void* element) {
    TARNMutexGuard guard(moduleLock);
    for (TARNListItem<TARNProperty*>* item = properties.Head(); item != nullptr;) {
        TARNProperty* property = item->Value();
        item = item->Next();
        if (!static_cast<TARNPropertyImplementation*>(property)->BelongsTo(element)) continue;
        RemoveProperty(property);
        --sdkPropertyCount;
    }
}

TARNInput* TARNModule::NewInput(const TARNInputDefinition& definition, const char* name) {
    TARNMutexGuard guard(moduleLock);
    const char* shortName =
        checkCreation(*this, guard, definition.name, name, "Call to NewInput failed. Bad input definition.",
                      "Trying to create an input with an invalid name: ");
    if (shortName == nullptr) return nullptr;
    const TARNStackedString<40> fullName = fullNameOf(Name(), shortName);
    bool created = false;
    int index = 0;
    TARNInput* input = NewInputX(fullName, definition.name, created, index);
    if (!created) return input;
    TARNInputImplementation& implementation = *implementationOf(input);
    fillInput(implementation, this, fullName, shortName, definition);
    const bool registered = TARNPrivate::kernel->RegisterInput(input);
    if (!enrol(*this, guard, registered, "input", fullName, [&] { RemoveInputX(input); })) return nullptr;
    newElementProperty(input, IOSubsamplingPropertyDefinition, shortName, ".subsampling",
                       static_cast<long>(definition.subsampling), &SetInputSubsamplingProperty);
    // Only the FIFO kinds may switch kind later; the other two have no property for it.
    if (definition.readerType <= LastOrNextReader)
        implementation.readerTypeProperty =
            newElementProperty(input, ReaderTypePropertyDefinition, shortName, ".readerType",
                               static_cast<long>(definition.readerType), &SetInputReaderTypeProperty);
    return input;
}

TARNOutput* TARNModule::NewOutput(const TARNOutputDefinition& definition, const char* name) {
    TARNMutexGuard guard(moduleLock);
    const char* shortName = checkCreation(*this, guard, definition.name, name,
                                          "Call to NewOutput failed. Bad output definition.",
                                          "Trying to create an output with an invalid name: ", OutputNamePattern);
    if (shortName == nullptr) return nullptr;
    const TARNStackedString<40> fullName = fullNameOf(Name(), shortName);
    bool created = false;
    int index = 0;
    TARNOutput* output = NewOutputX(fullName, definition.name, created, index);
    if (!created) return output;
    TARNOutputImplementation& implementation = *implementationOf(output);
    implementation.ring =
        TARNIOMonitorImplementation::CreateMonitor(&dieEvent, output, static_cast<int>(definition.fifoSize),
                                                   static_cast<int>(definition.subsampling));
    implementation.fullName = fullName;
    implementation.shortName = shortName;
    implementation.registeredName = fullName;
    implementation.definition = definition;
    // An output whose elements hold other than exactly one value carries vectors.
    if (definition.bufferSize != 1) implementation.definition.type.type |= TARNTypeInfo::Vector;
    implementation.owner = this;
    try {
        implementation.AllocOutputBuffer(static_cast<int>(definition.bufferSize), true);
    } catch (...) {
        RemoveOutputX(output);
        throw;
    }
    const bool registered = TARNPrivate::kernel->RegisterOutput(output);
    if (!enrol(*this, guard, registered, "output", fullName, [&] { RemoveOutputX(output); })) return nullptr;
    newElementProperty(output, IOSubsamplingPropertyDefinition, shortName, ".subsampling",
                       static_cast<long>(definition.subsampling), &SetOutputSubsamplingProperty);
    newElementProperty(output, FifoSizePropertyDefinition, shortName, ".fifosize",
                       static_cast<long>(definition.fifoSize), &SetOutputFifoSizeProperty);
    TARNProperty* periodic = newElementProperty(output, PeriodicPropertyDefinition, shortName, ".periodic", 0,
                                                &SetOutputPeriodicProperty);
    implementation.periodic = periodic->BoolValue();
    implementation.timestampHistory = new long[TARNOutputImplementation::HistoryLength + 1]();
    TARNPrivate::kernel->OutputCreated(fullName.c_str(), Name(), implementation.registeredName.c_str(), index);
    return output;
}

TARNInput* TARNModule::NewInputX(const TARNStackedString<40>& fullName, const char* definitionName, bool& created,
                                 int& index) {
    TARNMutexGuard guard(moduleLock);
    TARNInput* input = findOrCreate(inputs, inputCursor, fullName, definitionName, created,
                                    [this](TARNInput* old) { RemoveInput(old); });
    index = positionOf(inputs, input);
    return input;
}

TARNOutput* TARNModule::NewOutputX(const TARNStackedString<40>& fullName, const char* definitionName,
                                   bool& created, int& index) {
    TARNMutexGuard guard(moduleLock);
    TARNOutput* output = findOrCreate(outputs, outputCursor, fullName, definitionName, created,
                                      [this](TARNOutput* old) { RemoveOutput(old); });
    index = positionOf(outputs, output);
    return output;
}

void TARNModule::RemoveInput(TARNInput* input) {
    TARNMutexGuard guard(moduleLock);
    TARNInputImplementation& implementation = *implementationOf(input);
    const TARNPrivate::KernelChange change("Removing an input");
    if (implementation.connectedOutput != nullptr) detach(*implementation.connectedOutput, *input);
    removeElementProperties(input);
    implementation.readerTypeProperty = nullptr;
    // A copy: the name goes with the input.
    const TARNStackedString<40> fullName = implementation.fullName;
    // Only a name it still holds: one it gave up may be another module's now.
    if (dropSymbol(symbolNames, fullName)) {
        TARNPrivate::kernel->UnregisterSymbol(fullName.c_str());
        TARNPrivate::kernel->InputRemoving(fullName.c_str());
    }
    RemoveInputX(input);
}

void TARNModule::RemoveOutput(TARNOutput* output) {
    TARNMutexGuard guard(moduleLock);
    TARNOutputImplementation& implementation = *implementationOf(output);
    const TARNPrivate::KernelChange change("Removing an output");
    while (TARNInput* input = firstConnectedInput(implementation)) detach(*output, *input);
    removeElementProperties(output);
    const TARNStackedString<40> fullName = implementation.fullName;
    // Only a name it still holds: one it gave up may be another module's now.
    if (dropSymbol(symbolNames, fullName)) {
        TARNPrivate::kernel->UnregisterSymbol(fullName.c_str());
        TARNPrivate::kernel->OutputRemoving(fullName.c_str());
    }
    RemoveOutputX(output);
}

void TARNModule::RemoveInputX(TARNInput* input) {
    deleteListed(inputs, inputCursor, input);
}

void TARNModule::RemoveOutputX(TARNOutput* output) {
    deleteListed(outputs, outputCursor, output);
}

void TARNModule::renameInputsAndOutputs(const char* oldName, const char* newName) {
    for (TARNInput* input : inputs) implementationOf(input)->Rename(oldName, newName);
    for (TARNOutput* output : outputs) implementationOf(output)->Rename(oldName, newName);
}

// The module goes without telling the engine: connections are cut here so that no other
// module is left holding this module's inputs or reading from its outputs' rings.
void TARNModule::deleteInputsAndOutputs() {
    for (TARNInput* input : inputs) {
        TARNInputImplementation& implementation = *implementationOf(input);
        if (implementation.connectedOutput != nullptr)
            forgetConnection(*implementationOf(implementation.connectedOutput), implementation);
        delete input;
    }
    inputs.Clear();
    for (TARNOutput* output : outputs) {
        TARNOutputImplementation& implementation = *implementationOf(output);
        while (TARNInput* input = firstConnectedInput(implementation))
            forgetConnection(implementation, *implementationOf(input));
        delete output;
    }
    outputs.Clear();
}
