// The component's life cycle: starting it threaded or run by its writers, the sequential
// entry, shutdown, the death operations and the component's extra threads, with every
// failure of the component's own code contained and reported.
#include <chrono>
#include <exception>

#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "dataflow/property_implementation.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "runtime/steady_deadline.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/engine_properties.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/engine_message_box.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/integer_exceptions.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/streamed_string.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

// The engine's "Engine.shutdownTimeout" when it has none (or a negative one), in
// microseconds.
constexpr long DefaultShutdownTimeout = 10'000'000;
// How long a threaded start waits for Birth when the engine asks for sequential starts.
constexpr long BirthLimit = 3'000'000;

void notifyState(TARNModule& module) {
    TARNPrivate::kernel->ModuleStateChanged(module.Name(), module.State());
}

// "<kind> <name>": how every message of a contained failure begins.
TARNStackedString<40> beginning(const TARNComponent& component) {
    TARNStackedString<40> text(component.Kind());
    text += " ";
    text += component.Name() != nullptr ? component.Name() : "";
    return text;
}

// A failure the user must see: the engine's message box, then the error report.
void showFatal(const TARNStackedString<40>& message) {
    TARNPrivate::MessageBox(message.c_str(), 2, 0, true);
    TARN::ReportError(message.c_str(), 0);
}

// An engine report that begins with the component's name.
void reportNamed(const TARNComponent& component, const char* text, int level, int parameter) {
    TARNStackedString<40> message(component.Name() != nullptr ? component.Name() : "");
    message += text;
    TARNPrivate::Report(message.c_str(), level, parameter, true);
}

TARNInputImplementation& implementationOf(TARNInput& input) {
    return static_cast<TARNInputImplementation&>(input);
}

TARNOutputImplementation& implementationOf(TARNOutput& output) {
    return static_cast<TARNOutputImplementation&>(output);
}

}  // namespace

// ---- Start ------------------------------------------------------------------------------

void TARNComponent::Start() {
    {
        TARNMutexGuard guard(moduleLock);
        if (State() & Running) {
            notifyState(*this);
            return;
        }
        state = (state.load() & ~InError) | Running;
    }
    TARNMutexGuard stateGuard(dynamicLock);
    if (refuseUninitialisedProperty()) return;
    // What the last life left unreleased (see lastLifeNotReleased) goes first: this life
    // must neither read that life's elements nor find its buffers "already initialized"
    // when it lays out its own. A reader still holding one of them is not waited for.
    if (lastLifeNotReleased) releaseRingsAndBuffers(0);
    lastLifeNotReleased = true;
    allocateMissingBuffers();

    RestartPeriodStatistics();
    state.fetch_and(~Dying);
    dieEvent.Reset();
    state.fetch_and(~MainLoopEnded);
    noThreadEvent.Reset();

    if (threaded && (definition.threadingModels & TARNComponentDefinition::Threaded) == 0) {
        threaded = false;
        Report(
            "Threaded behaviour is not allowed anymore for this component (its threading model may have "
            "changed "
            "since last save operation).",
            1, 0);
        DirectSet(Property("threaded"), false);
    }
    if ((definition.threadingModels & TARNComponentDefinition::Sequential) == 0 && !threaded) {
        threaded = true;
        Report(
            "Sequential behaviour is not allowed anymore for this component (its threading model may have "
            "changed "
            "since last save operation).",
            1, 0);
        DirectSet(Property("threaded"), true);
    }
    if (threaded)
        startThreaded();
    else
        startSequential();
    notifyState(*this);
}

bool TARNComponent::refuseUninitialisedProperty() {
    TARNProperty* unset = nullptr;
    {
        TARNMutexGuard guard(moduleLock);
        TARNListItem<TARNProperty*>* item =
            lastStandardProperty ? lastStandardProperty->Next() : properties.Head();
        for (; item != nullptr && unset == nullptr; item = item->Next()) {
            auto* property = static_cast<TARNPropertyImplementation*>(item->Value());
            if (property->definition.needsInit) unset = property;
        }
    }
    if (unset == nullptr) return false;
    state = (state.load() & ~Running) | InError;
    notifyState(*this);
    TARNStackedString<40> message("Unable to start component ");
    message += Name();
    message += ". Its property ";
    message += unset->ShortName();
    message += " needs to be initialized.";
    TARNPrivate::KernelError(message.c_str(), 1);
}

// Creation already laid buffers over the rings; a second allocation would be refused as
// "already initialized" (-5) and end the start. Only outputs left without buffers (freed by
// the last shutdown, or never allocated) get them here.
void TARNComponent::allocateMissingBuffers() {
    TARNMutexGuard guard(moduleLock);
    for (TARNOutput* output : outputs) {
        TARNOutputImplementation& writer = implementationOf(*output);
        try {
            if (writer.buffers.ElementCount() == 0)
                writer.AllocOutputBuffer(static_cast<int>(writer.definition.bufferSize), true);
            writer.overflowCount = 0;
        } catch (int code) {
            if (code == ErrorException) {
                state.fetch_and(~Running);
                throw;
            }
            break;
        }
    }
}

void TARNComponent::startThreaded() {
    if (!TARN::CreateThread(TARNPrivate::ComponentMainThread, this)) {
        state = (state.load() & ~Running) | InError;
        notifyState(*this);
        Error("Failed to start component main thread", 1, 0);
        return;
    }
    bool found = false;
    if (!TARN::GetBoolProperty("Engine.sequentialStart", &found) || !found) return;
    try {
        if (!Wait4Event(birthEvent, BirthLimit))
            Report("Couldn't start. Birth didn't occur correctly (3s timeout).", 0, 0);
    } catch (int code) {
        if (code == DieException)
            Report("Couldn't start. Birth didn't occur correctly (died at birth).", 0, 0);
    }
}

TARNProperty* TARNComponent::primaryThreadIdProperty() {
    return HasProperty("primaryThreadID") ? &Property("primaryThreadID") : nullptr;
}

void TARNComponent::startSequential() {
    if (TARNProperty* property = primaryThreadIdProperty()) DirectSet(*property, 0L);
    coreMutex.Lock();
    try {
        deathDone = false;
        OneMoreLife();
        Birth();
        state.fetch_and(~MainLoopEnded);
        notifyState(*this);
        for (TARNInput* input : inputs) runWaiting(*input, false);
    } catch (...) {
        ReportCurrentFailure(" (sequential)");
        dieOfFailure();
        notifyState(*this);
        return;
    }
    coreMutex.Release();
}

// ---- Running by the writers ------------------------------------------------------------

void TARNComponent::runWaiting(TARNInput& input, bool releaseAfterEachCore) {
    TARNInputImplementation& reader = implementationOf(input);
    TARNInput* const previous = sequentialInput;
    sequentialInput = &input;
    // A Core that takes nothing leaves the element there: looking again would never end
    // (a SamplingReader always finds the newest one). Each pass must consume something.
    int waiting = input.NbDataAvailableInFIFO();
    while (waiting > 0 && input.DataAvailableInFIFO()) {
        if (reader.subsamplingCounter >= reader.subsampling - 1) {
            reader.subsamplingCounter = 0;
        } else if (IsFifoReaderType(reader.readerType)) {
            StartReading(input);
            StopReading(input);
            ++reader.subsamplingCounter;
            waiting = input.NbDataAvailableInFIFO();
            continue;
        }
        PerformanceMonitoring();
        Core();
        if (releaseAfterEachCore)
            for (TARNInput* each : inputs) StopReading(*each);
        const int left = input.NbDataAvailableInFIFO();
        if (left >= waiting) break;
        waiting = left;
    }
    sequentialInput = previous;
}

void TARNComponent::SequentialCore(TARNInput* input) {
    coreMutex.Lock();
    if (deathDone || (State() & Dying)) {
        coreMutex.Release();
        return;
    }
    try {
        if (input != nullptr) runWaiting(*input, true);
    } catch (int code) {
        state.fetch_or(InError);
        if (code == TARN::TimeoutException) {
            // The component lives on in error, with no death to give back what its Core was
            // reading: it gives it back now, or its writer's shutdown would wait for it.
            for (TARNInput* each : inputs) StopReading(*each);
            coreMutex.Release();
            TARNStackedString<40> message("Component ");
            message += Name();
            message += " : Time out (deadlock?) on an input";
            TARNPrivate::KernelError(message.c_str(), 0);
        }
        if (code == DieException) {
            coreMutex.Release();
            return;
        }
        if (code != ErrorException) {
            coreMutex.Release();
            throw;
        }
        ReportCurrentFailure(" (sequential)");
        dieOfFailure();
        return;
    } catch (...) {
        state.fetch_or(InError);
        ReportCurrentFailure(" (sequential)");
        dieOfFailure();
        return;
    }
    coreMutex.Release();
}

// Called with coreMutex held; releases it.
void TARNComponent::dieOfFailure() {
    Die();
    deathDone = true;
    DeathSequence();
    coreMutex.Release();
}

int TARNComponent::ReportCurrentFailure(const char* mode) {
    const TARNStackedString<40> begin = beginning(*this);
    const char* const catchUp = " Trying to catch up but the component might crash later.";
    try {
        throw;
    } catch (int code) {
        if (code == DieException) return code;
        if (code == ErrorException) {
            TARNStackedString<40> message(begin);
            message += mode;
            message += " died due to an error.";
            TARN::ReportWarning(message.c_str(), 1);
            return code;
        }
        TARNStackedString<40> message(begin);
        message += " : Fatal error : Unhandled integer exception thrown.";
        message += catchUp;
        showFatal(message);
        return code;
    } catch (const char* text) {
        TARNStackedString<40> message(begin);
        message += " : Fatal error : Unhandled string thrown: ";
        message += text != nullptr ? text : "";
        message += catchUp;
        showFatal(message);
    } catch (const std::exception& exception) {
        TARNStackedString<40> message(begin);
        message += " : Fatal error : Unhandled std::exception thrown: ";
        message += exception.what();
        message += catchUp;
        showFatal(message);
    } catch (...) {
        TARNStackedString<40> message(begin);
        message += " : Fatal error : Unhandled exception thrown.";
        message += catchUp;
        showFatal(message);
    }
    return 0;
}

// ---- Death -------------------------------------------------------------------------------

void TARNComponent::DeathSequence() {
    LoseOneLife();
    try {
        Banzai();
    } catch (...) {
        ReportCurrentFailure("");
    }
    Wait4Death();
    CallDeath();
    Die4Good();
}

void TARNComponent::CallDeath() {
    try {
        Death();
    } catch (int code) {
        if (code == ErrorException)
            reportNamed(
                *this,
                ": TARN::ErrorException thrown from Death(). Trying to catch up. The component might crash "
                "later.",
                2, 0);
        else
            reportNamed(
                *this,
                ": unhandled integer exception thrown from Death(). Trying to catch up. The component might "
                "crash later.",
                2, 2);
    } catch (const std::exception& exception) {
        TARNStackedString<40> text(": unhandled std::exception thrown from Death() (");
        text += exception.what();
        text += "). Trying to catch up. The component might crash later.";
        reportNamed(*this, text.c_str(), 2, 2);
    } catch (...) {
        reportNamed(
            *this,
            ": unhandled exception thrown from Death(). Trying to catch up. The component might crash later.",
            2, 2);
    }
}

void TARNComponent::Die4Good() {
    for (TARNInput* input : inputs)
        if (implementationOf(*input).heldCount > 0) StopReading(*input);
    TARNStackedString<40> message("Component ");
    message += Name();
    message += " is dead.";
    TARNPrivate::Report(message.c_str(), 0, 0, true);
    RestartPeriodStatistics();
    state = (state.load() & ~(MainLoopEnded | Dying | Running)) | MainLoopEnded;
    birthEvent.Reset();
    notifyState(*this);
}

void TARNComponent::CommitSuicide() {
    Die();
    if (threaded) throw DieException;
    deathDone = true;
    DeathSequence();
}

void TARNComponent::SequentialDeath() {
    if (threaded) return;
    if (TARNProperty* property = primaryThreadIdProperty()) DirectSet(*property, -1L);
    TARNMutexGuard guard(coreMutex);
    if (deathDone) return;
    deathDone = true;
    DeathSequence();
}

// ---- Shutdown ------------------------------------------------------------------------------

namespace {

long shutdownTimeout() {
    bool found = false;
    const long timeout = TARN::GetIntegerProperty("Engine.shutdownTimeout", &found);
    return found && timeout >= 0 ? timeout : DefaultShutdownTimeout;
}

// A time-out as the shutdown reports tell it: "10 seconds", "1 second", "50000 microseconds".
TARNStackedString<40> durationText(long microseconds) {
    TARNStreamedString text;
    if (microseconds >= 1'000'000 && microseconds % 1'000'000 == 0)
        text << microseconds / 1'000'000 << (microseconds == 1'000'000 ? " second" : " seconds");
    else
        text << microseconds << (microseconds == 1 ? " microsecond" : " microseconds");
    return TARNStackedString<40>(text.c_str());
}

}  // namespace

void TARNComponent::Shutdown() {
    ShutdownWithin(shutdownTimeout());
}

// Timed on the steady clock, not the engine's: the engine's clock may stand still (a test
// drives it by hand) while a shutdown waits.
void TARNComponent::ShutdownWithin(long timeout) {
    Die();
    SequentialDeath();

    // The time-out bounds every wait of the shutdown: one that meets a Core that never
    // returns (a kill in progress) gives up after it too.
    if (timeout < 0) timeout = 0;
    const auto deadline = TARNPrivate::SteadyDeadline(timeout);
    while ((State() & MainLoopEnded) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            TARNStackedString<40> message("Component ");
            message += Name();
            message += " refuses to die after ";
            message += durationText(timeout);
            message += ". The component model ";
            message += definition.name != nullptr ? definition.name : "";
            message += " must be bugged.";
            TARNPrivate::Report(message.c_str(), 1, 1, true);
            // Its Core may still be writing into the buffers and reading what it holds.
            notifyState(*this);
            return;
        }
        TARN::Wait4AWhile();
    }

    CleanUp();
    releaseRingsAndBuffers(timeout);
    notifyState(*this);
}

void TARNComponent::releaseRingsAndBuffers(long timeout) {
    const auto deadline = TARNPrivate::SteadyDeadline(timeout);
    TARNMutexGuard guard(moduleLock);
    bool everyRingFree = true;
    for (TARNOutput* output : outputs) {
        // A reader of another module still running may hold an element: its buffer must
        // outlive that use, so this output keeps its buffers until a later release.
        if (awaitReadersGone(*output, TARNPrivate::MicrosecondsLeft(deadline))) continue;
        everyRingFree = false;
        TARNStackedString<40> message("A reader still holds an element of ");
        message += implementationOf(*output).fullName;
        message += ": its buffers are kept.";
        Report(message.c_str(), 1, 0);
    }
    if (everyRingFree) {
        FreeBuffers();
    } else {
        for (TARNOutput* output : outputs) {
            TARNOutputImplementation& writer = implementationOf(*output);
            if (writer.ring == nullptr || !writer.ring->IsBeingRead()) writer.FreeBuffer();
        }
    }
    lastLifeNotReleased = !everyRingFree;
}

bool TARNComponent::awaitReadersGone(TARNOutput& output, long timeout) {
    TARNOutputImplementation& writer = implementationOf(output);
    if (writer.ring == nullptr) return true;
    const auto deadline = TARNPrivate::SteadyDeadline(timeout);
    // A reader cut off from the graph gives back what it holds when its Core goes on, which
    // may be never: those elements are left to it (the output's FreeBuffer keeps the block
    // under them), and neither this release nor the next life waits for them.
    while (!writer.ring->FreeAllSlots(true)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        TARN::Wait4AWhile();
    }
    TARNMutexGuard guard(writer.writingLock);
    writer.beingWritten.clear();
    return true;
}

int TARNComponent::CleanUp() {
    TARNMutexGuard guard(moduleLock);
    for (TARNInput* input : inputs) {
        TARNInputImplementation& reader = implementationOf(*input);
        {
            // Dropped, an element held since a detach would stay out of its writer's reach.
            TARNMutexGuard held(reader.mutex);
            reader.GiveBackDetached();
        }
        reader.heldPositions.clear();
        reader.heldCount = 0;
        reader.subsamplingCounter = 0;
    }
    for (TARNOutput* output : outputs) awaitReadersGone(*output, 0);
    state.fetch_and(~Dying);
    return static_cast<int>(State());
}

// ---- Extra threads ---------------------------------------------------------------------------

void TARNComponent::CreateThread(void (TARNModule::*function)()) {
    bool started = false;
    ThreadStart start{this, function, &started};
    if (!TARN::CreateThread(TARNPrivate::ComponentThread, &start)) {
        Error("Failed to create a component thread that runs a member function", 1, 0);
        return;
    }
    while (!__atomic_load_n(&started, __ATOMIC_ACQUIRE)) TARN::Wait4AWhile();
}

TARNCouple<bool, unsigned long> TARNComponent::CreateThread(void (*function)(void*), void* argument) {
    bool found = false;
    TARN::GetStringProperty("Engine.version", &found);
    if (!found) {
        Error(
            "This component needs to create a component thread that runs a non-member function. Your engine "
            "version does NOT support creating component threads that run non-member functions. Either "
            "update "
            "your engine to Tarnvel >= 4.7.0 or change this component's code to use "
            "TARNComponent::CreateThread(TARNThreadFunction) instead of "
            "TARNComponent::CreateThread(TARNThreadFreeFunction, void*)",
            1, 0);
        return {false, 0};
    }
    bool started = false;
    bool created = false;
    unsigned long threadId = 0;
    FreeThreadStart start{nullptr, 1, 0, &started, &created, &threadId, this, function, argument};
    if (!TARN::CreateThread(TARNPrivate::ComponentThread, &start)) {
        Error("Failed to create a component thread that runs a non-member function", 1, 0);
        return {false, 0};
    }
    while (!__atomic_load_n(&started, __ATOMIC_ACQUIRE)) TARN::Wait4AWhile();
    return {created, threadId};
}
