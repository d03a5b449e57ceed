// TARNRecordReplayMethod: the base of the engine's per-stream record and replay methods. A
// record method reads one output through its input "input" and hands each element to the
// derived class as a record (with pre-trigger buffering, triggers and flushes); a replay
// method publishes the records the engine's player queues for it on the output, on time.
// The derived class owns the file format through the pure virtual operations.
//
// Locks, in the only order in which they nest: the sequential lock, the module lock, the
// recorder's blackbox state lock, the recorder's blackbox write lock. A ring's mutex and an
// input's mutex are taken briefly inside any of them and never held while waiting.
#pragma once

#include <atomic>

#include "tarn/dataflow/module.hpp"
#include "tarn/engine/keys_handler.hpp"
#include "tarn/engine/type_info.hpp"
#include "tarn/recording/record_replay_definition.hpp"
#include "tarn/recording/recorder.hpp"
#include "tarn/runtime/list.hpp"
#include "tarn/runtime/mutex.hpp"
#include "tarn/runtime/stacked_string.hpp"

// The ring of the replay queue, which the engine's player fills: a method's own code never
// needs more of it than its name.
template <class T>
class TARNFastIO;
class TARNInputImplementation;
class TARNIOElt;
class TARNIOEltImplementation;
class TARNOutput;
class TARNOutputImplementation;
class TARNProperty;
struct AsyncWriteArgs;

class TARNRecordReplayMethod : public TARNModule, public TARNHMIKeysHandler {
  public:
    // Values of a trigger-buffer copy's state word.
    static constexpr unsigned int CopyBit = 0x1;         // the element is a trigger-buffer copy
    static constexpr unsigned int DroppableBit = 0x2;    // written, or never to be written
    static constexpr unsigned int HandedOverBit = 0x4;   // given to RecordIOElt
    static constexpr unsigned int MarkedBit = 0x8;       // to be recorded
    static constexpr unsigned int Buffered = CopyBit | DroppableBit;   // 3
    static constexpr unsigned int Writing = CopyBit | HandedOverBit;   // 5
    static constexpr unsigned int Written = Writing | DroppableBit;    // 7
    static constexpr unsigned int Marked = CopyBit | MarkedBit;        // 9

    // Replay modes ("replayMode").
    static constexpr int ReplayNormal = 0;
    static constexpr int ReplayImmediate = 1;
    static constexpr int ReplayTimestamp = 2;

    // A record method (it needs the recorder; it gets the input "input", attached to
    // `recorded`) or a replay method publishing on `recorded`.
    TARNRecordReplayMethod(TARNRecordReplayMethodDefinition& definition, TARNRecorder* recorder,
                           TARNOutput& recorded, bool recordMethod, bool copyMode);
    // Frees what death did not: the path texts and the trigger-buffer copies.
    ~TARNRecordReplayMethod() override;

    // The module name of a method: the output name for a replay method, the recorder's
    // name, a point and the output name (less the sub-diagram path they share) otherwise.
    static TARNStackedString<40> buildRecordReplayMethodName(TARNRecorder* recorder, bool recordMethod,
                                                             const TARNStackedString<40>& outputName);

    // ---- Virtual operations, after those of TARNModule -----------------------------------

    // Renames the module and its elements, then moves each of its symbols in the kernel's
    // table from the old name to the new one: the engine moves the symbols of the
    // components it renames, not those of a method. A symbol that cannot move is reported
    // and skipped.
    void Rename(const char* oldName, const char* newName) override;  // 2
    const char* Kind() const override;                          // 3
    void SequentialCore(TARNInput* input) override;             // 4
    // "Record/Replay method <name>: <message>".
    void Report(const char* message, int level, int parameter) override;  // 6
    using TARNModule::Set;
    // Setting "trigger" to true stamps the trigger and flushes the pre-trigger buffer.
    void Set(TARNProperty& property, bool value) override;  // 13

    // True: every triggered element is copied before it is written.
    virtual bool DoProcessBufferItem(TARNIOElt& element);                        // 18
    // Fills `copy` from `source` (a deep copy by default); a failure is an exception.
    virtual void ProcessBufferItem(TARNIOElt& source, TARNIOElt& copy);          // 19
    // Writes one element as a record. The element stays held until Unlock or the file
    // writer's completion gives it back.
    virtual void RecordIOElt(TARNIOElt& element) = 0;                            // 20
    // A value the recorder keeps with the time entry of the record being written.
    virtual long RecordTimeInfo(TARNIOElt& element) = 0;                         // 21
    // Added to the heading hint; empty adds nothing.
    virtual TARNStackedString<40> HeadingHint(TARNIOElt* element);              // 22
    // Fills `element` from one record; false when the record is corrupt.
    virtual bool ReplayIOElt(TARNIOElt& element, int recordNumber, const char* text, TARNTypeInfo& type) = 0;  // 23
    virtual void BirthRecord() = 0;                                              // 24
    virtual void BirthReplay();                                                  // 25
    virtual void DeathRecord() = 0;                                              // 26
    virtual void DeathReplay();                                                  // 27
    virtual bool BlackboxCompatible();                                           // 28
    virtual void BlackboxSwitch(TARNStackedString<40>& text);                    // 29
    virtual void BlackboxDump(TARNStackedString<40>& text);                      // 30
    // Copies one record into the copy destination CopyX locked; the default fills a
    // temporary buffer with ReplayIOElt and records it there. False when nothing was written
    // (a corrupt record, a copy ended meanwhile, or a call from outside CopyX).
    virtual bool Copy(TARNIOElt& element, int recordNumber, const char* text, TARNTypeInfo& type);  // 31

    // ---- Record side ----------------------------------------------------------------------

    // Called by the recorder when a recording starts; failures are contained (the method
    // reports that it died and is left dying).
    void BirthRecordX();
    // Records, buffers or gives back one element of the recorded output.
    void Record();
    // The record thread's body.
    void RecordThread();
    // Called by the recorder when the recording stops: ends the recording thread or waits
    // for a sequential call, records what is marked, calls DeathRecord and frees.
    void DeathRecordX();

    void RecordTime(TARNIOElt& element);
    void RecordHeading(TARNIOElt& element);
    TARNStackedString<40> BuildHeadingHint(TARNIOElt* element);

    // Sets "trigger" to true (the argument has no effect) and reports "Trigger <name>".
    void Trigger(bool value);
    // Drops stale copies and marks those inside the window. Releases the module lock once
    // at its end: the caller's hold when `takeLock` is false.
    void Flush(bool takeLock);
    void FreeRecordMethodBuffers();

    // Gives back an element handed to RecordIOElt: a copy is marked written, a ring element
    // goes back to the ring and leaves the held count.
    void Unlock(TARNIOElt& element);
    // The completion of a TARNRRMFileWriter's write: Unlock of the element written, then
    // the arguments are freed.
    static void CallbackWriter(AsyncWriteArgs* args);

    // ---- Replay side ----------------------------------------------------------------------

    void BirthReplayX();
    void ReplayThread();
    void DeathReplayX();
    bool CopyX(TARNReplayAsyncCommData& record, TARNTypeInfo& type);
    void AddCopySource(TARNRecordReplayMethod* source, TARNPlayer* player);
    void RemoveCopySource(TARNRecordReplayMethod* source);

    // ---- Queries --------------------------------------------------------------------------

    TARNProperty* GetTriggerAtStartProperty();
    TARNProperty* GetAliasProperty();
    TARNProperty* GetRecordToSubFolderProperty();
    TARNProperty* GetSubFolderRelativePathProperty();
    bool Blackboxed() const;
    bool IsRecordMethod() const { return recordMethod; }
    unsigned int RecordCount() const { return recordCount.load(); }
    const char* FilePath() const { return filePath; }
    const char* FastFilePath() const { return fastFilePath; }
    const char* RecordFolder() const { return recordFolder; }
    const char* FastRecordFolder() const { return fastRecordFolder; }
    // The replay queue, which the engine's player writes.
    TARNFastIO<TARNReplayAsyncCommData>& ReplayQueue() { return *replayQueue; }

    static void GetNbRecordsPropertyCallback(TARNProperty& property, void* result);
    static void SetReplayModePropertyCallback(TARNProperty& property);
    static void SetAutopausePropertyCallback(TARNProperty& property);

    // ---- Standard property definitions ----------------------------------------------------

    static TARNPropertyDefinition StandardTriggerDefinition;
    static TARNPropertyDefinition StandardTriggerAtStartDefinition;
    static TARNPropertyDefinition StandardTriggerBufferTimeDefinition;
    static TARNPropertyDefinition StandardTriggerBufferSizeDefinition;
    static TARNPropertyDefinition StandardTriggerReleaseTimeDefinition;
    static TARNPropertyDefinition StandardTriggerReleaseSizeDefinition;
    static TARNPropertyDefinition RecordPathPropertyDefinition;
    static TARNPropertyDefinition FastRecordPathPropertyDefinition;
    static TARNPropertyDefinition ReplayPathPropertyDefinition;
    static TARNPropertyDefinition FastReplayPathPropertyDefinition;
    static TARNPropertyDefinition AliasPropertyDefinition;
    static TARNPropertyDefinition RecordToSubFolderPropertyDefinition;
    static TARNPropertyDefinition SubFolderRelativePathPropertyDefinition;
    static TARNPropertyDefinition UseTimestampPropertyDefinition;
    static TARNPropertyDefinition NbRecordsPropertyDefinition;
    static TARNPropertyDefinition ThreadedPropertyDefinition;
    static TARNPropertyDefinition PriorityPropertyDefinition;
    static TARNPropertyDefinition ReplayModePropertyDefinition;
    static TARNPropertyDefinition AutopausePropertyDefinition;
    static TARNPropertyDefinition ReplayThreadPriorityPropertyDefinition;

    // ---- Fields ---------------------------------------------------------------------------

    // Not owned.
    TARNOutput* recordedOutput;
    // Record method only; null otherwise.
    TARNProperty* triggerProperty = nullptr;
    TARNProperty* triggerBufferTimeProperty = nullptr;
    TARNProperty* triggerBufferSizeProperty = nullptr;
    TARNProperty* triggerReleaseTimeProperty = nullptr;
    TARNProperty* triggerReleaseSizeProperty = nullptr;
    // Built at birth, freed at death (owned, NUL-ended): paths without extension of the
    // normal and fast files, and the folders they lie in.
    char* filePath = nullptr;
    char* fastFilePath = nullptr;
    char* recordFolder = nullptr;
    char* fastRecordFolder = nullptr;
    TARNStackedString<40> spareText;
    // Records written since the last record birth ("nbRecords"). Counted by the record
    // side and by copies made on a replay thread.
    std::atomic<unsigned int> recordCount{0};
    // The replay thread's reader on the replay queue; -1 when none.
    int queueReaderId = -1;
    // Engine time and element sequence number of the last trigger.
    long triggerTime = 0;
    int elementSequenceCounter = 0;
    int triggerSequenceNumber = 0;
    // Not owned.
    TARNRecorder* recorder;
    // The record method this replay method copies into; null when none. Set and cleared by
    // the engine's thread while the replay thread copies: each copy reads it once.
    std::atomic<TARNRecordReplayMethod*> copyDestination{nullptr};
    // Copy-source lock: the copy sources and the copy player.
    TARNList<TARNRecordReplayMethod*> copySources;
    TARNMutex copySourceLock;
    TARNPlayer* copyPlayer = nullptr;
    // Held while a copied record is written and at record death.
    TARNMutex recordLock;
    // Serialises the sequential record path against birth's drain and death.
    TARNMutex sequentialLock;
    // Read by the replay thread without a lock.
    std::atomic<int> replayMode{ReplayNormal};
    std::atomic<bool> recordStopped{true};
    bool headingRecorded = false;
    bool useTimestamp = false;
    std::atomic<bool> copyMode;
    bool publish = false;
    std::atomic<bool> autopause{false};
    // Owned; written by the engine, read by the replay thread.
    TARNFastIO<TARNReplayAsyncCommData>* replayQueue = nullptr;
    // Pre-trigger buffer (module lock): a ring of items, each owning one copy. Occupied
    // items run from the flush cursor up to the item before the flush end; cursor == end
    // (not null) means every item is occupied.
    TARNList<TARNIOElt*> triggerBuffer;
    // The ring position of the element Record has just handed to RecordIOElt, until the
    // writer or Record gives it back: whichever takes it out gives the element back.
    std::atomic<TARNListIterator> directlyWritten{nullptr};
    TARNListItem<TARNIOElt*>* flushCursor = nullptr;
    TARNListItem<TARNIOElt*>* flushEnd = nullptr;
    // Occupied copies marked for recording and not written yet (module lock): the walk that
    // writes them stops once there are none left.
    int markedCopies = 0;
    bool recordMethod;
    TARNRecordReplayMethodDefinition definition;
    // The element sequence number after the newest element written (module lock): a flush
    // marks no copy before it, so records stay in the order their elements came.
    int writtenSequenceEnd = 0;
    // The copy destination whose record lock CopyX holds while it copies one record, which
    // Copy writes into; null otherwise. Replay thread only.
    TARNRecordReplayMethod* lockedCopyDestination = nullptr;

  protected:
    // The recorded output as its implementation.
    TARNOutputImplementation& recordedImplementation() const;
    // The replay method the engine bound to the recorded output; null when none.
    TARNRecordReplayMethod* boundMethod() const;
    // Input 0 ("input") of a record method.
    TARNInputImplementation& recordInput();

  private:
    // ---- Record loop ----------------------
    // Takes the next element for Record; null when a sequential call finds none.
    TARNListIterator takeElement(TARNInputImplementation& input);
    // Gives a ring element back and lowers the held count.
    void giveBack(TARNInputImplementation& input, TARNListIterator position);
    // The ring position of a ring element handed to RecordIOElt.
    TARNListIterator ringPositionOf(TARNIOElt& element);
    // Who is to give back the element Record took: Record itself, the writer it was
    // handed to (unless RecordIOElt fails before the writer did), or nobody any more.
    enum class ElementHold { Held, HandedToWriter, GivenBack };
    // Record's work once the element is held, under the module lock.
    void recordHeld(TARNInputImplementation& input, TARNListIterator position, ElementHold& hold);
    // Walks the occupied copies from the flush cursor (a whole turn when full) and writes
    // those marked, oldest first, passing over the others.
    void recordMarkedCopies();
    // Records what waits on `input` (the sequential lock held): each element as the
    // input's subsampling says, recorded or skipped.
    void drainInput(TARNInputImplementation& input);
    // Skips one element of `input`'s ring.
    void skipElement(TARNInputImplementation& input);

    // ---- Trigger buffer -------------------------
    // A slot for a new copy (the slot's item).
    TARNListItem<TARNIOElt*>* takeSlot();
    // Gives the newest slot back after a failed copy.
    void giveSlotBack();
    // Copies `element` into a new slot with `state`; the copy.
    TARNIOEltImplementation& copyIntoSlot(TARNIOElt& element, unsigned int state);
    // Drops the droppable copies outside the window, against time `t`.
    void trimTriggerBuffer(long t);
    // The item after `item` in the ring.
    TARNListItem<TARNIOElt*>* nextInRing(TARNListItem<TARNIOElt*>* item) const;
    // True when `copy` lies inside the window of B microseconds and N elements before
    // time `t`.
    bool insideWindow(TARNIOEltImplementation& copy, long t, long bufferTime, long bufferSize) const;
    // An integer property read through the module's Get (0 when absent).
    long integerProperty(TARNProperty* property);
    bool booleanProperty(TARNProperty* property);
    // Writes one copy: state 5, time entry, RecordIOElt, count.
    void writeCopy(TARNIOEltImplementation& copy);
    // Marks a copy for recording.
    void markCopy(TARNIOEltImplementation& copy);

    // ---- Replay -----------------
    // The engine-time bracket and the wait on the engine-time condition that span one pass
    // of the replay thread, from before it takes a record until the element is published or
    // dropped.
    class PassTimeWait;
    // Waits until engine time reaches `time` (scaled by its speed): true when the element
    // is to be published, false when it is to be dropped (engine time changed since the
    // pass began, jumped back, stood still, or the method died). Closes `pass` itself only
    // to report.
    bool publishOnTime(long time, PassTimeWait& pass);
    // The method whose replay mode and autopause the output follows.
    TARNRecordReplayMethod& replaySettings();
};

