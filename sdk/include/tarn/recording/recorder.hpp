// What a record or replay method needs of the engine's recorder and player. Both belong to
// the engine; these are the members the method base reads and calls, which whatever stands
// in their place (the engine, a host, a test) provides.
#pragma once

#include <atomic>

#include "tarn/dataflow/module.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/runtime/hash_table.hpp"
#include "tarn/runtime/list.hpp"
#include "tarn/runtime/mutex.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNIOElt;
class TARNRecordReplayMethod;

// The recorder: a module with the text properties "recordPath", "fastRecordPath" and
// "record_start_time" and the boolean ones "add_record_start_time_to_folder_and_file_names"
// and "record_to_subfolders" (each optional: a missing one reads as empty or false). Its
// record methods file themselves in `methods` from construction to destruction.
//
// Blackbox mode: while `blackbox` is set, a method records only while `blackboxWrite` is
// set (holding `blackboxWriteLock` for the element), keeps elements for later while both
// flags are clear, and drops them while `blackboxHold` is set. The two flags change under
// `blackboxStateLock`. Lock order: a method's module lock, then the state lock, then the
// write lock.
class TARNRecorder : public TARNModule {
  public:
    explicit TARNRecorder(const char* name) : TARNModule(name, false, false) {}

    // Receives the heading hint of a stream, once per recording, before its first entry.
    virtual void RecordHeadingHint(const char* hint) = 0;
    // Receives one time entry per record, just before the record is written: the time
    // (time of issue, or the timestamp when the method uses timestamps), the timestamp, the
    // stream name, the method's record count before this record, the derived method's
    // RecordTimeInfo and the element.
    virtual void RecordTimeEntry(long time, long timestamp, const char* streamName, unsigned int recordCount,
                                 long timeInfo, TARNIOElt& element) = 0;

    std::atomic<bool> blackbox{false};
    TARNMutex blackboxStateLock;
    bool blackboxWrite = false;
    bool blackboxHold = false;
    TARNMutex blackboxWriteLock;
    // The recorder's record methods (module lock of the recorder).
    TARNList<TARNRecordReplayMethod*> methods;
    // Set by the engine each time a copy destination may take the next copied record.
    TARNEvent copyEvent;
};

// The player: what a replay method reads of it to find its files and to pace copies.
class TARNPlayer {
  public:
    virtual ~TARNPlayer() = default;

    // The file being replayed, for messages.
    TARNStackedString<40> replayedFileName;
    // Used when the method's "replayPath" ("fastReplayPath") is empty.
    TARNStackedString<40> defaultReplayPath;
    TARNStackedString<40> defaultFastReplayPath;
    // The name the recording was made under (recorder, engine identifier, start time).
    TARNStackedString<40> recordName;
    // Stream (output) name -> the subfolder its files were recorded to.
    TARNStringHashTable<TARNStackedString<40>> subfolders;
    // Set by the engine each time a copying replay method may copy its next record.
    TARNEvent copyEvent;
};
