#include <cstring>

#include "tarn/dataflow/component.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

// Record `index` of a table of `count` records. An index outside the table ends in the
// component's Error: the tables carry nothing past their end record to read.
template <class Record>
Record& recordAt(TARNComponent& component, const char* operation, Record* table, unsigned int count,
                 int index) {
    if (index < 0 || static_cast<unsigned int>(index) >= count) {
        TARNStreamedString message("Call to ");
        message << operation << "(" << index << ") failed. The model has " << static_cast<long>(count)
                << " such records.";
        component.Error(message.c_str(), 2, 0);
    }
    return table[index];
}

// The first record named `model`, scanning up to the end record (not by count).
template <class Record>
Record& recordNamed(TARNComponent& component, const char* operation, Record* table, const char* model,
                    const char* name) {
    if (table != nullptr && model != nullptr)
        for (Record* record = table; record->name != nullptr; ++record)
            if (std::strcmp(record->name, model) == 0) return *record;
    TARNStreamedString message("Call to ");
    message << operation << "(" << (model ? model : "") << ", " << (name ? name : "") << ") failed. "
            << "The given model (" << (model ? model : "") << ") does not exist.";
    component.Error(message.c_str(), 2, 0);
    // Error always throws; a table cannot be read past its end.
    throw TARNModule::ErrorException;
}

}  // namespace

TARNInput* TARNComponent::NewInput(int index, const char* name) {
    return NewInput(recordAt(*this, "NewInput", definition.inputs, definition.nbInputs, index), name);
}

TARNOutput* TARNComponent::NewOutput(int index, const char* name) {
    return NewOutput(recordAt(*this, "NewOutput", definition.outputs, definition.nbOutputs, index), name);
}

TARNProperty* TARNComponent::NewProperty(int index, const char* name) {
    return NewProperty(recordAt(*this, "NewProperty", definition.properties, definition.nbProperties, index),
                       name);
}

TARNAction* TARNComponent::NewAction(int index, const char* name) {
    return NewAction(recordAt(*this, "NewAction", definition.actions, definition.nbActions, index), name);
}

TARNInput* TARNComponent::NewInput(const char* model, const char* name) {
    return NewInput(recordNamed(*this, "NewInput", definition.inputs, model, name), name);
}

TARNOutput* TARNComponent::NewOutput(const char* model, const char* name) {
    return NewOutput(recordNamed(*this, "NewOutput", definition.outputs, model, name), name);
}

TARNProperty* TARNComponent::NewProperty(const char* model, const char* name) {
    return NewProperty(recordNamed(*this, "NewProperty", definition.properties, model, name), name);
}

TARNAction* TARNComponent::NewAction(const char* model, const char* name) {
    return NewAction(recordNamed(*this, "NewAction", definition.actions, model, name), name);
}
