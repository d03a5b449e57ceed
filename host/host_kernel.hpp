// HostKernel: the host's kernel object, standing in for the engine.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "engine/kernel.hpp"
#include "host_components.hpp"
#include "host_engine_time.hpp"
#include "host_event_service.hpp"
#include "host_recorder.hpp"
#include "host_registrations.hpp"
#include "host_thread_gate.hpp"
#include "kernel_binding.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/runtime/mutex.hpp"

class HostEngineModule;
class HostPackage;
class TARNComponentDefinition;
class TARNModule;

// The host's implementation of the kernel object: what the SDK of a package (or of the
// tests, in process) reaches through TARNPrivate::kernel. It provides reports (printed when
// asked, kept only by a HostRecorder), the symbol table with its lock, engine properties by
// name, the check level, the removal bracket, the shutdown event and the global mutex, and
// hands engine time to HostEngineTime and multi-event waits and triggers to
// HostEventService. It makes, starts, stops, kills, renames and connects components
// (host_kernel_components.cpp) and runs their threads' bodies. The notices a module sends
// when it makes or removes an input or output are taken in silence: the host keeps no
// model of the graph for them to update. Every other operation answers neutrally (false,
// 0, null) and reports once, at level 1, that the host does not provide it.
//
// All operations may be called from any thread.
class HostKernel final : public TARNKernel {
  public:
    // Binds itself as the kernel of the host's own copy of the SDK (TARNPrivate::kernel)
    // for its whole life, so that host-side SDK code always reaches a kernel, and binds
    // back the previous one when destroyed (KernelBinding): destroy kernels in the reverse
    // order of their making, while no other thread uses the SDK. Makes the "Engine" module,
    // and destroys it first.
    HostKernel();
    // Tells every running component to die, then destroys them, newest first, each after
    // its threads, all against one deadline ("Engine.shutdownTimeout" from then); then those
    // left behind before whose threads have ended (see DestroyComponent). A component
    // stuck in its Core takes no time from those beside it: a healthy one is destroyed
    // whatever else is stuck.
    ~HostKernel();

    HostKernel(const HostKernel&) = delete;
    HostKernel& operator=(const HostKernel&) = delete;

    // --- For the host and its tests -------------------------------------------------

    // Attaches `recorder` (null detaches): from then on it keeps what the kernel receives.
    // HostRecorder attaches and detaches itself.
    void SetRecorder(HostRecorder* recorder);
    // From now on each report is printed as it arrives, in the Format below: information
    // and warnings on `out`, errors on `errors`; null for both stops. The streams must
    // outlive the echo.
    void EchoReports(std::ostream* out, std::ostream* errors);
    // Prints one report the way the host shows them: "info: ", "warning: " or "error: ",
    // then the message and, when not 0, " (parameter)".
    static std::string Format(const HostReport& report);
    // Prints `line` (with its own end of line) on the echo's `out` or `errors` stream, under
    // the lock the echo prints reports under, so that the host's own lines and reports from
    // other threads never interleave. Nothing while the echo is off.
    void EchoLine(const std::string& line, bool toErrors = false);

    void SetCheckLevel(int level);
    // Removal brackets opened and closed so far (BeginChange / EndChange).
    long ChangesOpened() const;
    long ChangesClosed() const;
    // Runs `hook` (null: nothing) with the element's full name whenever a module tells the
    // kernel that an input or output is being removed; it runs inside the removal bracket,
    // which lets a test throw from the middle of a removal.
    void SetRemovalNoticeHook(std::function<void(const char* fullName)> hook);
    // The last state word each module reported.
    std::map<std::string, unsigned int> ModuleStates() const;

    // The "Engine" module: the engine properties ("Engine.shutdownTimeout", ...) and the
    // module behind the symbol "Engine.time". It lives as long as the kernel.
    HostEngineModule& EngineModule() { return *m_engine; }
    // The engine module's "refreshInputProperties" ran for `inputName` (kept by a recorder
    // only: the engine has nothing to show again).
    void InputPropertiesRefreshed(const char* inputName);
    // Engine functions the host knows by name (TARN::CoreFunction). The host does not own
    // them; a function must be removed before it is destroyed.
    void AddCoreFunction(TARNCoreFunction* function);
    void RemoveCoreFunction(TARNCoreFunction* function);

    // --- Components (host_kernel_components.cpp) -------------------------------------

    // The models it can make components of, the components it made, their threads.
    HostComponents& Components() { return m_components; }
    // Files a model (a package's or this program's definition) for CreateComponent; false
    // when a model of that name is known already.
    bool AddModel(TARNComponentDefinition& definition);
    // Shuts the component down (a killed one once its threads ended), waits until
    // `deadline` for every thread the host runs for it, gives elements readers cut off from
    // it still hold until then to come back (then leaves them to those readers), unregisters
    // its names, waits out the readers by name that found it, and deletes it. A component
    // whose threads still run at the deadline (a Core that never returns) is not deleted,
    // since no thread may outlive its component: it is reported, cut off, gives up its names
    // (a component made later may take them) and is left behind
    // (HostComponents::LeaveBehind) until the kernel's end, which destroys it if its threads
    // have ended by then. False when there is no component of that name, or when it was
    // left behind.
    bool DestroyComponent(const char* name, std::chrono::steady_clock::time_point deadline);
    // The same with a deadline of its own, "Engine.shutdownTimeout" from now.
    bool DestroyComponent(const char* name);
    // "Engine.shutdownTimeout" from now: the one deadline of an end (a graph's, the
    // kernel's) for all the components it stops and destroys, however many of them are
    // stuck. A time-out too long to add to the clock gives the far future.
    std::chrono::steady_clock::time_point ShutdownDeadline();
    // Shuts the component down and waits for its threads, both until `deadline`: an end
    // that stops several components gives them all one deadline. ShutdownComponent(name)
    // gives its component one of its own.
    bool ShutdownComponent(const char* name, std::chrono::steady_clock::time_point deadline);
    // Keeps a package loaded while components are left behind: their threads may still run
    // its code, or read elements of rings its outputs left to them, which its unloading
    // would delete. Unloaded at the kernel's end, after the components left behind, or
    // never when one of them still runs then.
    void KeepLoadedForLeftBehind(std::unique_ptr<HostPackage> package);
    // "Engine.shutdownTimeout", microseconds.
    long ShutdownTimeout();

    // The gate the kernel's threads come back through from a component's code
    // (HostThreadGate). Each thread holds it, so that it outlives the kernel while a thread
    // the kernel's end left behind still runs, and expires once the last of them has ended.
    std::weak_ptr<const HostThreadGate> ThreadGate() const { return m_gate; }

    // Clocks, listeners and keys handlers the packages registered.
    HostRegistrations& Registrations() { return m_registrations; }

    HostEngineTime& Time() { return m_time; }
    HostEventService& Events() { return m_events; }

    // --- The kernel object ---------------------------------------------------------

    void BeginChange(const char* reason) override;
    void EndChange() override;
    TARNCoreFunction* FindCoreFunction(const char* name) override;
    TARNComponent* FindComponent(const char* name) override;
    bool GetBoolProperty(const char* fullName, bool* found) override;
    long GetIntegerProperty(const char* fullName, bool* found) override;
    double GetFloatProperty(const char* fullName, bool* found) override;
    TARNStackedString<40> GetGlobalConfigValue(const char* key) override;
    void SynchronizationCommand(int command) override;
    bool CreateComponent(const char* model, const char* name, bool flag) override;
    bool StartComponent(const char* name) override;
    bool ShutdownComponent(const char* name) override;
    bool KillComponent(const char* name) override;
    bool RenameComponent(const char* oldName, const char* newName) override;
    unsigned long UpdateKeys() override;
    bool AttachPaths(const char* outputPath, const char* inputPath) override;
    bool AttachPathsVariant(const char* outputPath, const char* inputPath) override;
    void Exit() override;
    TARNSymRec* FindSymbol(const char* fullName) override;
    TARNSymRec* RegisterSymbol(const char* name, int kind) override;
    void ConfirmSymbol() override;
    void UnregisterSymbol(const char* fullName) override;
    void LockSymbols() override;
    void UnlockSymbols() override;
    bool RegisterInput(TARNInput* input) override;
    bool RegisterOutput(TARNOutput* output) override;
    bool RegisterProperty(TARNProperty* property) override;
    bool RegisterAction(TARNAction* action) override;
    void RecorderInputCreated(const char* recorderName, const char* inputFullName) override;
    void OutputCreated(const char* outputFullName, const char* moduleName, const char* registeredName,
                       int index) override;
    void InputRemoving(const char* fullName) override;
    void OutputRemoving(const char* fullName) override;
    bool Parse(const char* text) override;
    bool ParseFile(const char* path) override;
    void ModuleStateChanged(const char* moduleName, unsigned int state) override;
    bool AsynchParse(const char* text) override;
    bool AsynchParseFile(const char* path) override;
    void Run() override;
    void Shutdown() override;
    void Reset() override;
    bool RegisterPackage(const char* name, const char* path) override;
    bool UnregisterPackage(const char* name) override;
    void RegisterStandardPackages() override;
    bool LoadCoreFunction(const char* name, const char* model) override;
    bool UnloadCoreFunction(const char* name) override;
    bool GetSynchronizer(void* owner, TARNSynchronizer** synchronizer) override;
    bool ReleaseSynchronizer(void* owner, TARNSynchronizer** synchronizer) override;
    int GetState() override;
    bool IsDistributedAsMaster() override;
    bool IsDistributedAsSlave() override;
    void About(TARNStackedString<40>& text) override;
    TARNMutex* GlobalOSMutex() override;
    void Release() override;
    int GetKeysState() override;
    void InitializeSession() override;
    void RegisterKeysHandler(TARNHMIKeysHandler* handler) override;
    void UnregisterKeysHandler(TARNHMIKeysHandler* handler) override;
    void StopSendingData() override;
    void StopReplaying() override;
    bool Replay(const char* path) override;
    bool Copy(const char* from, const char* to) override;
    void UpdateTimestamp() override;
    void SetRecording(bool on) override;
    void FromNowOnDataAreUnsorted() override;
    bool RecordTo(const char* a, const char* b, const char* c, bool d, bool e) override;
    bool IsPaused() override;
    bool IsReplaying() override;
    void SignalRecordSkipped() override;
    void SignalFifoOverflow(void* output) override;
    long GetFirstTimestamp() override;
    long GetLastTimestamp() override;
    int GetNbFifoOverflows() override;
    bool Attach(TARNOutput& output, TARNInput& input) override;
    bool Detach(TARNOutput& output, TARNInput& input) override;
    void Play() override;
    void Stop() override;
    void Next() override;
    void Previous() override;
    void Go2Index(int index) override;
    TARNProperty* FindProperty(const char* fullName) override;
    void Go2PreviousIndex() override;
    void Go2NextIndex() override;
    void Record() override;
    long SynchClockCurrentTime() override;
    long GetVirtualClockTimebase() override;
    long GetVirtualClockTimebaseX() override;
    void InitVirtualClockTime(long time, long base, int speed) override;
    void UninitVirtualClockTime() override;
    long TimeReference() override;
    int TimeSpeed() override;
    void SetTimeAdapt(int adapt) override;
    bool RegisterClock(TARNBaseClock* clock, unsigned char* id) override;
    void UnregisterClock(TARNBaseClock* clock) override;
    long GetSystemAccurateTiming() override;
    void SetAbsoluteTimeSpeed(int speed, int flags) override;
    unsigned char GetMasterCurrentClockID() override;
    void Report(const char* message, int level, int parameter, bool fromEngine) override;
    TARNEvent* GetShutdownEvent() override;
    void SignalMasterClockChanged(unsigned char id) override;
    unsigned char GetCurrentClockID() override;
    void SetCurrentTime(long time) override;
    long CurrentTime(bool a, bool b) override;
    bool IsRecording() override;
    void SetTimeSpeed(int speed) override;
    void RegisterRunShutdownListener(TARNRunShutdownListener* listener) override;
    void UnregisterRunShutdownListener(TARNRunShutdownListener* listener) override;
    void RegisterTimeStateListener(TARNTimeStateListener* listener) override;
    int TimeState() override;
    bool ReplayPausePending() override;
    void SetReplayPausePending(bool pending) override;
    void UnregisterTimeStateListener(TARNTimeStateListener* listener) override;
    void RegisterRecordingStateListener(TARNRecordingStateListener* listener) override;
    void UnregisterRecordingStateListener(TARNRecordingStateListener* listener) override;
    void RegisterKeysListener(TARNKeysListener* listener) override;
    void UnregisterKeysListener(TARNKeysListener* listener) override;
    void* ComponentMainThread(void* argument) override;
    int CheckLevel() override;
    void* ModuleThread(void* argument) override;
    void* ComponentThread(void* argument) override;
    int GetAbsoluteTimeSpeed() override;
    TARNCondition* EngineTimeCondition() override;
    void BeginEngineTime() override;
    void EndEngineTime() override;
    void Pause() override;
    TARNEventService* EventService() override;

  private:
    // Reports once per operation that the host does not provide it.
    void notProvided(const char* operation);
    // The body of every module and component thread but the main one: counts the thread
    // (host and module), tells the creator it started, runs `body`, and back through the
    // gate reports what it threw.
    template <class Body>
    void runModuleThread(TARNModule* module, bool* started, Body body);
    // A component's main thread: Birth, the Core loop until it dies, and back through the
    // gate the death sequence; false when the gate was shut meanwhile.
    bool runComponentLife(TARNComponent& component, HostThreadGate& gate);
    // Whether `name`, or `name` followed by a point and more, is a symbol.
    bool nameTaken(const std::string& name);
    // Splits "module.element" at the first point; false when either part is empty.
    static bool splitPath(const char* path, std::string& module, std::string& element);
    // The output and the input two paths name; false, reported, when either is missing.
    bool findEnds(const char* outputPath, const char* inputPath, TARNOutput*& output, TARNInput*& input);
    // Reports why Attach would refuse to connect `input` to `output` and answers true, or
    // answers false. A move (`moving`) takes an input that is connected already: the
    // variant detaches it once nothing else refuses.
    bool attachRefused(TARNOutput& output, TARNInput& input, bool moving);
    // Every input of `component` and every input connected to its outputs, detached.
    void detachAll(TARNComponent& component);
    // Shutdown with what is left until `deadline`, unless the component is at rest with its
    // main loop ended.
    void shutDownUnlessAtRest(TARNComponent& component, std::chrono::steady_clock::time_point deadline);
    // ShutdownComponent's work: the shutdown's own waits are given `timeout` microseconds,
    // the wait for the threads until `deadline`.
    bool shutDownComponent(const char* name, std::chrono::steady_clock::time_point deadline, long timeout);
    // The end of a destruction, once no thread runs for the component: it is cut off, its
    // readers' elements awaited until `deadline`, its names unregistered, and it is deleted.
    void destroy(TARNComponent& component, std::chrono::steady_clock::time_point deadline);
    // Reports the component, cuts it off from the graph, takes its names back and moves it
    // to those left behind.
    void leaveBehind(TARNComponent& component);
    // At the kernel's end: destroys the components left behind whose threads end by
    // `deadline`, shuts the gate on the others, and unloads the packages kept for them
    // unless one still runs.
    void destroyLeftBehind(std::chrono::steady_clock::time_point deadline);
    // Whether the calling thread is one the kernel runs for a component left behind: that
    // component gave up its names, and what it tells under them (its state, its reports)
    // is not its any more.
    bool onLeftBehindThread() const;
    // Whether the calling thread is one another kernel runs for its components: one bound
    // over this kernel, or one whose end left a component behind before this kernel was
    // made. The SDK reaches the kernel bound now, whichever kernel runs the thread.
    bool onAnotherKernelsThread() const;
    // The clock the calling thread is given: this kernel's, or on another kernel's thread
    // one of no kernel, with the waits, triggers, shutdown event and global mutex such a
    // thread is handed (host_kernel.cpp), so that nothing it waits on or arms is this
    // kernel's.
    HostEngineTime& callersTime();
    // Whether the kernel takes nothing from the calling thread: no report, state notice,
    // change bracket or name, neither registered nor given up. True on another kernel's
    // threads and on those of a component this kernel left behind.
    bool ignoresCallingThread() const;
    // Waits until no reader cut off from the component's outputs holds one of their
    // elements, at most until `deadline`: then reports an error and returns, the elements
    // left to their readers.
    void awaitElementsGivenBack(TARNComponent& component, std::chrono::steady_clock::time_point deadline);
    // Runs the test hook of SetRemovalNoticeHook, if any.
    void removalNotice(const char* fullName);
    // The SDK registers a module's elements through the bound kernel, so the Engine module
    // is made and destroyed with this kernel bound (host_kernel_modules.cpp).
    void createEngineModule();
    void destroyEngineModule();
    // Registers an element's full name with its owner (first data word) and the element
    // (second); false when the name is taken.
    bool registerElement(const char* fullName, int kind, void* owner, void* element);
    // Reads a property by full name through its owning module: found under the symbol lock,
    // read under the owner's module lock.
    template <class Value>
    Value readProperty(const char* fullName, bool* found);
    // Hands the recorder, if any, what the kernel received. The lock is held meanwhile, so
    // that a recorder detaching waits for the calls under way.
    template <class Add>
    void record(Add add) {
        std::lock_guard lock(m_recorderLock);
        if (m_recorder) add(*m_recorder);
    }

    // First made and last destroyed: everything the kernel does, from building its members
    // to destroying them, may reach the SDK, and the SDK reaches this kernel.
    KernelBinding m_binding{this};

    HostEngineTime m_time;
    HostEventService m_events;
    TARNEvent m_shutdown;
    // The engine's recording switch (TARN::StartRecording, TARN::StopRecording).
    std::atomic<bool> m_recording{false};
    TARNMutex m_globalMutex;

    std::mutex m_recorderLock;
    HostRecorder* m_recorder = nullptr;

    mutable std::mutex m_reportLock;
    std::ostream* m_echoOut = nullptr;
    std::ostream* m_echoErrors = nullptr;
    std::set<std::string> m_notProvided;

    // The symbol lock is re-entrant: a caller holding it (LockSymbols) still looks up,
    // registers and unregisters through the other operations.
    mutable std::recursive_mutex m_symbolLock;
    std::map<std::string, TARNSymRec*> m_symbols;
    TARNSymRec* m_unconfirmed = nullptr;

    mutable std::mutex m_stateLock;
    int m_checkLevel = 0;
    long m_changesOpened = 0;
    long m_changesClosed = 0;
    std::function<void(const char*)> m_removalNoticeHook;
    std::map<std::string, unsigned int> m_moduleStates;

    HostRegistrations m_registrations;
    // The id the next registered clock gets; never 0.
    unsigned char m_nextClockId = 1;

    HostComponents m_components;
    std::shared_ptr<HostThreadGate> m_gate = std::make_shared<HostThreadGate>();
    std::mutex m_keptPackagesLock;
    std::vector<std::unique_ptr<HostPackage>> m_keptPackages;

    // Made last and destroyed first: its elements are registered in the symbol table.
    std::unique_ptr<HostEngineModule> m_engine;
};
