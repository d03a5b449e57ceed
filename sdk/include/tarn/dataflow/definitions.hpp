// The static tables that declare a component model: one component definition pointing to
// four tables of element definitions (inputs, outputs, properties, actions).
#pragma once

#include <cstddef>

#include "tarn/engine/property_value.hpp"
#include "tarn/engine/type_info.hpp"

class TARNComponentDefinition;
class TARNModule;
class TARNModuleBase;
class TARNTypeFilterBase;

// The engine reads these records straight from the package's static data, so every layout
// below is binding, offsets included; the static_asserts after each record pin them. Every
// table ends with one record whose fields are all zero (IsEnd). A table whose count in the
// component definition is NotCounted is counted up to that record (CountRecords, which the
// component constructor runs before it makes the elements): without it the count runs on
// past the table. A count given as a number is taken as it is; then only the element calls
// by model name (TARNComponent::NewInput(model, name), ...) still look for the end record.
//
// Text fields point to NUL-terminated UTF-8 texts in the program's static data; the records
// never own them.

// One input of a component model.
class TARNInputDefinition {
  public:
    bool IsEnd() const;

    // Short name of the input, "raw_image".
    const char* name;
    // Null in every table; no code of the SDK reads it.
    const char* description;
    // The element types the input accepts: one of the SDK's filters (&TARN::FilterIplImage),
    // or null for any type. The SDK only reads the filter.
    const TARNTypeFilterBase* typeFilter;
    // Initial reader kind: 0 FIFO, 1 never-skipping, 2 last-or-next, 3 wait-for-next,
    // 4 sampling. Only the FIFO kinds (0 to 2) get a ".readerType" property.
    unsigned int readerType;
    // Initial reader subsampling, 1 for every element.
    unsigned int subsampling;
};

static_assert(sizeof(TARNInputDefinition) == 32);
static_assert(offsetof(TARNInputDefinition, name) == 0);
static_assert(offsetof(TARNInputDefinition, description) == 8);
static_assert(offsetof(TARNInputDefinition, typeFilter) == 16);
static_assert(offsetof(TARNInputDefinition, readerType) == 24);
static_assert(offsetof(TARNInputDefinition, subsampling) == 28);

// One output of a component model. Every output keeps its own copy of its definition:
// copying deep-copies the type name and unit (TARNTypeInfo's copy), so the copy never
// shares a string with the static table.
class TARNOutputDefinition {
  public:
    bool IsEnd() const;

    // Short name of the output, "ipl_image".
    const char* name;
    // 0; no code of the SDK reads it.
    unsigned int reserved1;
    // The type of the elements written (0x20: IPL image).
    TARNTypeInfo type;
    // The size of each element, in the units of the type, handed to the output's
    // AllocOutputBuffer(bufferSize, true) when the output is created: for a number type
    // (Integer64, Double, ...) and the record types, the count of items. 1 makes an output
    // of one value per element; any other value, 0 included, makes the output a vector (its
    // type gets the vector flag: "tarnhost info" says "Integer64 vector"), each element
    // holding that many items. For a text, its characters; for the image and sound types,
    // the bytes of data, laid out behind a header that describes no image or signal. Below
    // 2 no buffer is laid out for those types: the component lays the output out itself, in
    // every run, since a stop frees it (AllocOutputBufferIplImage, ...). An image output of
    // 1 carries one image per element ("IplImage"), one of 0 gets the vector flag
    // ("IplImage vector").
    unsigned int bufferSize;
    // Length of the output's ring; initial value of its ".fifosize" property.
    unsigned int fifoSize;
    // Writer subsampling, 1 for every element; initial value of its ".subsampling" property.
    unsigned int subsampling;
    // Read by no code of the SDK.
    unsigned int reserved2;
};

static_assert(sizeof(TARNOutputDefinition) == 56);
static_assert(offsetof(TARNOutputDefinition, name) == 0);
static_assert(offsetof(TARNOutputDefinition, reserved1) == 8);
static_assert(offsetof(TARNOutputDefinition, type) == 16);
static_assert(offsetof(TARNOutputDefinition, bufferSize) == 40);
static_assert(offsetof(TARNOutputDefinition, fifoSize) == 44);
static_assert(offsetof(TARNOutputDefinition, subsampling) == 48);
static_assert(offsetof(TARNOutputDefinition, reserved2) == 52);

// Values of TARNPropertyDefinition::subType.
namespace TARNPropertySubType {
// A text property holding a path that is tested when set...
constexpr unsigned int Path = 0x40;
// ...which must name an existing, readable file...
constexpr unsigned int File = 0x10;
// ...or an existing folder.
constexpr unsigned int Folder = 0x20;
}  // namespace TARNPropertySubType

// One property of a component model, and the form of the SDK's own standard properties.
//
// The definition owns its default value (made on the heap by the static initialiser) and
// deletes it. A copy never owns it: copying (what a property does with its definition)
// leaves the copy's default value null, so two records never delete the same value.
class TARNPropertyDefinition {
  public:
    // All fields given, or zero: `TARNPropertyDefinition{}` is the end of a table.
    constexpr TARNPropertyDefinition(const char* name = nullptr, TARNPropertyValue* defaultValue = nullptr,
                                     const char* unit = nullptr, bool needsInit = false,
                                     bool modifiableWhileRunning = false, bool readOnly = false,
                                     bool fixedEnumValues = false, unsigned int subType = 0)
        : name(name),
          defaultValue(defaultValue),
          unit(unit),
          needsInit(needsInit),
          modifiableWhileRunning(modifiableWhileRunning),
          readOnly(readOnly),
          fixedEnumValues(fixedEnumValues),
          subType(subType) {}
    // Every field but the default value, which stays null.
    TARNPropertyDefinition(const TARNPropertyDefinition& other);
    // Every field but the default value: the own one is deleted and left null.
    TARNPropertyDefinition& operator=(const TARNPropertyDefinition& other);
    // Deletes the default value, with its text or enumeration.
    ~TARNPropertyDefinition();

    bool IsEnd() const;

    // Short name, "threaded", "CSI2_Dataformat".
    const char* name;
    // Owned; its tag gives the property's type.
    TARNPropertyValue* defaultValue;
    // What the property's Unit() answers; null in every table.
    const char* unit;
    // Must be set before the component starts; every successful Set clears the property's copy.
    bool needsInit;
    // May be set while the module runs.
    bool modifiableWhileRunning;
    // Every Set fails; the property is not mutable.
    bool readOnly;
    // For an enumeration: its names are the definition's for good. Set from its text form
    // ("2|1|low|high", TARNEnumStruct), it takes the selected index alone and keeps its
    // names; otherwise the text's names replace them. Setting a value by name or index is
    // the same either way.
    bool fixedEnumValues;
    // TARNPropertySubType flags.
    unsigned int subType;
};

static_assert(sizeof(TARNPropertyDefinition) == 32);
static_assert(offsetof(TARNPropertyDefinition, name) == 0);
static_assert(offsetof(TARNPropertyDefinition, defaultValue) == 8);
static_assert(offsetof(TARNPropertyDefinition, unit) == 16);
static_assert(offsetof(TARNPropertyDefinition, needsInit) == 24);
static_assert(offsetof(TARNPropertyDefinition, modifiableWhileRunning) == 25);
static_assert(offsetof(TARNPropertyDefinition, readOnly) == 26);
static_assert(offsetof(TARNPropertyDefinition, fixedEnumValues) == 27);
static_assert(offsetof(TARNPropertyDefinition, subType) == 28);

// What an action runs: the module, the action's index among the module's actions and, for
// the second form, the argument the engine passes. When both are given only the second
// (with the argument) runs.
struct TARNActionCallbacks {
    void (*withoutArgument)(TARNModule* module, int index);
    void (*withArgument)(TARNModule* module, int index, const char* argument);
};

static_assert(sizeof(TARNActionCallbacks) == 16);
static_assert(offsetof(TARNActionCallbacks, withoutArgument) == 0);
static_assert(offsetof(TARNActionCallbacks, withArgument) == 8);

// One action of a component model. The definition owns its callback record (made on the
// heap by the static initialiser) and deletes it; each action takes its own copy of it.
class TARNActionDefinition {
  public:
    constexpr TARNActionDefinition(const char* name = nullptr, TARNActionCallbacks* callback = nullptr,
                                   unsigned char flag = 0)
        : name(name), callback(callback), flag(flag) {}
    // Deletes the callback record.
    ~TARNActionDefinition();

    // The callback record is owned: a copy would delete it a second time.
    TARNActionDefinition(const TARNActionDefinition&) = delete;
    TARNActionDefinition& operator=(const TARNActionDefinition&) = delete;

    bool IsEnd() const;

    // Short name of the action.
    const char* name;
    // Owned; may be null (the action then does nothing).
    TARNActionCallbacks* callback;
    // Non-zero: the action may run while the component is not running.
    unsigned char flag;
};

static_assert(sizeof(TARNActionDefinition) == 24);
static_assert(offsetof(TARNActionDefinition, name) == 0);
static_assert(offsetof(TARNActionDefinition, callback) == 8);
static_assert(offsetof(TARNActionDefinition, flag) == 16);

// A component model: its names, its factory and its four element tables.
class TARNComponentDefinition {
  public:
    using Factory = TARNModuleBase* (*)(const char* instanceName, TARNComponentDefinition& definition);

    // A table count not yet known: the static tables carry it until the counts are filled.
    static constexpr unsigned int NotCounted = 0xFFFFFFFF;
    // Bits of threadingModels.
    static constexpr unsigned int Threaded = 0x1;
    static constexpr unsigned int Sequential = 0x2;

    // Replaces every count still NotCounted with the number of records ahead of its
    // table's end record (0 for a null table). Counts already set are kept. The engine
    // counts the tables itself; whoever builds components without it calls this first.
    void CountRecords();
    // What each component destructor does: 0 stays 0 (nobody counts), every other value
    // grows by one, and the wrap to 0 becomes 1 so that counting never turns itself off.
    void CountDestruction();

    // Model name, "csi2ipl_gpu"; the engine lists the model under it.
    const char* name;
    // Model version, "1.1"; the value of the component's "componentModelVersion".
    const char* version;
    // Makes one instance: new MyComponent(instanceName, definition).
    Factory factory;
    // Zero in every table.
    void* reserved[2];
    // Destroyed instances; 0 in the static table (see CountDestruction).
    unsigned int destroyCount;
    // The four tables with their counts: NotCounted (counted up to the table's all-zero
    // record), or 0 with a null table.
    unsigned int nbInputs;
    TARNInputDefinition* inputs;
    unsigned int nbOutputs;
    TARNOutputDefinition* outputs;
    unsigned int nbProperties;
    TARNPropertyDefinition* properties;
    unsigned int nbActions;
    TARNActionDefinition* actions;
    // Default of the component's "priority", 128.
    unsigned short priority;
    // Threading models the model allows (Threaded, Sequential).
    unsigned int threadingModels;
    // Default of the component's "threaded".
    bool threaded;
};

static_assert(sizeof(TARNComponentDefinition) == 120);
static_assert(offsetof(TARNComponentDefinition, name) == 0);
static_assert(offsetof(TARNComponentDefinition, version) == 8);
static_assert(offsetof(TARNComponentDefinition, factory) == 16);
static_assert(offsetof(TARNComponentDefinition, reserved) == 24);
static_assert(offsetof(TARNComponentDefinition, destroyCount) == 40);
static_assert(offsetof(TARNComponentDefinition, nbInputs) == 44);
static_assert(offsetof(TARNComponentDefinition, inputs) == 48);
static_assert(offsetof(TARNComponentDefinition, nbOutputs) == 56);
static_assert(offsetof(TARNComponentDefinition, outputs) == 64);
static_assert(offsetof(TARNComponentDefinition, nbProperties) == 72);
static_assert(offsetof(TARNComponentDefinition, properties) == 80);
static_assert(offsetof(TARNComponentDefinition, nbActions) == 88);
static_assert(offsetof(TARNComponentDefinition, actions) == 96);
static_assert(offsetof(TARNComponentDefinition, priority) == 104);
static_assert(offsetof(TARNComponentDefinition, threadingModels) == 108);
static_assert(offsetof(TARNComponentDefinition, threaded) == 112);
