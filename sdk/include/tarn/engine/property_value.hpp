// Tagged values of component properties: bool, integer, float, string or enumeration.
#pragma once

#include "tarn/engine/enum_struct.hpp"
#include "tarn/runtime/stacked_string.hpp"

// The default value of a property definition and the current value of a property. The
// value owns its string or enumeration: copies are deep, and the destructor frees them.
class TARNPropertyValue {
  public:
    // The tags; they are also the property types the engine sees.
    static constexpr unsigned int Bool = 0;
    static constexpr unsigned int Integer = 1;
    static constexpr unsigned int Float = 2;
    static constexpr unsigned int String = 3;
    static constexpr unsigned int Enumeration = 4;

    // A bool, false.
    TARNPropertyValue();
    TARNPropertyValue(bool value);
    // Integers are held as signed 64 bits.
    TARNPropertyValue(long value);
    TARNPropertyValue(int value);
    TARNPropertyValue(double value);
    // An enumeration holding a deep copy of `enumeration`.
    TARNPropertyValue(const TARNEnumStruct& enumeration);
    // An enumeration of the names separated by "|" with the given index selected; a null
    // text gives no names with index 0 selected.
    TARNPropertyValue(const char* names, int selected);
    // An enumeration when the text starts with two numbers ("%d|%d", the enumeration text
    // form), else a string; a null text gives the empty string.
    TARNPropertyValue(const char* text);
    TARNPropertyValue(const TARNPropertyValue& other);
    TARNPropertyValue& operator=(const TARNPropertyValue& other);
    virtual ~TARNPropertyValue();

    // Frees the own string or enumeration, then takes the other's tag and a copy of its
    // payload (a null string or enumeration stays null). A tag above 4 copies nothing but
    // the tag. Copying a value onto itself changes nothing.
    void Copy(const TARNPropertyValue& other);

    unsigned int type;
    union {
        bool boolean;
        long integer;
        double floating;
        // Owned; may be null.
        TARNStackedString<40>* string;
        // Owned; may be null.
        TARNEnumStruct* enumeration;
    };

  private:
    void release();
};
