// TARNModule: the base of every module of a package (components, engine functions,
// record/replay methods). It holds the module's state word, events, locks and lives, its
// elements (inputs, outputs, properties, actions) and the symbols it registered with the
// kernel, and offers the blocking waits that end when the module dies.
#pragma once

#include <atomic>
#include <cstddef>

#include "tarn/dataflow/action.hpp"
#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/module_thread.hpp"
#include "tarn/engine/enum_struct.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/engine/integer_exceptions.hpp"
#include "tarn/engine/module_base.hpp"
#include "tarn/runtime/list.hpp"
#include "tarn/runtime/mutex.hpp"
#include "tarn/runtime/pin_count.hpp"
#include "tarn/runtime/ring_array.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNInput;
class TARNIOElt;
class TARNOutput;
class TARNProperty;

// Locks, in the only order in which they may nest: a component's dynamic (state) lock,
// then the module lock, then the property lock. The kernel's engine-time bracket is taken
// inside any of them and never held while one of them is taken.
//
// Failures unwind by integer exceptions: Error reports and throws -5; every blocking call
// of a dying module throws 57005 (DieException).
class TARNModule : public TARNModuleBase {
  public:
    // The code stored by Error; the SDK always passes 0.
    using ErrorCode = int;

    // Bits of the state word.
    static constexpr unsigned int MainLoopEnded = 1;
    static constexpr unsigned int Dying = 2;
    static constexpr unsigned int Running = 4;
    static constexpr unsigned int InError = 8;
    static constexpr unsigned int AutoStart = 16;

    // What every blocking call of a dying module throws, and what Error throws.
    static constexpr int DieException = TARN::DieException;
    static constexpr int ErrorException = TARN::ErrorException;

    // Wait4Events waits for at most this many events, MsgWait4Events for one more.
    static constexpr int MaxWaitEvents = 254;
    static constexpr int MaxMsgWaitEvents = 255;

    // Builds the module with its standard properties: "processor" when `processorProp`,
    // then "counter", "nbPeriods", "averagePeriod", "minPeriod", "maxPeriod",
    // "contextSwitches" and "CPULoad" when `perfProps`. A standard property the kernel
    // refuses ends construction with Error (-5); the properties already made are then
    // unregistered and deleted again.
    TARNModule(const char* name, bool perfProps, bool processorProp);

    // ---- Virtual operations, in their binary slot order (0 and 1: the destructors) ----

    // UnregisterNames unless it was done, then under the module lock deletes the actions,
    // inputs, outputs and properties. The module's threads must be gone.
    ~TARNModule() override;  // 0, 1
    // Renames every element (inputs, outputs, properties, actions), the module itself and
    // the symbol-name list, under the module lock. Tells the kernel nothing. The engine
    // renames only a module at rest: a running one's threads name it in their reports.
    void Rename(const char* oldName, const char* newName) override;  // 2
    // "module"; derived kinds say "component", "engine function", ...
    virtual const char* Kind() const;  // 3
    // Runs the module once for the element just published on `input`; nothing here.
    virtual void SequentialCore(TARNInput* input);  // 4
    // Stores the error, sets InError, tells the kernel, reports at level 2, throws -5.
    virtual void Error(const char* message, int parameter, ErrorCode code);  // 5
    // Reports "<Kind()> <name>: <message>".
    virtual void Report(const char* message, int level, int parameter);  // 6
    // Period statistics of the module, before each Core.
    virtual void PerformanceMonitoring();                                    // 7
    virtual void Get(TARNProperty& property, bool& value);                   // 8
    virtual void Get(TARNProperty& property, long& value);                   // 9
    virtual void Get(TARNProperty& property, double& value);                 // 10
    virtual void Get(TARNProperty& property, TARNStackedString<40>& value);  // 11
    virtual void Get(TARNProperty& property, TARNEnumStruct& value);         // 12
    // Guarded setters: the change rules, then the store under the property lock with the
    // set-callback and the changed notice.
    virtual void Set(TARNProperty& property, bool value);                          // 13
    virtual void Set(TARNProperty& property, long value);                          // 14
    virtual void Set(TARNProperty& property, double value);                        // 15
    virtual void Set(TARNProperty& property, const TARNStackedString<40>& value);  // 16
    virtual void Set(TARNProperty& property, const TARNEnumStruct& value);         // 17

    // ---- Property values ---------------------------------------------------------------

    // An int would be ambiguous between the long, double and bool forms, and a text would
    // silently become a bool: these overloads send them where they belong.
    void Set(TARNProperty& property, int value) { Set(property, static_cast<long>(value)); }
    void Set(TARNProperty& property, const char* value) { Set(property, TARNStackedString<40>(value)); }
    // An enumeration from its text form, selecting `selected`.
    void Set(TARNProperty& property, const TARNStackedString<40>& values, int selected);

    // Unguarded setters: no change rules, no set-callback, the must-be-set flag untouched.
    void DirectSet(TARNProperty& property, bool value);
    void DirectSet(TARNProperty& property, long value);
    void DirectSet(TARNProperty& property, int value) { DirectSet(property, static_cast<long>(value)); }
    void DirectSet(TARNProperty& property, double value);
    void DirectSet(TARNProperty& property, const TARNStackedString<40>& value);
    void DirectSet(TARNProperty& property, const char* value) {
        DirectSet(property, TARNStackedString<40>(value));
    }
    void DirectSet(TARNProperty& property, const TARNEnumStruct& value);
    void DirectSet(TARNProperty& property, const TARNStackedString<40>& values, int selected);

    // A property of `module`, read under its module lock and property lock; false (and no
    // report) when the property's type does not fit the value.
    static bool Get(TARNModule& module, TARNProperty& property, bool& value);
    static bool Get(TARNModule& module, TARNProperty& property, long& value);
    static bool Get(TARNModule& module, TARNProperty& property, double& value);
    static bool Get(TARNModule& module, TARNProperty& property, TARNEnumStruct& value);
    static bool Get(TARNModule& module, TARNProperty& property, TARNStackedString<40>& value);

    // This module's property of that short name, read under the module lock. Only these two
    // types: a property of any type reads with Get(Property(name), value), for a double, a
    // TARNStackedString<40> or a TARNEnumStruct too.
    void GetProperty(const char* name, bool& value);
    void GetProperty(const char* name, long& value);

    // Starts the period statistics over, as Start and the end of a death do: every slot of
    // the window unmeasured, periods seen, write index and sum back to 0, and "counter",
    // "averagePeriod", "minPeriod" and "maxPeriod" published as 0. One operation for all of
    // them: a write index left from the previous life would put the next period in a slot
    // that the minimum and maximum of a short window never look at.
    void RestartPeriodStatistics();

    // Set-callback of "processor": the value goes to SetProcessor of every listed thread.
    static void SetProcessorProperty(TARNProperty& property);
    // Get-callback of "contextSwitches" and "CPULoad": (sum over the threads + 50) / 100.
    static void GetPerfMonProperties(TARNProperty& property, void* result);

    // ---- Per-element property callbacks (with the input and output implementations) ----

    static void SetInputSubsamplingProperty(TARNProperty& property);
    static void SetInputReaderTypeProperty(TARNProperty& property);
    static void SetOutputSubsamplingProperty(TARNProperty& property);
    static void SetOutputFifoSizeProperty(TARNProperty& property);
    static void SetOutputPeriodicProperty(TARNProperty& property);

    // ---- State, reports, lives and threads ---------------------------------------------

    // The first step of the module's end, for whoever destroys it (the engine's destroy
    // path, before the delete): under the module lock every name of the symbol-name list
    // goes back to the kernel and the list is emptied; then it waits until no reader by name
    // is pinned on the module. From then on no reader by name reaches the module, so none
    // runs a Get of it while a destructor of a derived class runs. The base destructor takes
    // this step when nobody did, but only after the derived destructors ran.
    void UnregisterNames();

    unsigned int State() const { return state.load(); }
    // Under the module lock: back to running (clears MainLoopEnded, Dying and InError),
    // both events reset.
    void Start();
    // Sets Dying and the die event: every blocking call then throws 57005.
    void Die();
    // Counts one more running thread of the module.
    void OneMoreLife();
    // Counts one thread less; the last one sets the no-thread-left event.
    void LoseOneLife();
    // What CreateThread hands to the engine's module thread body (TARNPrivate::ModuleThread),
    // on the caller's stack: the body sets *started once it has taken the module and the
    // function, and then runs (module->*function)(). The layout is shared with the engine.
    struct ThreadStart {
        TARNModule* module;
        void (TARNModule::*function)();
        bool* started;
    };
    // Starts a detached module thread that runs `function` on this module and returns once
    // the thread has started. A thread that cannot be created ends in Error.
    void CreateThread(void (TARNModule::*function)());

    // ---- Waits -------------------------------------------------------------------------
    //
    // Time-outs and durations are microseconds of engine time unless said otherwise; -1
    // means no limit. Every wait throws 57005 when the module dies during it.

    // True when the event fired, false on time-out. A null `event` waits for the module's
    // death alone (or the time-out).
    bool Wait4Event(TARNEvent* event, long timeout);
    bool Wait4Event(TARNEvent& event, long timeout) { return Wait4Event(&event, timeout); }
    // The index among `events` of the one that fired, or -3 on time-out. The die event is
    // waited for only when `withDieEvent`; more than MaxWaitEvents events is a kernel error.
    int Wait4Events(int count, TARNEvent** events, long timeout, bool withDieEvent);
    // Message waits: the time-out is real time and passed on unchanged.
    int MsgWait4Event(TARNEvent* event, long timeout);
    int MsgWait4Events(int count, TARNEvent** events, long timeout, bool withDieEvent);
    // 1 once `duration` of engine time has passed, 0 when `event` (may be null) fired first.
    int Rest(long duration, TARNEvent* event = nullptr);
    // 1 once engine time reaches `timestamp`, 0 when `event` (may be null) fired first.
    int Wait(long timestamp, TARNEvent* event = nullptr);
    // Waits until engine time reaches `timestamp`: true then; false when `cancel` (may be
    // null) fired first. *timeChanged (may be null) as for TARN::WaitForTimestamp.
    bool WaitForTimestamp(long timestamp, TARNEvent* cancel, bool* timeChanged);
    // The same with `n` cancel events: false with *index (may be null; -1 when reached) the
    // one that fired.
    bool WaitForTimestamp(long timestamp, int n, TARNEvent** cancel, int* index, bool* timeChanged);
    // Waits for the no-thread-left event at most "Engine.shutdownTimeout" (real time): true
    // when every thread ended in time, false (after a warning) when some are left.
    bool Wait4Death();

    // ---- Reading and writing ------------------------------------------------------------
    //
    // A reader holds what a reading call handed it until its next reading call or
    // StopReading. A threaded module's reading calls wait for an element; a module without
    // a thread of its own (run by its writer) takes what is there and never waits. Every
    // call throws 57005 once the module is dying; a failing ring (-5) becomes Error
    // ("Failed to start reading on " / "Failed to start writing on " + the full name).

    // The next element for `input` (with its subsampling, the last of a pass); null while
    // a sequential module has nothing to take or is not connected.
    TARNIOElt* StartReading(TARNInput& input);
    // As StartReading, with message waits, and null at once while a message is waiting.
    TARNIOElt* MsgStartReading(TARNInput& input);
    // The first element of any of `n` inputs (at most 32), *index its input's position;
    // or null with *index n + k when the caller's k-th event (at most 32) fired first, the
    // position of an input being rebuilt that held an element (released), -1 for a module
    // without a thread whose writer's input is not among them, -2 for a waiting message.
    TARNIOElt* StartReading(int n, TARNInput** inputs, int* index, int nEvents, TARNEvent** events);
    TARNIOElt* MsgStartReading(int n, TARNInput** inputs, int* index, int nEvents, TARNEvent** events);
    // One element of each of `n` inputs (at most 256) in `elements`, their timestamps
    // within `synchroTolerance` microseconds of each other: the smallest of them, or -1
    // when `event` (may be null) fired first, or when a module without a thread cannot
    // complete the set from the one input its writer ran it for. Elements that do not fit
    // are left held until their input is read again.
    long SynchroStartReading2(int n, TARNInput** inputs, TARNIOElt** elements, long synchroTolerance,
                              TARNEvent* event);
    // The same; on -1 every entry of `elements` is null.
    long SynchroStartReading(int n, TARNInput** inputs, TARNIOElt** elements, long synchroTolerance,
                             TARNEvent* event);
    // The `n` newest elements held on `input`, oldest first, in `elements`: 1 when all `n`
    // were filled, else 0 (a sequential module takes only what is there). n below 1 is an
    // Error: there is no window to fill.
    int NLastStartReading(TARNInput& input, int n, TARNIOElt** elements);
    // Gives back whatever `input` holds.
    void StopReading(TARNInput& input);
    // An element of `output` to fill, its times cleared (and its timestamp set).
    TARNIOElt* StartWriting(TARNOutput& output);
    TARNIOElt* StartWriting(TARNOutput& output, long timestamp);
    // Publishes (or with `discard` frees) an element taken by StartWriting on one of this
    // module's outputs, then runs that output's sequential readers. An element written past
    // its buffer is freed and ends in Error.
    void StopWriting(TARNIOElt* element, bool discard = false);
    bool DataAvailableInFIFO(TARNInput& input);
    bool IsFIFOEmpty(TARNOutput& output);
    bool IsFIFOFull(TARNOutput& output);
    // Waits until every FIFO reader of `output` took what was published (the ring's
    // all-read event), or the module dies (57005).
    void Wait4Handshake(TARNOutput& output);

    // ---- Element creation, removal and renaming ----------------------------------------
    //
    // Creation runs under the module lock and fails with Error: a dying module throws
    // 57005; a definition without a name, a name that does not match the element pattern
    // and a full name the kernel already has are module errors (-5).

    // A property from its definition, under `name` (null: the definition's name).
    TARNProperty* NewProperty(const TARNPropertyDefinition& definition, const char* name);
    // A per-element property (element short name + ".subsampling", ...). A name starting
    // with a backslash is the full name itself, without the backslash. Always appended at
    // the end of the property list, never at the dynamic cursor: NewInput and NewOutput
    // mark theirs as their element's, so that Property(index), the cursor walk and a
    // dynamic re-creation pass over them and only their element's removal removes them.
    TARNProperty* NewSpecialProperty(const TARNPropertyDefinition& definition, const char* name);
    TARNAction* NewAction(const TARNActionDefinition& definition, const char* name);
    // An input or output from its definition, under `name` (null: the definition's name),
    // with its per-element properties: ".subsampling" and, for the FIFO reader kinds,
    // ".readerType" of an input; ".subsampling", ".fifosize" and ".periodic" of an output.
    // An output gets its ring and the buffers of its definition's buffer size before it is
    // registered. Output names may hold points and colons after the first letter.
    TARNInput* NewInput(const TARNInputDefinition& definition, const char* name);
    TARNOutput* NewOutput(const TARNOutputDefinition& definition, const char* name);

    // Find-or-create at the kind's dynamic cursor: an element with the same full name and
    // the same definition-name address is reused (created false); the elements skipped
    // are removed; otherwise a new, empty element takes the place (created true).
    TARNProperty* NewPropertyX(const TARNStackedString<40>& fullName, const char* definitionName,
                               bool& created);
    TARNAction* NewActionX(const TARNStackedString<40>& fullName, const char* definitionName, bool& created);
    TARNInput* NewInputX(const TARNStackedString<40>& fullName, const char* definitionName, bool& created,
                         int& index);
    TARNOutput* NewOutputX(const TARNStackedString<40>& fullName, const char* definitionName, bool& created,
                           int& index);

    // Full removal: unregister the full name, drop it from the symbol-name list, delete.
    void RemoveProperty(TARNProperty* property);
    void RemoveAction(TARNAction* action);
    void RemoveInput(TARNInput* input);
    void RemoveOutput(TARNOutput* output);
    // Delete and unlink only (nothing when the element is not listed); no kernel call.
    void RemovePropertyX(TARNProperty* property);
    void RemoveActionX(TARNAction* action);
    void RemoveInputX(TARNInput* input);
    void RemoveOutputX(TARNOutput* output);

    // ---- Lookups -----------------------------------------------------------------------
    //
    // Under the module lock. None answers null: an element that is not there is a kernel
    // error ("Trying to access unknown ...", -5).

    TARNInput& Input(int index);
    TARNOutput& Output(int index);
    // Counts the properties after the last standard one, per-element ones left out.
    TARNProperty& Property(int index);
    TARNAction& Action(int index);
    // The reader id of the input at `index` (0 or below: the first input), which the
    // engine's readers-by-handle use; an index past the input list is a kernel error.
    int* ReaderHandle(int index);
    TARNInput& Input(const char* name);
    TARNOutput& Output(const char* name);
    TARNProperty& Property(const char* name);
    TARNAction& Action(const char* name);
    // By short name; during a dynamic re-creation only the elements before the cursor.
    bool HasProperty(const char* name);
    bool HasAction(const char* name);
    bool HasInput(const char* name);
    bool HasOutput(const char* name);

    // ---- Standard property definitions -------------------------------------------------

    static TARNPropertyDefinition ProcessorPropertyDefinition;
    static TARNPropertyDefinition CounterPropertyDefinition;
    static TARNPropertyDefinition NbPeriodsPropertyDefinition;
    static TARNPropertyDefinition AveragePeriodPropertyDefinition;
    static TARNPropertyDefinition MinPeriodPropertyDefinition;
    static TARNPropertyDefinition MaxPeriodPropertyDefinition;
    static TARNPropertyDefinition ContextSwitchesPropertyDefinition;
    static TARNPropertyDefinition CPULoadPropertyDefinition;
    // Per-element properties.
    static TARNPropertyDefinition PeriodicPropertyDefinition;
    static TARNPropertyDefinition FifoSizePropertyDefinition;
    static TARNPropertyDefinition IOSubsamplingPropertyDefinition;
    static TARNPropertyDefinition ReaderTypePropertyDefinition;

    // ---- Fields, in their declared order ----------------------------------------------
    //
    // Public: the component base, the element implementations and the engine work on them
    // directly, under the locks named. The layout is shared with the engine: the offsets
    // are pinned below the class.

    // The standard properties; null when the module was built without them.
    TARNProperty* processorProperty;
    TARNProperty* counterProperty;
    TARNProperty* nbPeriodsProperty;
    TARNProperty* averagePeriodProperty;
    TARNProperty* maxPeriodProperty;
    TARNProperty* minPeriodProperty;
    TARNProperty* contextSwitchesProperty;
    TARNProperty* CPULoadProperty;

    // Period statistics (PerformanceMonitoring, on the module's own thread, no lock): the
    // last "nbPeriods" periods (-1: not measured yet), 1 + the periods measured since the
    // last reset (0 before the first call), the slot for the next period, the engine time
    // of the previous call and the sum of the periods in the window.
    TARNArray<long> periodWindow;
    int periodsSeen;
    int writeIndex;
    long lastCallTime;
    long periodSum;

    // Dynamic cursors (module lock): during a component's dynamic re-creation, the first
    // element of each list not yet declared again; null otherwise.
    TARNListItem<TARNInput*>* inputCursor;
    TARNListItem<TARNOutput*>* outputCursor;
    TARNListItem<TARNProperty*>* propertyCursor;
    TARNListItem<TARNAction*>* actionCursor;

    // State word (bits above). Written by Die without a lock and read by every wait, hence
    // atomic; it keeps the size of the 32-bit word.
    std::atomic<unsigned int> state;
    // The last Error's code and message, stored together under a lock of their own (any
    // thread of the module may fail at the same time as another).
    ErrorCode errorCode;
    TARNStackedString<40> errorText;
    // The module runs its own thread; reading calls of a module without one never block.
    bool threaded;
    // Set by Die; every blocking call waits on it too.
    TARNEvent dieEvent;
    // Set when the life counter falls to zero.
    TARNEvent noThreadEvent;
    // Re-entrant: element lists, cursors, symbol-name list, lives, Start.
    TARNMutex2 moduleLock;
    // Re-entrant: every property value of the module.
    TARNMutex2 propertyLock;
    // Running threads of the module (module lock).
    unsigned int lives;
    // Full name of every element registered with the kernel, in registration order.
    TARNList<TARNStackedString<40> > symbolNames;
    // The engine's thread objects; the module frees the list items, never the threads.
    TARNList<TARNThread*> threads;
    // Properties the SDK made itself (standard and per-element ones).
    unsigned int sdkPropertyCount;
    // The last property of the constructors' standard ones; null when there is none.
    TARNListItem<TARNProperty*>* lastStandardProperty;
    // The module's elements in creation order; the module owns them.
    TARNList<TARNInput*> inputs;
    TARNList<TARNOutput*> outputs;
    TARNList<TARNProperty*> properties;
    TARNList<TARNAction*> actions;

    // Fields of this SDK's own, after the declared ones.

    // Readers by name that found a property of this module while moduleLock was busy and
    // wait for the lock (TARNPropertyByName). Once the module has unregistered its elements
    // nobody new can find it; it then waits until these readers are gone before it ends.
    TARNPinCount byNameReaders;
    // While the module's writer runs it (SequentialCore), the input whose element made it
    // run; null otherwise.
    TARNInput* sequentialInput = nullptr;

  private:
    // Unregisters every symbol name and deletes every element: the destructor's work, also
    // what a constructor that fails half-way undoes.
    void releaseElements();
    // Deletes the inputs and outputs, each first cut off from what it is connected to.
    void deleteInputsAndOutputs();
    void renameInputsAndOutputs(const char* oldName, const char* newName);
    // Makes one per-element property of `element` with its value and set-callback.
    TARNProperty* newElementProperty(const void* element, const TARNPropertyDefinition& definition,
                                     const char* shortName, const char* suffix, long value,
                                     void (*setCallback)(TARNProperty&));
    // Removes every per-element property of `element`.
    void removeElementProperties(const void* element);
};

// The declared fields' layout, shared with the engine (x86-64, glibc): the base's vtable
// pointer and name record, then the fields in their declared order. The SDK's own fields
// come after them. The class is not standard-layout; the offsets are fixed by the ABI.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(TARNModule, processorProperty) == 48);
static_assert(offsetof(TARNModule, counterProperty) == 56);
static_assert(offsetof(TARNModule, nbPeriodsProperty) == 64);
static_assert(offsetof(TARNModule, averagePeriodProperty) == 72);
static_assert(offsetof(TARNModule, maxPeriodProperty) == 80);
static_assert(offsetof(TARNModule, minPeriodProperty) == 88);
static_assert(offsetof(TARNModule, contextSwitchesProperty) == 96);
static_assert(offsetof(TARNModule, CPULoadProperty) == 104);
static_assert(offsetof(TARNModule, periodWindow) == 112);
static_assert(offsetof(TARNModule, periodsSeen) == 152);
static_assert(offsetof(TARNModule, writeIndex) == 156);
static_assert(offsetof(TARNModule, lastCallTime) == 160);
static_assert(offsetof(TARNModule, periodSum) == 168);
static_assert(offsetof(TARNModule, inputCursor) == 176);
static_assert(offsetof(TARNModule, outputCursor) == 184);
static_assert(offsetof(TARNModule, propertyCursor) == 192);
static_assert(offsetof(TARNModule, actionCursor) == 200);
static_assert(offsetof(TARNModule, state) == 208);
static_assert(offsetof(TARNModule, errorCode) == 212);
static_assert(offsetof(TARNModule, errorText) == 216);
static_assert(offsetof(TARNModule, threaded) == 288);
static_assert(offsetof(TARNModule, dieEvent) == 296);
static_assert(offsetof(TARNModule, noThreadEvent) == 440);
static_assert(offsetof(TARNModule, moduleLock) == 584);
static_assert(offsetof(TARNModule, propertyLock) == 696);
static_assert(offsetof(TARNModule, lives) == 808);
static_assert(offsetof(TARNModule, symbolNames) == 816);
static_assert(offsetof(TARNModule, threads) == 848);
static_assert(offsetof(TARNModule, sdkPropertyCount) == 880);
static_assert(offsetof(TARNModule, lastStandardProperty) == 888);
static_assert(offsetof(TARNModule, inputs) == 896);
static_assert(offsetof(TARNModule, outputs) == 928);
static_assert(offsetof(TARNModule, properties) == 960);
static_assert(offsetof(TARNModule, actions) == 992);
static_assert(offsetof(TARNModule, byNameReaders) >=
              offsetof(TARNModule, actions) + sizeof(TARNList<TARNAction*>));
#pragma GCC diagnostic pop

static_assert(sizeof(TARNModule::ThreadStart) == 32);
static_assert(offsetof(TARNModule::ThreadStart, module) == 0);
static_assert(offsetof(TARNModule::ThreadStart, function) == 8);
static_assert(offsetof(TARNModule::ThreadStart, started) == 24);
