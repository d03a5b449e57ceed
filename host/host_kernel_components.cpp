// The host kernel's side of the component life cycle: making components of the known
// models, starting, stopping, killing, renaming and connecting them by name, and the bodies
// of the threads the SDK asks the engine to run.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "engine/symbol_record.hpp"
#include "runtime/steady_deadline.hpp"
#include "host_kernel.hpp"
#include "host_package.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/runtime/thread.hpp"

namespace {

// The kind of the symbol the host registers for a component's name.
constexpr int ComponentSymbol = 5;
// The step of the host's polls of a component's state.
constexpr long StatePoll = 1'000;  // microseconds

std::string nameOf(const TARNModuleBase& module) {
    return module.Name() != nullptr ? module.Name() : "";
}

}  // namespace

// --- Models and components -----------------------------------------------------------

bool HostKernel::AddModel(TARNComponentDefinition& definition) {
    return m_components.AddModel(definition);
}

long HostKernel::ShutdownTimeout() {
    bool found = false;
    const long timeout = GetIntegerProperty("Engine.shutdownTimeout", &found);
    return found && timeout >= 0 ? timeout : 10'000'000;
}

std::chrono::steady_clock::time_point HostKernel::ShutdownDeadline() {
    return TARNPrivate::SteadyDeadline(ShutdownTimeout());
}

TARNComponent* HostKernel::FindComponent(const char* name) {
    return name != nullptr && !onAnotherKernelsThread() ? m_components.Find(name) : nullptr;
}

// The model's factory runs with this kernel reached by the package's own copy of the SDK
// (bound by its TARNPckInit); a failure of the constructor has been reported by it and
// ends here.
bool HostKernel::CreateComponent(const char* model, const char* name, bool) {
    if (model == nullptr || name == nullptr || onAnotherKernelsThread()) return false;
    TARNComponentDefinition* definition = m_components.Model(model);
    if (definition == nullptr) {
        Report(("There is no component model " + std::string(model) + ".").c_str(), 2, 0, true);
        return false;
    }
    // A model filed without a factory is listed like any other: say why it makes nothing.
    if (definition->factory == nullptr) {
        Report(("Can't create component " + std::string(name) + ": the model " + model +
                " has no factory (its record's .factory is null).")
                   .c_str(),
               2, 0, true);
        return false;
    }
    if (FindSymbol(name) != nullptr) {
        Report(("Can't create component " + std::string(name) + ". The name is already used.").c_str(), 2, 0,
               true);
        return false;
    }
    // An engine counts the tables once it has the definition; up to then a table may still
    // say NotCounted, which means "count up to the all-zero record".
    definition->CountRecords();
    TARNModuleBase* made = nullptr;
    try {
        made = definition->factory(name, *definition);
    } catch (...) {
        made = nullptr;
    }
    if (made == nullptr) {
        Report(("Can't create component " + std::string(name) + " of model " + model + ".").c_str(), 2, 0,
               true);
        return false;
    }
    auto* component = static_cast<TARNComponent*>(made);
    // The component's destructor gives its name back with its elements' names.
    registerElement(name, ComponentSymbol, component, component);
    m_components.Add(name, component);
    // As the engine does once a component exists: a model that declares its elements in
    // Dynamic() (the component bases do) has none until it runs. This also notifies the
    // component's state.
    component->CallDynamic();
    return true;
}

bool HostKernel::StartComponent(const char* name) {
    TARNComponent* component = FindComponent(name);
    if (component == nullptr) {
        Report(("There is no component " + std::string(name ? name : "") + ".").c_str(), 2, 0, true);
        return false;
    }
    if (m_components.IsKilled(component)) return false;
    try {
        component->Start();
    } catch (int) {
        // A refused start was reported by the component.
        return false;
    }
    return (component->State() & TARNModule::InError) == 0;
}

bool HostKernel::ShutdownComponent(const char* name) {
    const long timeout = ShutdownTimeout();
    return shutDownComponent(name, TARNPrivate::SteadyDeadline(timeout), timeout);
}

bool HostKernel::ShutdownComponent(const char* name, std::chrono::steady_clock::time_point deadline) {
    return shutDownComponent(name, deadline, TARNPrivate::MicrosecondsLeft(deadline));
}

bool HostKernel::shutDownComponent(const char* name, std::chrono::steady_clock::time_point deadline,
                                   long timeout) {
    TARNComponent* component = FindComponent(name);
    if (component == nullptr) return false;
    if (m_components.IsKilled(component)) {
        // Its Core may still run: only a component whose threads ended is shut down.
        if (!m_components.AwaitThreadsEnded(component, 0)) return false;
    }
    component->ShutdownWithin(timeout);
    if (!m_components.AwaitThreadsEnded(component, deadline)) {
        Report(("Some threads of component " + std::string(name) + " still run after its shutdown.").c_str(),
               1, 0, true);
        return false;
    }
    return true;
}

// Dying ends every blocking call of the component; a Core that makes none cannot be ended
// from outside. Such a component is cut off from the graph, so that the others stop
// without it, and left to end its Core by itself: its thread then runs its death, and
// its destruction waits for that. A component run by its writers has no thread to run its
// death: it dies here, as soon as no writer runs its Core.
bool HostKernel::KillComponent(const char* name) {
    TARNComponent* component = FindComponent(name);
    if (component == nullptr) return false;
    component->Die();
    // On the steady clock: the kernel's may stand still.
    const auto deadline = ShutdownDeadline();
    while ((component->State() & TARNModule::MainLoopEnded) == 0 &&
           std::chrono::steady_clock::now() <= deadline) {
        // Once dying, a writer's call returns without running Core: with none inside it
        // now, the death waits for nobody.
        if (!component->threaded && component->coreMutex.TryLock()) {
            component->coreMutex.Release();
            component->SequentialDeath();
            continue;
        }
        TARN::Sleep(StatePoll);
    }
    if (component->State() & TARNModule::MainLoopEnded) return ShutdownComponent(name);
    m_components.MarkKilled(component);
    detachAll(*component);
    Report(("Component " + std::string(name) +
            " does not end its Core: it is killed and cut off from the graph, and destroyed once its Core "
            "returns.")
               .c_str(),
           2, 0, true);
    return true;
}

void HostKernel::detachAll(TARNComponent& component) {
    std::vector<std::pair<TARNOutput*, TARNInput*>> connections;
    {
        TARNMutexGuard guard(component.moduleLock);
        for (TARNInput* input : component.inputs)
            if (TARNOutput* output = input->ConnectedOutput()) connections.emplace_back(output, input);
        for (TARNOutput* output : component.outputs) {
            auto& writer = static_cast<TARNOutputImplementation&>(*output);
            TARNMutexGuard list(writer.inputListLock);
            for (TARNInput* input : writer.connectedInputs) connections.emplace_back(output, input);
        }
    }
    for (auto& [output, input] : connections) Detach(*output, *input);
}

bool HostKernel::DestroyComponent(const char* name) {
    return DestroyComponent(name, ShutdownDeadline());
}

// A killed component's Core may still run: it is shut down only once its threads ended.
bool HostKernel::DestroyComponent(const char* name, std::chrono::steady_clock::time_point deadline) {
    TARNComponent* component = FindComponent(name);
    if (component == nullptr) return false;
    if (!m_components.IsKilled(component)) shutDownUnlessAtRest(*component, deadline);
    if (!m_components.AwaitThreadsEnded(component, deadline)) {
        leaveBehind(*component);
        return false;
    }
    shutDownUnlessAtRest(*component, deadline);
    destroy(*component, deadline);
    return true;
}

void HostKernel::shutDownUnlessAtRest(TARNComponent& component,
                                      std::chrono::steady_clock::time_point deadline) {
    if ((component.State() & (TARNModule::Running | TARNModule::Dying)) != 0 ||
        (component.State() & TARNModule::MainLoopEnded) == 0)
        component.ShutdownWithin(TARNPrivate::MicrosecondsLeft(deadline));
}

void HostKernel::destroy(TARNComponent& component, std::chrono::steady_clock::time_point deadline) {
    detachAll(component);
    awaitElementsGivenBack(component, deadline);
    m_components.Remove(&component);
    // Nobody finds the component by its names any more, and the readers by name that found
    // it before are out, before any of its destructors runs.
    component.UnregisterNames();
    delete &component;
}

// Its thread still runs the component's code and may still read the elements it holds, of
// rings whose owners may be gone: the component stays, cut off as a kill cuts it off, and
// so do the packages (KeepLoadedForLeftBehind), until the kernel's end. Its names do not:
// the graph may be built again meanwhile, with a component of the same name. Given up
// here, they are not given up again when the component is destroyed, which would take
// them from that component.
void HostKernel::leaveBehind(TARNComponent& component) {
    const std::string name = nameOf(component);
    m_components.MarkKilled(&component);
    detachAll(component);
    m_components.LeaveBehind(&component);
    component.UnregisterNames();
    Report(("Component " + name +
            " still runs its Core after the shutdown time-out: it is left behind undestroyed, with the "
            "packages loaded, until the host ends.")
               .c_str(),
           2, 0, true);
}

void HostKernel::KeepLoadedForLeftBehind(std::unique_ptr<HostPackage> package) {
    std::lock_guard lock(m_keptPackagesLock);
    m_keptPackages.push_back(std::move(package));
}

// A component left behind whose threads end by the deadline is destroyed; one that still
// runs then is left to the process's end with the packages, which are never unloaded: its
// thread is in their code. The gate is shut on all those at once, so that their threads,
// once back from their Cores, touch nothing of this kernel, which may be gone by then. A
// thread that came back before runs its death to the end first, and the other threads of
// its component still come in meanwhile (its death waits for them).
void HostKernel::destroyLeftBehind(std::chrono::steady_clock::time_point deadline) {
    const std::vector<TARNComponent*> leftBehind = m_components.LeftBehind();
    std::vector<const void*> stuck;
    for (TARNComponent* component : leftBehind)
        if (!m_components.AwaitThreadsEnded(component, deadline)) stuck.push_back(component);
    if (!stuck.empty()) m_gate->Abandon(stuck);
    std::vector<TARNComponent*> running;
    for (TARNComponent* component : leftBehind) {
        if (m_components.Threads(component) == 0) {
            shutDownUnlessAtRest(*component, deadline);
            destroy(*component, deadline);
            continue;
        }
        running.push_back(component);
        Report(("Component " + nameOf(*component) +
                " still runs its Core as the host ends: it is never destroyed, and the packages never "
                "unloaded.")
                   .c_str(),
               2, 0, true);
    }
    std::vector<std::unique_ptr<HostPackage>> packages;
    {
        std::lock_guard lock(m_keptPackagesLock);
        packages.swap(m_keptPackages);
    }
    if (running.empty()) return;
    // Reachable for good: no unloading ever runs under those threads, and the components
    // they run, never destroyed, are kept rather than lost.
    static std::mutex keptLock;
    static auto* neverUnloaded = new std::vector<std::unique_ptr<HostPackage>>;
    static auto* neverDestroyed = new std::vector<TARNComponent*>;
    std::lock_guard lock(keptLock);
    for (auto& package : packages) neverUnloaded->push_back(std::move(package));
    neverDestroyed->insert(neverDestroyed->end(), running.begin(), running.end());
}

// A reader cut off from the graph while it held elements of this component's outputs
// gives them back when its Core goes on, which may be never. The destruction gives it
// until its deadline to do so, then goes on: the outputs leave those elements, their ring
// slots and the buffers under them to the reader, freed when it gives them back (or when
// the package unloads).
void HostKernel::awaitElementsGivenBack(TARNComponent& component,
                                        std::chrono::steady_clock::time_point deadline) {
    auto anyHeld = [&] {
        TARNMutexGuard guard(component.moduleLock);
        for (TARNOutput* output : component.outputs) {
            auto& writer = static_cast<TARNOutputImplementation&>(*output);
            if (writer.ring != nullptr && writer.ring->HasLeavingReaders()) return true;
        }
        return false;
    };
    while (anyHeld() && std::chrono::steady_clock::now() < deadline) TARN::Sleep(StatePoll);
    if (!anyHeld()) return;
    Report(("Readers cut off from component " + nameOf(component) +
            " still hold elements of its outputs after the shutdown time-out: the component is destroyed, "
            "and they keep those elements until they give them back.")
               .c_str(),
           2, 0, true);
}

bool HostKernel::nameTaken(const std::string& name) {
    std::lock_guard lock(m_symbolLock);
    if (m_symbols.count(name) != 0) return true;
    const std::string prefix = name + ".";
    auto next = m_symbols.lower_bound(prefix);
    return next != m_symbols.end() && next->first.compare(0, prefix.size(), prefix) == 0;
}

// Only a component at rest is renamed: a running one (a killed one too, whose Core may still
// run) names itself in its reports and state notices from its own threads. The new name
// must be free for the component and for each of its elements.
bool HostKernel::RenameComponent(const char* oldName, const char* newName) {
    TARNComponent* component = FindComponent(oldName);
    if (component == nullptr) {
        Report(("There is no component " + std::string(oldName ? oldName : "") + ".").c_str(), 2, 0, true);
        return false;
    }
    // A copy: the old name may be the component's own, which the rename replaces.
    const std::string from = oldName;
    const std::string refusal = "Can't rename component " + from + " to " + (newName ? newName : "") + ". ";
    if ((component->State() & (TARNModule::Running | TARNModule::Dying)) != 0) {
        Report((refusal + "It is running: stop it first.").c_str(), 2, 0, true);
        return false;
    }
    if (newName == nullptr || *newName == '\0') {
        Report((refusal + "A component needs a name.").c_str(), 2, 0, true);
        return false;
    }
    if (nameTaken(newName) || !m_components.Rename(from, newName)) {
        Report((refusal + "The name is already used.").c_str(), 2, 0, true);
        return false;
    }
    component->Rename(from.c_str(), newName);
    // The component renamed its elements and its list of names; the table follows.
    const std::string prefix = from + ".";
    std::lock_guard lock(m_symbolLock);
    std::vector<std::pair<std::string, TARNSymRec*>> moved;
    for (auto entry = m_symbols.begin(); entry != m_symbols.end();) {
        if (entry->first == from || entry->first.compare(0, prefix.size(), prefix) == 0) {
            moved.emplace_back(newName + entry->first.substr(from.size()), entry->second);
            entry = m_symbols.erase(entry);
        } else {
            ++entry;
        }
    }
    for (auto& [name, record] : moved) {
        free(record->name);
        record->name = strdup(name.c_str());
        m_symbols[name] = record;
    }
    return true;
}

// --- Connections by path -------------------------------------------------------------

bool HostKernel::splitPath(const char* path, std::string& module, std::string& element) {
    if (path == nullptr) return false;
    const std::string text = path;
    const auto point = text.find('.');
    if (point == std::string::npos || point == 0 || point + 1 == text.size()) return false;
    module = text.substr(0, point);
    // Output names may hold points of their own: only the first one ends the module name.
    element = text.substr(point + 1);
    return true;
}

bool HostKernel::findEnds(const char* outputPath, const char* inputPath, TARNOutput*& output,
                          TARNInput*& input) {
    std::string writerName, outputName, readerName, inputName;
    if (!splitPath(outputPath, writerName, outputName) || !splitPath(inputPath, readerName, inputName)) {
        Report(("Can't connect " + std::string(outputPath ? outputPath : "") + " to " +
                (inputPath ? inputPath : "") + ": a path is \"module.element\".")
                   .c_str(),
               2, 0, true);
        return false;
    }
    TARNComponent* writer = FindComponent(writerName.c_str());
    TARNComponent* reader = FindComponent(readerName.c_str());
    if (writer == nullptr || reader == nullptr || !writer->HasOutput(outputName.c_str()) ||
        !reader->HasInput(inputName.c_str())) {
        Report(
            ("Can't connect " + std::string(outputPath) + " to " + inputPath + ": no such output or input.")
                .c_str(),
            2, 0, true);
        return false;
    }
    output = &writer->Output(outputName.c_str());
    input = &reader->Input(inputName.c_str());
    return true;
}

bool HostKernel::AttachPaths(const char* outputPath, const char* inputPath) {
    TARNOutput* output = nullptr;
    TARNInput* input = nullptr;
    // Attach says why it refuses.
    return findEnds(outputPath, inputPath, output, input) && Attach(*output, *input);
}

// The variant moves an input that is connected already: it is detached from its output
// first, once the new connection is known to be taken, so that a refused move leaves it
// where it was.
bool HostKernel::AttachPathsVariant(const char* outputPath, const char* inputPath) {
    TARNOutput* output = nullptr;
    TARNInput* input = nullptr;
    if (!findEnds(outputPath, inputPath, output, input) || attachRefused(*output, *input, true)) return false;
    if (TARNOutput* connected = input->ConnectedOutput()) Detach(*connected, *input);
    // Attach says why it refuses.
    return Attach(*output, *input);
}

// --- Thread bodies -------------------------------------------------------------------

namespace {

// The module the calling thread runs for, set by the thread bodies; null on every other
// thread.
thread_local const void* runningFor = nullptr;
// The gate of the kernel whose thread body runs the calling thread, set with `runningFor`;
// null on every other thread. The thread holds that gate to its end, so that no other
// kernel's gate lies at its address meanwhile.
thread_local const HostThreadGate* runningUnder = nullptr;

}  // namespace

bool HostKernel::onLeftBehindThread() const {
    return runningFor != nullptr && m_components.IsLeftBehind(static_cast<const TARNComponent*>(runningFor));
}

bool HostKernel::onAnotherKernelsThread() const {
    return runningUnder != nullptr && runningUnder != m_gate.get();
}

bool HostKernel::ignoresCallingThread() const {
    return onAnotherKernelsThread() || onLeftBehindThread();
}

// The life is counted before the start is announced: once CreateThread returns, a
// shutdown waiting for the module's threads waits for this one too. The start record lies
// on the creator's stack and is not touched after the flag is set.
template <class Body>
void HostKernel::runModuleThread(TARNModule* module, bool* started, Body body) {
    // The thread's own hold on the gate: the kernel may end while `body` runs.
    const std::shared_ptr<HostThreadGate> gate = m_gate;
    runningFor = module;
    runningUnder = gate.get();
    m_components.ThreadBegins(module);
    module->OneMoreLife();
    __atomic_store_n(started, true, __ATOMIC_RELEASE);

    std::string failure;
    try {
        body();
    } catch (int code) {
        // 57005 is a dying module unwinding, -5 an error already reported.
        if (code != TARNModule::DieException && code != TARNModule::ErrorException)
            failure = "the integer " + std::to_string(code);
    } catch (const std::exception& exception) {
        failure = exception.what();
    } catch (...) {
        failure = "an unknown exception";
    }
    // Left behind by the kernel's end, the thread ends here: the kernel may be gone.
    if (!gate->Enter(module)) return;
    if (!failure.empty()) {
        const std::string message = "A thread of module " + nameOf(*module) + " ended by " + failure + ".";
        Report(message.c_str(), 2, 0, true);
    }
    module->LoseOneLife();
    m_components.ThreadEnds(module);
    gate->Leave(module);
}

void* HostKernel::ModuleThread(void* argument) {
    auto* start = static_cast<TARNModule::ThreadStart*>(argument);
    TARNModule* module = start->module;
    void (TARNModule::*function)() = start->function;
    runModuleThread(module, start->started, [&] { (module->*function)(); });
    return nullptr;
}

// The two forms differ by their first word: the member form's module, or 0.
void* HostKernel::ComponentThread(void* argument) {
    if (argument == nullptr) return nullptr;
    if (*static_cast<void**>(argument) != nullptr) return ModuleThread(argument);
    auto* start = static_cast<TARNComponent::FreeThreadStart*>(argument);
    TARNModule* module = start->module;
    void (*function)(void*) = start->function;
    void* functionArgument = start->argument;
    *start->created = true;
    *start->threadId = TARN::GetCurrentThreadId();
    runModuleThread(module, start->started, [&] { function(functionArgument); });
    return nullptr;
}

void* HostKernel::ComponentMainThread(void* argument) {
    auto* component = static_cast<TARNComponent*>(argument);
    // The thread's own hold on the gate: the kernel may end while the component's code runs.
    const std::shared_ptr<HostThreadGate> gate = m_gate;
    runningFor = component;
    runningUnder = gate.get();
    m_components.ThreadBegins(component);
    // Left behind by the kernel's end, the thread ends at once: the kernel may be gone.
    if (!runComponentLife(*component, *gate)) return nullptr;
    m_components.ThreadEnds(component);
    gate->Leave(component);
    return nullptr;
}

// Birth and the Core loop are the component's code, which may never return: the thread
// comes back into the kernel through the gate after each, and stays in after the loop.
bool HostKernel::runComponentLife(TARNComponent& component, HostThreadGate& gate) {
    component.OneMoreLife();
    std::exception_ptr failure;
    try {
        component.Birth();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!gate.Enter(&component)) return false;
    if (!failure) {
        ModuleStateChanged(component.Name(), component.State());
        component.birthEvent.Set();
    }
    gate.Leave(&component);
    try {
        while (!failure && (component.State() & TARNModule::Dying) == 0) {
            component.PerformanceMonitoring();
            component.Core();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!gate.Enter(&component)) return false;
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (...) {
            // 57005 is the component dying; everything else is told.
            component.ReportCurrentFailure("");
        }
    }
    // The component's other threads unwind too before its death waits for them.
    component.Die();
    component.DeathSequence();
    return true;
}
