// TARNComponent: the base of every component. A model's factory builds one from its static
// TARNComponentDefinition; the constructor makes the component's standard properties and
// then every element of the definition's tables.
//
// The member functions are defined across these files, one concern each:
//   component.cpp           construction, destruction, Kind, location, the default hooks
//                           and the set-callbacks of the standard properties
//   component_elements.cpp  element creation by table index and by model name
//   component_dynamic.cpp   dynamic re-creation (ResetDynamic, CallDynamic) and the Set
//                           operations that run it after every property change
#pragma once

#include "dataflow/definitions.hpp"
#include "dataflow/module.hpp"
#include "engine/event.hpp"
#include "runtime/mutex.hpp"

class TARNComponent : public TARNModule {
  public:
    // Where the component sits in the engine's graph editor; no code of the package
    // interprets the values.
    struct Point {
        int x;
        int y;
        int z;
    };

    // Makes the standard properties "threaded", "priority", "autoStart",
    // "componentModelVersion" and "primaryThreadID", then the definition's properties,
    // inputs, outputs and actions in table order. A table count still NotCounted is counted
    // up to the table's all-zero record first. A refused element ends construction with the
    // module's Error (-5) and everything made so far is given back.
    TARNComponent(const char* name, TARNComponentDefinition& definition);

    // ---- Virtual operations, in their binary slot order after TARNModule's ----------

    // Counts the destruction in the definition; a component whose main loop has not ended
    // is reported "still alive" first.
    ~TARNComponent() override;
    // Re-creates the dynamic elements; the default creates none.
    virtual void Dynamic();   // 18
    virtual void Core() = 0;  // 19
    virtual void Birth() {}   // 20
    virtual void Banzai() {}  // 21
    virtual void Death() {}   // 22
    // Frees every output's element buffers.
    virtual void FreeBuffers();                                         // 23
    virtual Point& GetLocation() { return location; }                   // 24
    virtual void SetLocation(const Point& point) { location = point; }  // 25

    // "component".
    const char* Kind() const override;

    // ---- Dynamic re-creation (component_dynamic.cpp) --------------------------------

    // Each sets the value as TARNModule's does, then runs CallDynamic: a property change
    // may change which elements the model declares.
    void Set(TARNProperty& property, bool value) override;
    void Set(TARNProperty& property, long value) override;
    void Set(TARNProperty& property, double value) override;
    void Set(TARNProperty& property, const TARNStackedString<40>& value) override;
    void Set(TARNProperty& property, const TARNEnumStruct& value) override;

    // Under the module lock: puts each list's cursor on its first element after the
    // definition's own ones (null when there is none; per-element properties are passed
    // over) and clears InError.
    void ResetDynamic();
    // While the component is not running and not already inside a re-creation: runs
    // Dynamic() with the cursors reset, then removes every dynamic element it did not
    // declare again (per-element properties go only with their element). An exception
    // out of Dynamic() sets InError and stays here. All inside a graph-change bracket,
    // closed on every way out, and dynamicLock, taken before the module lock.
    void CallDynamic();

    // ---- Element creation (component_elements.cpp) ----------------------------------
    //
    // TARNModule's forms by definition record stay reachable. The index forms take record
    // `index` of the definition's table; an index outside the table is a module error (-5),
    // never a read past it. The model-name forms take the first record of that name, up to
    // the table's end record; no such record is a module error. A null `name` takes the
    // record's name.
    using TARNModule::NewAction;
    using TARNModule::NewInput;
    using TARNModule::NewOutput;
    using TARNModule::NewProperty;
    TARNInput* NewInput(int index, const char* name);
    TARNOutput* NewOutput(int index, const char* name);
    TARNProperty* NewProperty(int index, const char* name);
    TARNAction* NewAction(int index, const char* name);
    TARNInput* NewInput(const char* model, const char* name);
    TARNOutput* NewOutput(const char* model, const char* name);
    TARNProperty* NewProperty(const char* model, const char* name);
    TARNAction* NewAction(const char* model, const char* name);

    // The typed, int and text forms of TARNModule stay reachable: without them Set(p, "text")
    // would bind to Set(TARNProperty&, bool).
    using TARNModule::Set;

    // Set-callbacks of the standard properties.
    static void SetThreadedPropertyCallback(TARNProperty& property);
    static void SetPriorityPropertyCallback(TARNProperty& property);
    static void SetAutoStartPropertyCallback(TARNProperty& property);

    // The component's standard property definitions.
    static TARNPropertyDefinition ThreadedPropertyDefinition;
    static TARNPropertyDefinition PriorityPropertyDefinition;
    static TARNPropertyDefinition AutoStartPropertyDefinition;
    static TARNPropertyDefinition VersionPropertyDefinition;
    static TARNPropertyDefinition PrimaryThreadIDPropertyDefinition;

    // ---- Fields, in their declared order -------------------------------------------

    // The static tables the component was built from; not owned.
    TARNComponentDefinition& definition;
    // Keeps a sequential component's Birth, Core and death from overlapping.
    TARNMutex coreMutex;
    // Re-entrant: serialises a dynamic re-creation with the life-cycle operations. Taken
    // before the module lock, never inside it.
    TARNMutex2 dynamicLock;
    // Set once Birth has run on the component's main thread.
    TARNEvent birthEvent;
    // Set while a dynamic re-creation runs, so that one started from inside it is skipped.
    bool insideCallDynamic;
    // The death sequence has run for the current life.
    bool deathDone;
    Point location;

  private:
    // Makes the standard properties and the definition's elements (the constructor's work).
    void createElements();
};
