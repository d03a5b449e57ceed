// Dynamic re-creation: after a property change, the model's Dynamic() declares its dynamic
// elements again; those it declares again in the same place are kept (with their
// connections and values), new ones are inserted, and those it no longer declares go.
#include "dataflow/property_implementation.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_change.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/dataflow/action.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/output.hpp"

namespace {

// The item `count` places after the head of `list`: the first element after the
// definition's own ones; null past the end.
template <class Element>
TARNListItem<Element*>* skip(const TARNList<Element*>& list, unsigned int count) {
    TARNListItem<Element*>* item = list.Head();
    for (unsigned int i = 0; i < count && item != nullptr; ++i) item = item->Next();
    return item;
}

bool belongsToElement(TARNProperty* property) {
    return static_cast<TARNPropertyImplementation*>(property)->BelongsToElement();
}

// The first property the dynamic walk counts after the definition's own ones: a
// per-element property is never one of them, it lives and goes with its element.
TARNListItem<TARNProperty*>* firstDynamicProperty(TARNListItem<TARNProperty*>* lastStandard,
                                                  const TARNList<TARNProperty*>& properties,
                                                  unsigned int staticCount) {
    TARNListItem<TARNProperty*>* item = lastStandard != nullptr ? lastStandard->Next() : properties.Head();
    for (;;) {
        while (item != nullptr && belongsToElement(item->Value())) item = item->Next();
        if (item == nullptr || staticCount == 0) return item;
        --staticCount;
        item = item->Next();
    }
}

// Removes, with `remove`, every element from `cursor` to the end of its list that `sweeps`
// accepts, and clears the cursor. A copy first: each removal unlinks its own item and
// may move the cursor.
template <class Element, class Sweeps, class Remove>
void sweepFrom( TARNListItem<Element*>*& cursor, Sweeps sweeps, Remove remove) {
    if (cursor == nullptr) return;
    TARNList<Element*> leftOver;
    for (TARNListItem<Element*>* item = cursor; item != nullptr; item = item->Next())
        if (sweeps(item->Value())) leftOver.PushBack(item->Value());
    cursor = nullptr;
    for (Element* element : leftOver) remove(element);
}

// One pass of the re-creation: marks the component inside it and, on every way out
// (a removal that throws included), clears the four cursors and the mark. A cursor left
// set would make later lookups by name miss everything after it and later creations
// insert there.
class ReCreationPass {
  public:
    explicit ReCreationPass(TARNComponent& component) : component(component) {
        component.insideCallDynamic = true;
    }
    ~ReCreationPass() {
        TARNMutexGuard guard(component.moduleLock);
        component.inputCursor = nullptr;
        component.outputCursor = nullptr;
        component.propertyCursor = nullptr;
        component.actionCursor = nullptr;
        component.insideCallDynamic = false;
    }
    ReCreationPass(const ReCreationPass&) = delete;
    ReCreationPass& operator=(const ReCreationPass&) = delete;

  private:
    TARNComponent& component;
};

}  // namespace

void TARNComponent::ResetDynamic() {
    TARNMutexGuard guard(moduleLock);
    inputCursor = skip(inputs, definition.nbInputs);
    outputCursor = skip(outputs, definition.nbOutputs);
    propertyCursor = firstDynamicProperty(lastStandardProperty, properties, definition.nbProperties);
    actionCursor = skip(actions, definition.nbActions);
    state.fetch_and(~InError);
}

void TARNComponent::CallDynamic() {
    const TARNPrivate::KernelChange change("Calling Dynamic");
    {
        TARNMutexGuard dynamicGuard(dynamicLock);
        if ((State() & Running) == 0 && !insideCallDynamic) {
            const ReCreationPass pass(*this);
            ResetDynamic();
            try {
                Dynamic();
            } catch (...) {
                // The model's failure stays here; what it did not declare again still goes.
                state.fetch_or(InError);
            }
            TARNMutexGuard guard(moduleLock);
            auto every = [](auto*) { return true; };
            sweepFrom(inputCursor, every, [this](TARNInput* input) { RemoveInput(input); });
            sweepFrom(outputCursor, every, [this](TARNOutput* output) { RemoveOutput(output); });
            sweepFrom(
                propertyCursor, [](TARNProperty* property) { return !belongsToElement(property); },
                [this](TARNProperty* property) { RemoveProperty(property); });
            sweepFrom(actionCursor, every, [this](TARNAction* action) { RemoveAction(action); });
        }
    }
    TARNPrivate::kernel->ModuleStateChanged(Name(), State());
}

void TARNComponent::Set(TARNProperty& property, bool value) {
    TARNModule::Set(property, value);
    CallDynamic();
}

void TARNComponent::Set(TARNProperty& property, long value) {
    TARNModule::Set(property, value);
    CallDynamic();
}

void TARNComponent::Set(TARNProperty& property, double value) {
    TARNModule::Set(property, value);
    CallDynamic();
}

void TARNComponent::Set(TARNProperty& property, const TARNStackedString<40>& value) {
    TARNModule::Set(property, value);
    CallDynamic();
}

void TARNComponent::Set(TARNProperty& property, const TARNEnumStruct& value) {
    TARNModule::Set(property, value);
    CallDynamic();
}
