#include "tarn/dataflow/definitions.hpp"

namespace {

// Records ahead of the end record of `table`; a null table has none.
template <class Record>
unsigned int countAheadOfEnd(const Record* table) {
    unsigned int count = 0;
    if (table == nullptr) return 0;
    while (!table[count].IsEnd()) ++count;
    return count;
}

template <class Record>
void fillCount(unsigned int& count, const Record* table) {
    if (count == TARNComponentDefinition::NotCounted) count = countAheadOfEnd(table);
}

}  // namespace

bool TARNInputDefinition::IsEnd() const {
    return name == nullptr && description == nullptr && typeFilter == nullptr && readerType == 0 &&
           subsampling == 0;
}

bool TARNOutputDefinition::IsEnd() const {
    return name == nullptr && reserved1 == 0 && type.type == 0 && type.typeName == nullptr &&
           type.unit == nullptr && bufferSize == 0 && fifoSize == 0 && subsampling == 0 && reserved2 == 0;
}

TARNPropertyDefinition::TARNPropertyDefinition(const TARNPropertyDefinition& other)
    : name(other.name),
      defaultValue(nullptr),
      unit(other.unit),
      needsInit(other.needsInit),
      modifiableWhileRunning(other.modifiableWhileRunning),
      readOnly(other.readOnly),
      fixedEnumValues(other.fixedEnumValues),
      subType(other.subType) {}

TARNPropertyDefinition& TARNPropertyDefinition::operator=(const TARNPropertyDefinition& other) {
    if (this == &other) return *this;
    delete defaultValue;
    defaultValue = nullptr;
    name = other.name;
    unit = other.unit;
    needsInit = other.needsInit;
    modifiableWhileRunning = other.modifiableWhileRunning;
    readOnly = other.readOnly;
    fixedEnumValues = other.fixedEnumValues;
    subType = other.subType;
    return *this;
}

TARNPropertyDefinition::~TARNPropertyDefinition() {
    delete defaultValue;
}

bool TARNPropertyDefinition::IsEnd() const {
    return name == nullptr && defaultValue == nullptr && unit == nullptr && !needsInit &&
           !modifiableWhileRunning && !readOnly && !fixedEnumValues && subType == 0;
}

TARNActionDefinition::~TARNActionDefinition() {
    delete callback;
}

bool TARNActionDefinition::IsEnd() const {
    return name == nullptr && callback == nullptr && flag == 0;
}

void TARNComponentDefinition::CountRecords() {
    fillCount(nbInputs, inputs);
    fillCount(nbOutputs, outputs);
    fillCount(nbProperties, properties);
    fillCount(nbActions, actions);
}

void TARNComponentDefinition::CountDestruction() {
    if (destroyCount == 0) return;
    ++destroyCount;
    if (destroyCount == 0) destroyCount = 1;
}
