#include "host_kernel.hpp"

#include <cstring>

#include "engine/symbol_record.hpp"
#include "host_engine_module.hpp"
#include "host_package.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

// What the threads another kernel runs for its components are handed when they ask for the
// kernel's clock, waits and locks: objects of no kernel, which live as long as the process,
// so that such a thread waits, arms its triggers and locks apart from this kernel's
// components, reaches no recorder, and goes on after this kernel's end.
struct NoKernels {
    HostEngineTime time;
    HostEventService events{time};
    TARNEvent shutdown;
    TARNMutex globalMutex;
};

NoKernels& noKernels() {
    // Never destroyed: a thread left behind may use it up to the process's end.
    static NoKernels* const own = new NoKernels;
    return *own;
}

}  // namespace

HostEngineTime& HostKernel::callersTime() {
    return onAnotherKernelsThread() ? noKernels().time : m_time;
}

HostKernel::HostKernel() : m_events(m_time) {
    createEngineModule();
}

HostKernel::~HostKernel() {
    {
        // The components go first, newest first, each after its threads: their elements
        // are registered here and their threads use this kernel. One deadline for all of
        // them, those left behind before included. Every running one is told to die before
        // the end waits for any, as a graph's end does: they all end side by side, so that
        // one stuck in its Core takes no time from those beside it.
        KernelBinding binding(this);
        const auto deadline = ShutdownDeadline();
        std::vector<std::string> names = m_components.Names();
        for (const std::string& name : names)
            if (TARNComponent* component = m_components.Find(name))
                if ((component->State() & TARNModule::Running) != 0) component->Die();
        for (auto name = names.rbegin(); name != names.rend(); ++name)
            DestroyComponent(name->c_str(), deadline);
        destroyLeftBehind(deadline);
    }
    // A module thread's body reaches this kernel until its very end, after its module
    // already counts it gone. A component left behind that still runs is the one exception:
    // the process is to end before its Core returns.
    m_components.AwaitAllThreadsEnded();
    destroyEngineModule();
    for (auto& [name, record] : m_symbols) delete record;
}

// --- For the host and its tests ------------------------------------------------------

void HostKernel::SetRecorder(HostRecorder* recorder) {
    {
        std::lock_guard lock(m_recorderLock);
        m_recorder = recorder;
    }
    m_events.SetRecorder(recorder);
}

void HostKernel::EchoReports(std::ostream* out, std::ostream* errors) {
    std::lock_guard lock(m_reportLock);
    m_echoOut = out;
    m_echoErrors = errors;
}

void HostKernel::EchoLine(const std::string& line, bool toErrors) {
    std::lock_guard lock(m_reportLock);
    std::ostream* stream = toErrors ? m_echoErrors : m_echoOut;
    if (stream) *stream << line << std::flush;
}

std::string HostKernel::Format(const HostReport& report) {
    static const char* const prefixes[] = {"info: ", "warning: ", "error: "};
    std::string text = report.level >= 0 && report.level <= 2 ? prefixes[report.level] : "report: ";
    text += report.message;
    if (report.parameter != 0) text += " (" + std::to_string(report.parameter) + ")";
    return text;
}

void HostKernel::SetCheckLevel(int level) {
    std::lock_guard lock(m_stateLock);
    m_checkLevel = level;
}

long HostKernel::ChangesOpened() const {
    std::lock_guard lock(m_stateLock);
    return m_changesOpened;
}

long HostKernel::ChangesClosed() const {
    std::lock_guard lock(m_stateLock);
    return m_changesClosed;
}

std::map<std::string, unsigned int> HostKernel::ModuleStates() const {
    std::lock_guard lock(m_stateLock);
    return m_moduleStates;
}

void HostKernel::notProvided(const char* operation) {
    {
        std::lock_guard lock(m_reportLock);
        if (!m_notProvided.insert(operation).second) return;
    }
    const std::string message = std::string("The host kernel does not provide ") + operation;
    Report(message.c_str(), 1, 0, true);
}

// --- Reports -------------------------------------------------------------------------

// Printed as it comes and handed to the recorder, never kept here: a long run must not grow.
// A component left behind reports nothing: it has given up its name, which its reports
// carry and another component may hold now; and another kernel's components are not this
// kernel's to report.
void HostKernel::Report(const char* message, int level, int parameter, bool fromEngine) {
    if (ignoresCallingThread()) return;
    const HostReport report{message ? message : "", level, parameter, fromEngine};
    {
        std::lock_guard lock(m_reportLock);
        std::ostream* stream = level >= 2 ? m_echoErrors : m_echoOut;
        if (stream) *stream << Format(report) << std::endl;
    }
    record([&](HostRecorder& recorder) { recorder.AddReport(report); });
}

// --- Symbols -------------------------------------------------------------------------

// Both ends of a bracket come from the same thread, and are taken or ignored alike.
void HostKernel::BeginChange(const char* reason) {
    if (ignoresCallingThread()) return;
    {
        std::lock_guard lock(m_stateLock);
        ++m_changesOpened;
    }
    record([&](HostRecorder& recorder) { recorder.AddChangeReason(reason ? reason : ""); });
}

void HostKernel::EndChange() {
    if (ignoresCallingThread()) return;
    std::lock_guard lock(m_stateLock);
    ++m_changesClosed;
}

// Another kernel's component finds nothing here: what it found would be this kernel's.
TARNSymRec* HostKernel::FindSymbol(const char* fullName) {
    if (!fullName || onAnotherKernelsThread()) return nullptr;
    std::lock_guard lock(m_symbolLock);
    auto found = m_symbols.find(fullName);
    return found == m_symbols.end() ? nullptr : found->second;
}

// A component left behind has given up its names and takes no new one.
TARNSymRec* HostKernel::RegisterSymbol(const char* name, int kind) {
    if (!name || ignoresCallingThread()) return nullptr;
    std::lock_guard lock(m_symbolLock);
    auto [position, added] = m_symbols.try_emplace(name, nullptr);
    if (!added) return nullptr;
    auto* record = new TARNSymRec;
    record->name = strdup(name);
    record->kind = kind;
    position->second = record;
    m_unconfirmed = record;
    return record;
}

void HostKernel::ConfirmSymbol() {
    if (ignoresCallingThread()) return;
    std::lock_guard lock(m_symbolLock);
    m_unconfirmed = nullptr;
}

void HostKernel::UnregisterSymbol(const char* fullName) {
    if (!fullName || ignoresCallingThread()) return;
    std::lock_guard lock(m_symbolLock);
    auto found = m_symbols.find(fullName);
    if (found == m_symbols.end()) return;
    if (m_unconfirmed == found->second) m_unconfirmed = nullptr;
    delete found->second;
    m_symbols.erase(found);
}

void HostKernel::LockSymbols() {
    m_symbolLock.lock();
}
void HostKernel::UnlockSymbols() {
    m_symbolLock.unlock();
}

// Notices: the engine updates its own model of the graph when a component makes or removes
// an input or output. The host keeps no such model (it attaches inputs and outputs by
// their modules), so there is nothing to do, nothing missing and nothing to warn of: every
// component that makes elements calls these. Every name is accepted.
bool HostKernel::RegisterInput(TARNInput*) {
    return true;
}
bool HostKernel::RegisterOutput(TARNOutput*) {
    return true;
}
void HostKernel::RecorderInputCreated(const char*, const char*) {}
void HostKernel::OutputCreated(const char*, const char*, const char*, int) {}
void HostKernel::SetRemovalNoticeHook(std::function<void(const char*)> hook) {
    std::lock_guard lock(m_stateLock);
    m_removalNoticeHook = std::move(hook);
}

void HostKernel::removalNotice(const char* fullName) {
    std::function<void(const char*)> hook;
    {
        std::lock_guard lock(m_stateLock);
        hook = m_removalNoticeHook;
    }
    // Outside the lock: the hook may throw or call back into the kernel.
    if (hook) hook(fullName);
}

void HostKernel::InputRemoving(const char* fullName) {
    if (!ignoresCallingThread()) removalNotice(fullName);
}
void HostKernel::OutputRemoving(const char* fullName) {
    if (!ignoresCallingThread()) removalNotice(fullName);
}

TARNStackedString<40> HostKernel::GetGlobalConfigValue(const char*) {
    notProvided("GetGlobalConfigValue");
    return TARNStackedString<40>();
}

// --- Graph control -------------------------------------------------------------------

void HostKernel::SynchronizationCommand(int command) {
    if (ignoresCallingThread()) return;
    record([&](HostRecorder& recorder) { recorder.AddSynchronizationCommand(command); });
}
// Nothing to let go of: the host owns the kernel and outlives every package it loads.
void HostKernel::Exit() {}
void HostKernel::Release() {}
bool HostKernel::Parse(const char*) {
    notProvided("Parse");
    return false;
}
bool HostKernel::ParseFile(const char*) {
    notProvided("ParseFile");
    return false;
}
bool HostKernel::AsynchParse(const char*) {
    notProvided("AsynchParse");
    return false;
}
bool HostKernel::AsynchParseFile(const char*) {
    notProvided("AsynchParseFile");
    return false;
}
void HostKernel::Run() {
    notProvided("Run");
}
void HostKernel::Shutdown() {
    if (onAnotherKernelsThread()) return;
    m_shutdown.Set();
}
void HostKernel::Reset() {
    notProvided("Reset");
}
bool HostKernel::RegisterPackage(const char*, const char*) {
    notProvided("RegisterPackage");
    return false;
}
bool HostKernel::UnregisterPackage(const char*) {
    notProvided("UnregisterPackage");
    return false;
}
void HostKernel::RegisterStandardPackages() {
    notProvided("RegisterStandardPackages");
}
bool HostKernel::LoadCoreFunction(const char*, const char*) {
    notProvided("LoadCoreFunction");
    return false;
}
bool HostKernel::UnloadCoreFunction(const char*) {
    notProvided("UnloadCoreFunction");
    return false;
}
// The host runs no graph of its own: it runs one while any of its components runs.
int HostKernel::GetState() {
    for (const std::string& name : m_components.Names())
        if (TARNComponent* component = m_components.Find(name))
            if ((component->State() & TARNModule::Running) != 0) return TARN::EngineRunning;
    return TARN::EngineStopped;
}

int HostKernel::CheckLevel() {
    std::lock_guard lock(m_stateLock);
    return m_checkLevel;
}

bool HostKernel::IsDistributedAsMaster() {
    return false;
}
bool HostKernel::IsDistributedAsSlave() {
    return false;
}
void HostKernel::About(TARNStackedString<40>& text) {
    text = "tarnhost, a stand-in for the engine";
}
TARNMutex* HostKernel::GlobalOSMutex() {
    return onAnotherKernelsThread() ? &noKernels().globalMutex : &m_globalMutex;
}

// --- Recording and replay: the host neither records nor replays ---------------------

int HostKernel::GetKeysState() {
    notProvided("GetKeysState");
    return 0;
}
unsigned long HostKernel::UpdateKeys() {
    notProvided("UpdateKeys");
    return 0;
}
void HostKernel::InitializeSession() {
    notProvided("InitializeSession");
}
void HostKernel::StopSendingData() {
    notProvided("StopSendingData");
}
void HostKernel::StopReplaying() {
    notProvided("StopReplaying");
}
bool HostKernel::Replay(const char*) {
    notProvided("Replay");
    return false;
}
bool HostKernel::Copy(const char*, const char*) {
    notProvided("Copy");
    return false;
}
void HostKernel::UpdateTimestamp() {
    notProvided("UpdateTimestamp");
}
void HostKernel::SetRecording(bool on) {
    if (onAnotherKernelsThread()) return;
    m_recording.store(on);
}
void HostKernel::FromNowOnDataAreUnsorted() {
    notProvided("FromNowOnDataAreUnsorted");
}
TARNEvent* HostKernel::GetShutdownEvent() {
    return onAnotherKernelsThread() ? &noKernels().shutdown : &m_shutdown;
}
bool HostKernel::RecordTo(const char*, const char*, const char*, bool, bool) {
    notProvided("RecordTo");
    return false;
}
bool HostKernel::IsRecording() {
    return m_recording.load();
}
bool HostKernel::IsPaused() {
    return callersTime().IsPaused();
}
bool HostKernel::IsReplaying() {
    return false;
}
void HostKernel::SignalRecordSkipped() {
    notProvided("SignalRecordSkipped");
}
void HostKernel::SignalFifoOverflow(void*) {
    notProvided("SignalFifoOverflow");
}
long HostKernel::GetFirstTimestamp() {
    notProvided("GetFirstTimestamp");
    return -1;
}
long HostKernel::GetLastTimestamp() {
    notProvided("GetLastTimestamp");
    return -1;
}
int HostKernel::GetNbFifoOverflows() {
    notProvided("GetNbFifoOverflows");
    return 0;
}
void HostKernel::Play() {
    if (onAnotherKernelsThread()) return;
    m_time.Resume();
}
void HostKernel::Stop() {
    notProvided("Stop");
}
void HostKernel::Pause() {
    if (onAnotherKernelsThread()) return;
    m_time.Pause();
}
void HostKernel::Next() {
    notProvided("Next");
}
void HostKernel::Previous() {
    notProvided("Previous");
}
void HostKernel::Go2Index(int) {
    notProvided("Go2Index");
}
void HostKernel::Go2PreviousIndex() {
    notProvided("Go2PreviousIndex");
}
void HostKernel::Go2NextIndex() {
    notProvided("Go2NextIndex");
}
void HostKernel::Record() {
    notProvided("Record");
}
bool HostKernel::ReplayPausePending() {
    return false;
}
void HostKernel::SetReplayPausePending(bool) {}

// --- Time ----------------------------------------------------------------------------

long HostKernel::SynchClockCurrentTime() {
    notProvided("SynchClockCurrentTime");
    return 0;
}
long HostKernel::GetVirtualClockTimebase() {
    notProvided("GetVirtualClockTimebase");
    return 0;
}
long HostKernel::GetVirtualClockTimebaseX() {
    notProvided("GetVirtualClockTimebaseX");
    return 0;
}
void HostKernel::InitVirtualClockTime(long, long, int) {
    notProvided("InitVirtualClockTime");
}
void HostKernel::UninitVirtualClockTime() {
    notProvided("UninitVirtualClockTime");
}
long HostKernel::TimeReference() {
    return 0;
}
int HostKernel::TimeSpeed() {
    return callersTime().TimeSpeed();
}
int HostKernel::TimeState() {
    return callersTime().TimeState();
}
void HostKernel::SetTimeAdapt(int) {
    notProvided("SetTimeAdapt");
}
bool HostKernel::RegisterClock(TARNBaseClock* clock, unsigned char* id) {
    if (onAnotherKernelsThread()) return false;
    {
        // Every registration gets a fresh id, so a renamed clock is a new clock to the engine.
        std::lock_guard lock(m_stateLock);
        if (id) *id = m_nextClockId;
        m_nextClockId = m_nextClockId == 255 ? 1 : m_nextClockId + 1;
    }
    m_registrations.Register("clock", clock);
    return true;
}
void HostKernel::UnregisterClock(TARNBaseClock* clock) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Unregister("clock", clock);
}
long HostKernel::GetSystemAccurateTiming() {
    return callersTime().MonotonicMicroseconds();
}
int HostKernel::GetAbsoluteTimeSpeed() {
    return callersTime().AbsoluteTimeSpeed();
}
void HostKernel::SetAbsoluteTimeSpeed(int speed, int) {
    if (onAnotherKernelsThread()) return;
    m_time.SetTimeSpeed(speed);
}
unsigned char HostKernel::GetMasterCurrentClockID() {
    return 0;
}
void HostKernel::SignalMasterClockChanged(unsigned char) {
    notProvided("SignalMasterClockChanged");
}
unsigned char HostKernel::GetCurrentClockID() {
    return 0;
}
void HostKernel::SetCurrentTime(long time) {
    if (onAnotherKernelsThread()) return;
    m_time.SetCurrentTime(time);
}
long HostKernel::CurrentTime(bool, bool) {
    return callersTime().CurrentTime();
}
void HostKernel::SetTimeSpeed(int speed) {
    if (onAnotherKernelsThread()) return;
    m_time.SetTimeSpeed(speed);
}
TARNCondition* HostKernel::EngineTimeCondition() {
    return callersTime().Condition();
}
void HostKernel::BeginEngineTime() {
    callersTime().BeginEngineTime();
}
void HostKernel::EndEngineTime() {
    callersTime().EndEngineTime();
}

// --- Listeners, thread bodies, events ------------------------------------------------

// Another kernel's component registers nothing here: this kernel would call it, and it is
// none of this kernel's.

void HostKernel::RegisterRunShutdownListener(TARNRunShutdownListener* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Register("run/shutdown listener", object);
}
void HostKernel::UnregisterRunShutdownListener(TARNRunShutdownListener* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Unregister("run/shutdown listener", object);
}
void HostKernel::RegisterTimeStateListener(TARNTimeStateListener* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Register("time-state listener", object);
}
void HostKernel::UnregisterTimeStateListener(TARNTimeStateListener* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Unregister("time-state listener", object);
}
void HostKernel::RegisterRecordingStateListener(TARNRecordingStateListener* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Register("recording-state listener", object);
}
void HostKernel::UnregisterRecordingStateListener(TARNRecordingStateListener* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Unregister("recording-state listener", object);
}
void HostKernel::RegisterKeysListener(TARNKeysListener* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Register("keys listener", object);
}
void HostKernel::UnregisterKeysListener(TARNKeysListener* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Unregister("keys listener", object);
}
void HostKernel::RegisterKeysHandler(TARNHMIKeysHandler* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Register("keys handler", object);
}
void HostKernel::UnregisterKeysHandler(TARNHMIKeysHandler* object) {
    if (onAnotherKernelsThread()) return;
    m_registrations.Unregister("keys handler", object);
}
TARNEventService* HostKernel::EventService() {
    return onAnotherKernelsThread() ? &noKernels().events : &m_events;
}
