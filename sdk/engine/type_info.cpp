#include "tarn/engine/type_info.hpp"

namespace {

// Makes `target` hold a copy of `source`: absent stays absent, a present string is
// assigned in place when the target already has one.
void copyString(TARNStackedString<40>*& target, const TARNStackedString<40>* source) {
    if (source == nullptr) {
        delete target;
        target = nullptr;
    } else if (target == nullptr) {
        target = new TARNStackedString<40>(*source);
    } else {
        *target = *source;
    }
}

void setString(TARNStackedString<40>*& target, const char* text) {
    if (target == nullptr)
        target = new TARNStackedString<40>(text);
    else
        *target = text;
}

}  // namespace

// The constructors free the type name themselves when the unit's allocation fails: the
// destructor does not run for an object that was never finished.
TARNTypeInfo::TARNTypeInfo(unsigned long type, const char* typeName, const char* unit) : type(type) {
    try {
        if (typeName != nullptr) SetName(typeName);
        if (unit != nullptr) SetUnit(unit);
    } catch (...) {
        delete this->typeName;
        throw;
    }
}

TARNTypeInfo::TARNTypeInfo(const TARNTypeInfo& other) : type(other.type) {
    try {
        copyString(typeName, other.typeName);
        copyString(unit, other.unit);
    } catch (...) {
        delete typeName;
        throw;
    }
}

TARNTypeInfo& TARNTypeInfo::operator=(const TARNTypeInfo& other) {
    if (this == &other) return *this;
    type = other.type;
    copyString(typeName, other.typeName);
    copyString(unit, other.unit);
    return *this;
}

TARNTypeInfo::~TARNTypeInfo() {
    delete unit;
    delete typeName;
}

void TARNTypeInfo::SetName(const char* text) {
    setString(typeName, text);
}

void TARNTypeInfo::SetUnit(const char* text) {
    setString(unit, text);
}
