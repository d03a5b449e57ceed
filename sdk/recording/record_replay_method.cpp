#include "tarn/recording/record_replay_method.hpp"

#include <cstdlib>
#include <cstring>
#include <string>

#include "dataflow/fast_io.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "engine/symbol_record.hpp"
#include "engine/symbol_table_lock.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/engine_recording.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/reports.hpp"

// The standard definitions: no unit, never must-be-set, enumeration values locked; the type
// follows the default value, which each definition owns.
#define TARN_RRM_PROPERTY(field, name, value, modifiableWhileRunning, readOnly, subType)                   \
    TARNPropertyDefinition TARNRecordReplayMethod::field(name, value, nullptr, false, modifiableWhileRunning, \
                                                         readOnly, true, subType)

TARN_RRM_PROPERTY(StandardTriggerDefinition, "trigger", new TARNPropertyValue(true), true, false, 0);
TARN_RRM_PROPERTY(StandardTriggerAtStartDefinition, "triggerAtStart",
                  new TARNPropertyValue("Do not change|True|False", 0), false, false, 0);
TARN_RRM_PROPERTY(StandardTriggerBufferTimeDefinition, "triggerBufferTime", new TARNPropertyValue(0L), true, false, 1);
TARN_RRM_PROPERTY(StandardTriggerBufferSizeDefinition, "triggerBufferSize", new TARNPropertyValue(0L), true, false, 0);
TARN_RRM_PROPERTY(StandardTriggerReleaseTimeDefinition, "triggerReleaseTime", new TARNPropertyValue(0L), true, false,
                  1);
TARN_RRM_PROPERTY(StandardTriggerReleaseSizeDefinition, "triggerReleaseSize", new TARNPropertyValue(0L), true, false,
                  0);
TARN_RRM_PROPERTY(RecordPathPropertyDefinition, "recordPath", new TARNPropertyValue(""), false, false, 0x20);
TARN_RRM_PROPERTY(FastRecordPathPropertyDefinition, "fastRecordPath", new TARNPropertyValue(""), false, false, 0x20);
TARN_RRM_PROPERTY(ReplayPathPropertyDefinition, "replayPath", new TARNPropertyValue(""), false, false, 0x60);
TARN_RRM_PROPERTY(FastReplayPathPropertyDefinition, "fastReplayPath", new TARNPropertyValue(""), false, false, 0x60);
TARN_RRM_PROPERTY(AliasPropertyDefinition, "alias", new TARNPropertyValue(""), false, false, 0);
TARN_RRM_PROPERTY(RecordToSubFolderPropertyDefinition, "record_to_subfolder", new TARNPropertyValue(false), false,
                  false, 0);
TARN_RRM_PROPERTY(SubFolderRelativePathPropertyDefinition, "subfolder_relative_path", new TARNPropertyValue(""),
                  false, false, 0);
TARN_RRM_PROPERTY(UseTimestampPropertyDefinition, "useTimestamp", new TARNPropertyValue(false), false, false, 0);
TARN_RRM_PROPERTY(NbRecordsPropertyDefinition, "nbRecords", new TARNPropertyValue(0L), false, true, 0);
TARN_RRM_PROPERTY(ThreadedPropertyDefinition, "threaded", new TARNPropertyValue(false), false, false, 0);
TARN_RRM_PROPERTY(PriorityPropertyDefinition, "priority", new TARNPropertyValue(128L), false, false, 0);
TARN_RRM_PROPERTY(ReplayModePropertyDefinition, "replayMode", new TARNPropertyValue("Normal|Immediate|Timestamp", 0),
                  false, false, 0);
TARN_RRM_PROPERTY(AutopausePropertyDefinition, "autopause", new TARNPropertyValue(false), false, false, 0);
TARN_RRM_PROPERTY(ReplayThreadPriorityPropertyDefinition, "replayThreadPriority", new TARNPropertyValue(128L), false,
                  false, 0);

namespace {

// Bits of the keys state word that a method sets.
constexpr unsigned long RecordMethodKey = 0x10;
constexpr unsigned long AutopauseKey = 0x40;

TARNRecordReplayMethod& ownerOf(TARNProperty& property) {
    return static_cast<TARNRecordReplayMethod&>(*property.Owner());
}

}  // namespace

TARNStackedString<40> TARNRecordReplayMethod::buildRecordReplayMethodName(TARNRecorder* recorder,
                                                                          bool recordMethod,
                                                                          const TARNStackedString<40>& outputName) {
    if (recorder == nullptr || !recordMethod) return outputName;
    const std::string r = recorder->Name() ? recorder->Name() : "";
    const std::string o = outputName.c_str();
    if (r.find("::") == std::string::npos) return TARNStackedString<40>((r + "." + o).c_str());
    // The recorder sits in a sub-diagram: the part of the output's path they share is
    // written once. A "::" at index 0 or 1 never counts.
    std::size_t p = 0;
    for (std::size_t q = r.find("::", p + 2); q != std::string::npos; q = r.find("::", q + 2)) {
        if (o.compare(0, q + 2, r, 0, q + 2) != 0) break;
        p = q;
    }
    const std::string tail = p > 0 ? o.substr(std::min(p + 2, o.size())) : o;
    return TARNStackedString<40>((r + "." + tail).c_str());
}

TARNRecordReplayMethod::TARNRecordReplayMethod(TARNRecordReplayMethodDefinition& definition, TARNRecorder* recorder,
                                               TARNOutput& recorded, bool recordMethod, bool copyMode)
    : TARNModule(buildRecordReplayMethodName(recorder, recordMethod, recorded.Name()).c_str(), true, true),
      recordedOutput(&recorded),
      recorder(recorder),
      copyMode(copyMode),
      replayQueue(new TARNFastIO<TARNReplayAsyncCommData>(TARN::GetShutdownEvent(), 4, 1)),
      recordMethod(recordMethod),
      definition(definition) {
    state.fetch_and(~Running);
    recordStopped = true;

    if (!recordMethod) {
        publish = !copyMode;
        NewProperty(ReplayPathPropertyDefinition, nullptr);
        NewProperty(FastReplayPathPropertyDefinition, nullptr);
        NewProperty(ReplayModePropertyDefinition, nullptr)->SetSetCallback(SetReplayModePropertyCallback);
        NewProperty(AutopausePropertyDefinition, nullptr)->SetSetCallback(SetAutopausePropertyCallback);
        Set(*NewProperty(ThreadedPropertyDefinition, nullptr), definition.threadedReplay);
        NewProperty(PriorityPropertyDefinition, nullptr);
        NewProperty(ReplayThreadPriorityPropertyDefinition, nullptr);
        for (int i = 0; i < definition.replayPropertyCount; ++i)
            NewProperty(definition.properties[definition.recordPropertyCount + i], nullptr);
        return;
    }

    triggerProperty = NewProperty(StandardTriggerDefinition, nullptr);
    if (definition.triggerBufferTime != 0 || definition.triggerBufferSize != 0 ||
        definition.triggerReleaseTime != 0 || definition.triggerReleaseSize != 0)
        DirectSet(*triggerProperty, false);
    if (recorder != nullptr) {
        const std::string startTime = std::string(recorder->Name() ? recorder->Name() : "") + ".record_start_time";
        if (TARN::Property(startTime.c_str()) != nullptr) NewProperty(StandardTriggerAtStartDefinition, nullptr);
    }
    triggerBufferTimeProperty = NewProperty(StandardTriggerBufferTimeDefinition, nullptr);
    DirectSet(*triggerBufferTimeProperty, static_cast<long>(definition.triggerBufferTime));
    triggerBufferSizeProperty = NewProperty(StandardTriggerBufferSizeDefinition, nullptr);
    DirectSet(*triggerBufferSizeProperty, static_cast<long>(definition.triggerBufferSize));
    triggerReleaseTimeProperty = NewProperty(StandardTriggerReleaseTimeDefinition, nullptr);
    DirectSet(*triggerReleaseTimeProperty, static_cast<long>(definition.triggerReleaseTime));
    triggerReleaseSizeProperty = NewProperty(StandardTriggerReleaseSizeDefinition, nullptr);
    DirectSet(*triggerReleaseSizeProperty, static_cast<long>(definition.triggerReleaseSize));
    NewProperty(RecordPathPropertyDefinition, nullptr);
    NewProperty(FastRecordPathPropertyDefinition, nullptr);
    NewProperty(AliasPropertyDefinition, nullptr);
    NewProperty(RecordToSubFolderPropertyDefinition, nullptr);
    NewProperty(SubFolderRelativePathPropertyDefinition, nullptr);
    NewProperty(UseTimestampPropertyDefinition, nullptr);
    NewProperty(NbRecordsPropertyDefinition, nullptr)->SetGetCallback(GetNbRecordsPropertyCallback);
    Set(*NewProperty(ThreadedPropertyDefinition, nullptr), definition.threadedRecord);
    NewProperty(PriorityPropertyDefinition, nullptr);
    for (int i = 0; i < definition.recordPropertyCount; ++i) NewProperty(definition.properties[i], nullptr);
    if (definition.actions != nullptr)
        for (const TARNActionDefinition* action = definition.actions; action->name != nullptr; ++action)
            NewAction(*action, nullptr);

    if (recorder != nullptr) {
        TARNMutexGuard guard(recorder->moduleLock);
        recorder->methods.PushBack(this);
    }

    const TARNInputDefinition inputDefinition{"input", nullptr, definition.inputTypeFilter, 0, 1};
    TARNInput* input = NewInput(inputDefinition, nullptr);
    TARNPrivate::kernel->RecorderInputCreated(recorder && recorder->Name() ? recorder->Name() : "",
                                              input->Name().c_str());
    // A replay method bound to the recorded output publishes for the span of the attach
    // when this method copies: the engine connects only outputs that publish.
    TARNRecordReplayMethod* ownMethod = boundMethod();
    const bool ownPublish = ownMethod != nullptr ? ownMethod->publish : false;
    if (ownMethod != nullptr && copyMode) ownMethod->publish = true;
    TARN::Attach(recorded, *input);
    if (ownMethod != nullptr && copyMode) ownMethod->publish = ownPublish;

    keysState |= RecordMethodKey;
    UpdateKeysState();
}

TARNRecordReplayMethod::~TARNRecordReplayMethod() {
    for (char** text : {&filePath, &fastFilePath, &recordFolder, &fastRecordFolder}) {
        std::free(*text);
        *text = nullptr;
    }
    delete replayQueue;
    if (recordMethod && recorder != nullptr) {
        TARNMutexGuard guard(recorder->moduleLock);
        if (auto* item = recorder->methods.Find(this)) recorder->methods.Remove(item);
    }
    // A method destroyed without its death still owns its copies.
    FreeRecordMethodBuffers();
    // The recorded output runs this method (SequentialCore, which takes the module lock)
    // under its input list lock; the module base would cut the connection under the module
    // lock, the other way round. Cut here first, without it.
    if (recordMethod && inputs.Head() != nullptr) {
        TARNInput* input = inputs.Head()->Value();
        TARN::Detach(*recordedOutput, *input);
        RemoveInputX(input);
    }
}

TARNOutputImplementation& TARNRecordReplayMethod::recordedImplementation() const {
    return static_cast<TARNOutputImplementation&>(*recordedOutput);
}

TARNRecordReplayMethod* TARNRecordReplayMethod::boundMethod() const {
    // The engine binds only record/replay methods to an output.
    return static_cast<TARNRecordReplayMethod*>(recordedImplementation().method);
}

TARNInputImplementation& TARNRecordReplayMethod::recordInput() {
    return static_cast<TARNInputImplementation&>(Input(0));
}

const char* TARNRecordReplayMethod::Kind() const {
    return "record/replay method";
}

void TARNRecordReplayMethod::Report(const char* message, int level, int parameter) {
    TARNStackedString<40> text("Record/Replay method ");
    if (Name() != nullptr) text += Name();
    text += ": ";
    if (message != nullptr) text += message;
    TARNPrivate::Report(text.c_str(), level, parameter, false);
}

namespace {

void reportRenamingError(const std::string& symbol, const char* problem) {
    const std::string message = "Renaming error. Symbol \"" + symbol + "\" " + problem;
    TARNPrivate::Report(message.c_str(), 2, 1, true);
}

enum class Move { Moved, Missing, Taken };

// Moves one symbol of the kernel's table to `newName`, keeping its kind and data words.
// The caller holds the symbol-table lock.
Move moveSymbol(TARNKernel& kernel, const std::string& oldName, const std::string& newName) {
    TARNSymRec* old = kernel.FindSymbol(oldName.c_str());
    if (old == nullptr) return Move::Missing;
    const int kind = old->kind;
    void* const data[2] = {old->data[0], old->data[1]};
    kernel.UnregisterSymbol(oldName.c_str());
    TARNSymRec* record = kernel.RegisterSymbol(newName.c_str(), kind);
    if (record == nullptr) return Move::Taken;
    record->data[0] = data[0];
    record->data[1] = data[1];
    kernel.ConfirmSymbol();
    return Move::Moved;
}

}  // namespace

void TARNRecordReplayMethod::Rename(const char* oldName, const char* newName) {
    // Copies: either text may be this module's own name, which the base's Rename frees.
    const std::string from = std::string(oldName ? oldName : "") + ".";
    const std::string to = std::string(newName ? newName : "") + ".";
    TARNModule::Rename(oldName, newName);
    TARNMutexGuard moduleGuard(moduleLock);
    TARNPrivate::SymbolTableLock symbolGuard;
    TARNListItem<TARNStackedString<40> >* next = nullptr;
    for (TARNListItem<TARNStackedString<40> >* item = symbolNames.Head(); item != nullptr; item = next) {
        next = item->Next();
        const std::string name = item->Value().c_str();
        if (name.compare(0, to.size(), to) != 0) continue;
        const std::string old = from + name.substr(to.size());
        switch (moveSymbol(*TARNPrivate::kernel, old, name)) {
            case Move::Moved:
                break;
            case Move::Missing:
                reportRenamingError(old, "doesn't exist.");
                break;
            case Move::Taken:
                reportRenamingError(name, "already exists.");
                // The name is another module's: the method must not unregister it when it
                // removes the element or is destroyed.
                symbolNames.Remove(item);
                break;
        }
    }
}

void TARNRecordReplayMethod::Set(TARNProperty& property, bool value) {
    if (&property != triggerProperty || !value) {
        TARNModule::Set(property, value);
        return;
    }
    moduleLock.Lock();
    // From here the lock is Flush's to release, or this function's when Flush does not run;
    // a failure on the way must not leave it held.
    try {
        triggerTime = TARN::CurrentTime(true, true);
        triggerSequenceNumber = elementSequenceCounter;
        TARNModule::Set(property, true);
    } catch (...) {
        moduleLock.Release();
        throw;
    }
    if (State() & Running)
        Flush(false);
    else
        moduleLock.Release();
}

void TARNRecordReplayMethod::GetNbRecordsPropertyCallback(TARNProperty& property, void* result) {
    *static_cast<long*>(result) = static_cast<long>(ownerOf(property).recordCount.load());
}

void TARNRecordReplayMethod::SetReplayModePropertyCallback(TARNProperty& property) {
    ownerOf(property).replayMode = static_cast<int>(property.IntegerValue());
}

void TARNRecordReplayMethod::SetAutopausePropertyCallback(TARNProperty& property) {
    TARNRecordReplayMethod& method = ownerOf(property);
    method.autopause = property.BoolValue();
    if (method.autopause)
        method.keysState |= AutopauseKey;
    else
        method.keysState = 0;
    method.UpdateKeysState();
}

namespace {

TARNProperty* ownProperty(TARNModule& module, const char* name) {
    TARNMutexGuard guard(module.moduleLock);
    return module.HasProperty(name) ? &module.Property(name) : nullptr;
}

}  // namespace

TARNProperty* TARNRecordReplayMethod::GetTriggerAtStartProperty() {
    return ownProperty(*this, "triggerAtStart");
}
TARNProperty* TARNRecordReplayMethod::GetAliasProperty() {
    return ownProperty(*this, "alias");
}
TARNProperty* TARNRecordReplayMethod::GetRecordToSubFolderProperty() {
    return ownProperty(*this, "record_to_subfolder");
}
TARNProperty* TARNRecordReplayMethod::GetSubFolderRelativePathProperty() {
    return ownProperty(*this, "subfolder_relative_path");
}

bool TARNRecordReplayMethod::Blackboxed() const {
    return recorder != nullptr && recorder->blackbox.load();
}

bool TARNRecordReplayMethod::DoProcessBufferItem(TARNIOElt&) {
    return false;
}
TARNStackedString<40> TARNRecordReplayMethod::HeadingHint(TARNIOElt*) {
    return TARNStackedString<40>();
}
void TARNRecordReplayMethod::BirthReplay() {}
void TARNRecordReplayMethod::DeathReplay() {}
bool TARNRecordReplayMethod::BlackboxCompatible() {
    return false;
}
void TARNRecordReplayMethod::BlackboxSwitch(TARNStackedString<40>&) {}
void TARNRecordReplayMethod::BlackboxDump(TARNStackedString<40>&) {}
