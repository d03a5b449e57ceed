// TARNComponent: the base of every component. A model's factory builds one from its static
// TARNComponentDefinition; the constructor makes the component's standard properties and
// then every element of the definition's tables.
#pragma once

#include <cstddef>

#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/runtime/mutex.hpp"
#include "tarn/runtime/pair.hpp"

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

    // ---- Dynamic re-creation --------------------------------------------------------

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

    // ---- Element creation -----------------------------------------------------------
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

    // ---- Life cycle ------------------------------------------------------------------
    //
    // The engine's control thread calls Start, Shutdown and the actions. A threaded
    // component lives on a main thread whose body is the engine's
    // (TARNPrivate::ComponentMainThread: Birth, the loop of PerformanceMonitoring and Core
    // until the component dies, then the death sequence). A sequential one runs in the
    // StopWriting of its writers (SequentialCore); coreMutex keeps its Birth, Core and death
    // from overlapping. Every failure of the component's own code is contained here and
    // reported, so that the graph survives a faulty component.

    // What the plain-function CreateThread hands to the engine's component thread body
    // (TARNPrivate::ComponentThread), on the creator's stack. The body tells the two forms
    // apart by the first word: the module pointer of the member form (TARNModule's
    // ThreadStart), 0 here. It sets *created and *threadId, then *started once it has
    // taken what it needs. The layout is shared with the engine.
    struct FreeThreadStart {
        TARNModule* noModule;  // always null
        unsigned int form;     // always 1
        unsigned int unused;
        bool* started;
        bool* created;
        unsigned long* threadId;
        TARNModule* module;
        void (*function)(void*);
        void* argument;
    };

    // Starts the component: the property check (a property that must be set and was not
    // refuses the start, -5), the rings and buffers of a last life that no Shutdown
    // released, the buffers of every output that has none, the statistics
    // restarted, then its main thread or, sequential, Birth and the elements already
    // waiting. Starting a running component only notifies its state.
    void Start();
    // Stops it: Die, the death of a sequential component, the end of the main loop (at most
    // 10 s; a loop that does not end leaves the rings and buffers alone, since its Core may
    // still use them), then, for each output no reader of another module still holds an
    // element of (waited for at most "Engine.shutdownTimeout"), the ring emptied and the
    // buffers freed; the inputs reset.
    void Shutdown();
    // The same with `timeout` microseconds (at least 0) in place of "Engine.shutdownTimeout":
    // an engine that stops several components gives each what is left of one deadline.
    void ShutdownWithin(long timeout);
    // Death() with every failure contained and reported.
    void CallDeath();
    // The last step of a death: what the inputs hold given back, "is dead", statistics
    // restarted, back to rest (MainLoopEnded only), birth event reset.
    void Die4Good();
    // The component's own request to die: a threaded one unwinds its thread (57005), a
    // sequential one runs its death at once.
    void CommitSuicide();
    // A sequential component's death, once per life.
    void SequentialDeath();
    // Runs Core for the elements waiting on `input` (the writer's thread), contained.
    void SequentialCore(TARNInput* input) override;
    // Extra threads of the component, counted among its lives: the member form runs
    // (this->*function)(); the plain form function(argument) and answers (created, thread
    // id). Both return once the thread has started; a thread that cannot be created ends in
    // Error.
    void CreateThread(void (TARNModule::*function)());
    TARNCouple<bool, unsigned long> CreateThread(void (*function)(void*), void* argument);
    // Inputs and rings reset after a stop, Dying cleared; the new state word.
    int CleanUp();
    // The death of one life: LoseOneLife, Banzai, Wait4Death, CallDeath, Die4Good.
    void DeathSequence();
    // Reports what the component's code threw, from inside the catch block that caught it:
    // 57005 nothing, -5 a warning that the component died of an error, anything else an
    // error (with a message box) naming what it was. `mode` is put after the component's
    // name in the warning (" (sequential)" or empty). Answers the integer thrown, or 0.
    int ReportCurrentFailure(const char* mode);

    // An action callback (TARNActionCallbacks::withoutArgument) a model may list in its
    // action table, allowed at rest: renames the component after the output connected to
    // its first input ("cam.out" gives "cam_out", or "cam_out_1" to "cam_out_20" when that
    // names another component or an engine function). Only while no graph runs. Every
    // refusal is reported as a warning and leaves the name as it was.
    static void ActionRenameAfterUpstreamComponent(TARNModule* module, int index);

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
    // Set when a life begins; cleared once a Shutdown has emptied every output ring and
    // freed every output's buffers. A life whose death ran on the component's own thread
    // with no Shutdown after it, or whose Shutdown had to keep buffers a connected reader
    // still held, leaves it set: the next Start does that release first, and a host that stops its
    // graph shuts such a component down although it no longer runs.
    bool lastLifeNotReleased;
    Point location;

  private:
    // Makes the standard properties and the definition's elements (the constructor's work).
    void createElements();
    // Start's steps: the property check, the buffers, the two ways of running.
    bool refuseUninitialisedProperty();
    void allocateMissingBuffers();
    void startThreaded();
    void startSequential();
    // PerformanceMonitoring then Core for what waits on `input`, subsampling applied, while
    // the component consumes it.
    void runWaiting(TARNInput& input, bool releaseAfterEachCore);
    // A contained failure of a sequential run: dying, then the death sequence.
    void dieOfFailure();
    // Shutdown's step for one output: true when no reader holds an element of its ring.
    // Elements held by readers cut off from the graph are not waited for: they are set
    // aside, left to those readers.
    bool awaitReadersGone(TARNOutput& output, long timeout);
    // Empties the ring and frees the buffers of every output, waiting at most `timeout`
    // microseconds for the readers of other modules to give back what they hold; an output
    // a connected reader still holds then keeps both, reported. Clears lastLifeNotReleased
    // when none was kept.
    void releaseRingsAndBuffers(long timeout);
    TARNProperty* primaryThreadIdProperty();
};

static_assert(sizeof(TARNComponent::FreeThreadStart) == 64);
static_assert(offsetof(TARNComponent::FreeThreadStart, noModule) == 0);
static_assert(offsetof(TARNComponent::FreeThreadStart, form) == 8);
static_assert(offsetof(TARNComponent::FreeThreadStart, started) == 16);
static_assert(offsetof(TARNComponent::FreeThreadStart, created) == 24);
static_assert(offsetof(TARNComponent::FreeThreadStart, threadId) == 32);
static_assert(offsetof(TARNComponent::FreeThreadStart, module) == 40);
static_assert(offsetof(TARNComponent::FreeThreadStart, function) == 48);
static_assert(offsetof(TARNComponent::FreeThreadStart, argument) == 56);
