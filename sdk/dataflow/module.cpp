#include "tarn/dataflow/module.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/thread.hpp"

// The standard definitions: no unit, subtype 0, never must-be-set, enumeration values
// locked; the type follows the default value, which each definition owns.
#define TARN_STANDARD_PROPERTY(field, name, value, modifiableWhileRunning, readOnly)                        \
    TARNPropertyDefinition TARNModule::field(name, value, nullptr, false, modifiableWhileRunning, readOnly, \
                                             true, 0)

TARN_STANDARD_PROPERTY(ProcessorPropertyDefinition, "processor", new TARNPropertyValue(-1L), true, false);
TARN_STANDARD_PROPERTY(CounterPropertyDefinition, "counter", new TARNPropertyValue(0L), false, true);
TARN_STANDARD_PROPERTY(NbPeriodsPropertyDefinition, "nbPeriods", new TARNPropertyValue(10L), true, false);
TARN_STANDARD_PROPERTY(AveragePeriodPropertyDefinition, "averagePeriod", new TARNPropertyValue(0L), false,
                       true);
TARN_STANDARD_PROPERTY(MinPeriodPropertyDefinition, "minPeriod", new TARNPropertyValue(0L), false, true);
TARN_STANDARD_PROPERTY(MaxPeriodPropertyDefinition, "maxPeriod", new TARNPropertyValue(0L), false, true);
TARN_STANDARD_PROPERTY(ContextSwitchesPropertyDefinition, "contextSwitches", new TARNPropertyValue(0L), false,
                       true);
TARN_STANDARD_PROPERTY(CPULoadPropertyDefinition, "CPULoad", new TARNPropertyValue(0L), false, true);
TARN_STANDARD_PROPERTY(PeriodicPropertyDefinition, "periodic", new TARNPropertyValue(false), false, false);
TARN_STANDARD_PROPERTY(FifoSizePropertyDefinition, "fifosize", new TARNPropertyValue(16L), true, false);
TARN_STANDARD_PROPERTY(IOSubsamplingPropertyDefinition, "subsampling", new TARNPropertyValue(1L), true,
                       false);
TARN_STANDARD_PROPERTY(ReaderTypePropertyDefinition, "readerType", new TARNPropertyValue(0L), true, false);

#undef TARN_STANDARD_PROPERTY

TARNModule::TARNModule(const char* name, bool perfProps, bool processorProp)
    : TARNModuleBase(name),
      processorProperty(nullptr),
      counterProperty(nullptr),
      nbPeriodsProperty(nullptr),
      averagePeriodProperty(nullptr),
      maxPeriodProperty(nullptr),
      minPeriodProperty(nullptr),
      contextSwitchesProperty(nullptr),
      CPULoadProperty(nullptr),
      periodsSeen(0),
      writeIndex(0),
      lastCallTime(0),
      periodSum(0),
      inputCursor(nullptr),
      outputCursor(nullptr),
      propertyCursor(nullptr),
      actionCursor(nullptr),
      state(Running),
      errorCode(0),
      threaded(false),
      dieEvent(false, nullptr),
      noThreadEvent(false, nullptr),
      lives(0),
      sdkPropertyCount(0),
      lastStandardProperty(nullptr) {
    try {
        if (processorProp) {
            processorProperty = NewProperty(ProcessorPropertyDefinition, nullptr);
            processorProperty->SetSetCallback(SetProcessorProperty);
        }
        if (perfProps) {
            counterProperty = NewProperty(CounterPropertyDefinition, nullptr);
            nbPeriodsProperty = NewProperty(NbPeriodsPropertyDefinition, nullptr);
            averagePeriodProperty = NewProperty(AveragePeriodPropertyDefinition, nullptr);
            minPeriodProperty = NewProperty(MinPeriodPropertyDefinition, nullptr);
            maxPeriodProperty = NewProperty(MaxPeriodPropertyDefinition, nullptr);
            contextSwitchesProperty = NewProperty(ContextSwitchesPropertyDefinition, nullptr);
            contextSwitchesProperty->SetGetCallback(GetPerfMonProperties);
            CPULoadProperty = NewProperty(CPULoadPropertyDefinition, nullptr);
            CPULoadProperty->SetGetCallback(GetPerfMonProperties);
        }
    } catch (...) {
        // The standard properties made so far are registered: give them back as the
        // destructor would, or their symbols would outlive the module.
        releaseElements();
        throw;
    }
    sdkPropertyCount = static_cast<unsigned int>(properties.Count());
    lastStandardProperty = properties.Tail();
}

TARNModule::~TARNModule() {
    releaseElements();
    // The items only: the engine owns the threads.
    threads.Clear();
}

void TARNModule::UnregisterNames() {
    {
        // Under the module lock, as every removal: a reader by name pins the owner of a
        // property it finds registered by taking this lock, so an element it holds cannot
        // go, and one it finds afterwards is no longer registered.
        TARNMutexGuard guard(moduleLock);
        for (const TARNStackedString<40>& symbol : symbolNames)
            TARNPrivate::kernel->UnregisterSymbol(symbol.c_str());
        symbolNames.Clear();
    }
    // Readers that found a property while the lock was busy are blocked on it; with the lock
    // free they take it, find the property gone and let go. The lock must outlive them.
    byNameReaders.AwaitNone();
}

void TARNModule::releaseElements() {
    UnregisterNames();
    {
        TARNMutexGuard guard(moduleLock);
        for (TARNAction* action : actions) delete action;
        deleteInputsAndOutputs();
        for (TARNProperty* property : properties) delete property;
        actions.Clear();
        properties.Clear();
        inputCursor = nullptr;
        outputCursor = nullptr;
        propertyCursor = nullptr;
        actionCursor = nullptr;
        lastStandardProperty = nullptr;
    }
}

const char* TARNModule::Kind() const {
    return "module";
}

void TARNModule::SequentialCore(TARNInput*) {}

void TARNModule::Report(const char* message, int level, int parameter) {
    TARNStackedString<40> text(Kind());
    text += " ";
    text += Name();
    text += ": ";
    text += message;
    TARNPrivate::Report(text.c_str(), level, parameter, false);
}

namespace {

// Guards the error record (code and text) of every module of the package. Errors are rare,
// so one lock serves them all; it is held for the two stores only and nothing is taken
// under it, so it nests inside whatever lock the caller of Error holds. Built on first use:
// no Error runs before the package's static initialisation ends.
TARNMutex& errorRecordLock() {
    static TARNMutex lock;
    return lock;
}

}  // namespace

void TARNModule::Error(const char* message, int parameter, ErrorCode code) {
    {
        // Two threads failing at once would otherwise free the old text twice.
        TARNMutexGuard guard(errorRecordLock());
        errorCode = code;
        errorText = message;
    }
    const unsigned int newState = state.fetch_or(InError) | InError;
    TARNPrivate::kernel->ModuleStateChanged(Name(), newState);
    Report(message, 2, parameter);
    throw ErrorException;
}

void TARNModule::Start() {
    TARNMutexGuard guard(moduleLock);
    state = (state.load() & ~(MainLoopEnded | Dying | InError)) | Running;
    dieEvent.Reset();
    noThreadEvent.Reset();
}

void TARNModule::Die() {
    state.fetch_or(Dying);
    dieEvent.Set();
}

void TARNModule::OneMoreLife() {
    TARNMutexGuard guard(moduleLock);
    ++lives;
}

void TARNModule::LoseOneLife() {
    TARNMutexGuard guard(moduleLock);
    // A surplus call must not wrap the counter round: shutdown would then wait for
    // four billion threads.
    if (lives > 0) --lives;
    if (lives != 0) return;
    guard.Unlock();
    noThreadEvent.Set();
}

void TARNModule::CreateThread(void (TARNModule::*function)()) {
    // The engine's body sets `started` (an atomic store) once it has copied what it needs,
    // so the record may live on this stack until then.
    bool started = false;
    ThreadStart start{this, function, &started};
    if (!TARN::CreateThread(TARNPrivate::ModuleThread, &start)) {
        Error("Failed to create module thread", 1, 0);
        return;
    }
    while (!__atomic_load_n(start.started, __ATOMIC_ACQUIRE)) TARN::Wait4AWhile();
}
