#include "tarn/engine/property_value.hpp"

TARNPropertyValue::TARNPropertyValue() : type(Bool), boolean(false) {}

TARNPropertyValue::TARNPropertyValue(bool value) : type(Bool), boolean(value) {}

TARNPropertyValue::TARNPropertyValue(long value) : type(Integer), integer(value) {}

TARNPropertyValue::TARNPropertyValue(int value) : type(Integer), integer(value) {}

TARNPropertyValue::TARNPropertyValue(double value) : type(Float), floating(value) {}

TARNPropertyValue::TARNPropertyValue(const TARNEnumStruct& enumeration)
    : type(Enumeration), enumeration(new TARNEnumStruct(enumeration)) {}

TARNPropertyValue::TARNPropertyValue(const char* names, int selected)
    : type(Enumeration), enumeration(nullptr) {
    enumeration = names == nullptr ? new TARNEnumStruct() : new TARNEnumStruct(names, selected);
}

TARNPropertyValue::TARNPropertyValue(const char* text) : type(String), string(nullptr) {
    if (text != nullptr && TARNEnumStruct::IsEnumString(text)) {
        type = Enumeration;
        enumeration = new TARNEnumStruct();
        try {
            enumeration->FromString(text, false);
        } catch (...) {
            delete enumeration;
            throw;
        }
    } else {
        string = new TARNStackedString<40>(text);
    }
}

TARNPropertyValue::TARNPropertyValue(const TARNPropertyValue& other) : type(Bool), boolean(false) {
    Copy(other);
}

TARNPropertyValue& TARNPropertyValue::operator=(const TARNPropertyValue& other) {
    Copy(other);
    return *this;
}

TARNPropertyValue::~TARNPropertyValue() {
    release();
}

void TARNPropertyValue::release() {
    if (type == String)
        delete string;
    else if (type == Enumeration)
        delete enumeration;
    // What follows is a bool: a failed copy leaves the value valid and without payload.
    type = Bool;
    boolean = false;
}

void TARNPropertyValue::Copy(const TARNPropertyValue& other) {
    // Freeing first would destroy the payload about to be copied.
    if (this == &other) return;
    release();
    switch (other.type) {
        case Bool:
            boolean = other.boolean;
            break;
        case Integer:
            integer = other.integer;
            break;
        case Float:
            floating = other.floating;
            break;
        case String:
            string = other.string == nullptr ? nullptr : new TARNStackedString<40>(*other.string);
            break;
        case Enumeration:
            enumeration = other.enumeration == nullptr ? nullptr : new TARNEnumStruct(*other.enumeration);
            break;
        default:
            break;
    }
    type = other.type;
}
