// Record birth: the per-recording reset, the stream name, the folders and file bases the
// derived method writes under, and the start of recording.
#include <cstdlib>
#include <string>

#include "dataflow/output_implementation.hpp"
#include "recording/property_reading.hpp"
#include "recording/record_paths.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/property.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/recording/record_replay_method.hpp"
#include "tarn/runtime/folders.hpp"

using TARNPrivate::EngineHasProperty;
using TARNPrivate::EnginePropertyText;
using TARNPrivate::PropertyFlag;
using TARNPrivate::PropertyText;

namespace {

// Index values of "triggerAtStart".
constexpr long TriggerAtStartTrue = 1;
constexpr long TriggerAtStartFalse = 2;

}  // namespace

void TARNRecordReplayMethod::BirthRecordX() {
    try {
        for (char** text : {&filePath, &fastFilePath, &recordFolder, &fastRecordFolder}) {
            std::free(*text);
            *text = nullptr;
        }
        {
            TARNMutexGuard guard(moduleLock);
            elementSequenceCounter = 0;
            triggerSequenceNumber = 0;
            flushCursor = nullptr;
            flushEnd = nullptr;
            markedCopies = 0;
            writtenSequenceEnd = 0;
            triggerTime = TARN::CurrentTime(true, true);
        }

        if (TARNProperty* atStart = GetTriggerAtStartProperty()) {
            long selected = 0;
            {
                TARNMutexGuard guard(propertyLock);
                selected = atStart->IntegerValue();
            }
            // Directly: no trigger time is taken and nothing is flushed before the start.
            if (selected == TriggerAtStartTrue) DirectSet(*triggerProperty, true);
            if (selected == TriggerAtStartFalse) DirectSet(*triggerProperty, false);
        }

        Start();
        headingRecorded = false;
        recordCount = 0;

        // The recorder's settings; a method without a recorder has none.
        auto recorderText = [this](const char* shortName) {
            return recorder != nullptr ? PropertyText(*recorder, shortName) : std::string();
        };
        auto recorderFlag = [this](const char* shortName) {
            return recorder != nullptr && PropertyFlag(*recorder, shortName);
        };
        const std::string recorderName = recorder != nullptr && recorder->Name() ? recorder->Name() : "";
        TARNPrivate::RecordFileNaming naming;
        naming.recorderName = recorderName;
        naming.withStartTime = recorderFlag("add_record_start_time_to_folder_and_file_names");

        if (Blackboxed() && copyMode) Error("Can't copy in blackbox mode. Sorry.", 1, 0);
        useTimestamp = PropertyFlag(*this, "useTimestamp");

        // The stream name: the alias, else the output's registered name.
        std::string alias = PropertyText(*this, "alias");
        std::string name = alias;
        if (alias.empty()) {
            name = recordedImplementation().registeredName.c_str();
            if (name.find('.') == std::string::npos) alias = name;
        }
        name = TARNPrivate::FileSafeName(name);
        naming.alias = alias;
        naming.name = name;

        // Recording to a subfolder: the method's own choice, or the recorder's for all.
        std::string subfolder;
        const bool recorderSubfolders = recorderFlag("record_to_subfolders");
        bool toSubfolder = false;
        if (GetRecordToSubFolderProperty() != nullptr) {
            toSubfolder = PropertyFlag(*this, "record_to_subfolder") ||
                          (EngineHasProperty(recorderName + ".record_to_subfolders") && recorderSubfolders);
        } else if (recorderSubfolders) {
            Report("This record method must be recompiled with a more recent Tarnvel SDK to support recording to "
                   "subfolders",
                   1, 0);
        }
        if (toSubfolder) {
            subfolder = PropertyText(*this, "subfolder_relative_path");
            if (subfolder.empty()) subfolder = name;
        }

        // Makes `folder` (with the subfolder) exist; the kind of folder names the messages.
        auto makeFolder = [&](std::string folder, const char* kind) {
            const std::string failure = std::string("Failed to create ") + kind + " directory ";
            if (!subfolder.empty()) {
                folder += "/" + subfolder;
                if (!TARN::CreateFolder(folder.c_str())) Error((failure + folder).c_str(), 2, 0);
            } else if (!TARN::IsFolder(folder.c_str())) {
                Report((std::string(kind) + " directory " + folder + " does not exist. Trying to create it...").c_str(),
                       0, 0);
                if (!TARN::CreateFolder(folder.c_str())) Error((failure + folder).c_str(), 2, 0);
            }
            return folder;
        };

        std::string folder = PropertyText(*this, "recordPath");
        if (folder.empty()) folder = recorderText("recordPath");
        if (folder.empty()) Error("No recordpath configured in the record method or the recorder", 1, 0);
        folder = makeFolder(folder, "recordPath");
        recordFolder = TARNPrivate::HeapText(folder);

        naming.engineId = EnginePropertyText("Engine.id");
        if (naming.withStartTime && recorder != nullptr) {
            // Read under the recorder's module lock: the recorder may be setting it.
            TARNMutexGuard guard(recorder->moduleLock);
            naming.startTime = recorderText("record_start_time");
        }
        filePath = TARNPrivate::HeapText(TARNPrivate::RecordFileBase(folder, naming));

        std::string fast = PropertyText(*this, "fastRecordPath");
        if (fast.empty()) fast = recorderText("fastRecordPath");
        if (fast.empty()) fast = PropertyText(*this, "recordPath");
        if (fast.empty()) fast = recorderText("recordPath");
        fast = makeFolder(fast, "fastRecordPath");
        fastRecordFolder = TARNPrivate::HeapText(fast);
        fastFilePath = TARNPrivate::HeapText(TARNPrivate::RecordFileBase(fast, naming));

        threaded = PropertyFlag(*this, "threaded");
        BirthRecord();

        if (copyMode) return;  // records arrive through Copy
        if (threaded) {
            CreateThread(static_cast<void (TARNModule::*)()>(&TARNRecordReplayMethod::RecordThread));
            return;
        }
        TARNMutexGuard sequential(sequentialLock);
        recordStopped = false;
        drainInput(recordInput());
    } catch (int code) {
        if (code != ErrorException) throw;
        TARNMutexGuard guard(moduleLock);
        TARN::ReportWarning((std::string(Kind()) + " " + (Name() ? Name() : "") + " died due to an error.").c_str(),
                            1);
        state.store((state.load() & ~Running) | Dying);
        dieEvent.Set();
        noThreadEvent.Set();
    }
}
