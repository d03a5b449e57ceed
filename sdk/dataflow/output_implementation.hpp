// The output a module makes from its definition: its ring, its element buffers, the
// inputs connected to it and its timestamp history.
#pragma once

#include <utility>
#include <vector>

#include "dataflow/output_buffers.hpp"
#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/runtime/list.hpp"
#include "tarn/runtime/mutex.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNComponent;
class TARNInput;
class TARNIOElt;
class TARNIOEltImplementation;
class TARNIOMonitor;
class TARNIOMonitorImplementation;
class TARNModule;
class TARNPlayer;

// The one implementation of TARNOutput. The owning module makes it, gives it its ring and
// fills it from its definition; the output owns the ring, the element buffers and the
// timestamp history.
class TARNOutputImplementation final : public TARNOutput {
  public:
    // Slots of the timestamp history: the recent timestamps, then the last one kept.
    static constexpr int HistoryLength = 30;

    // Empty names, no ring, no buffers, type code 0, nothing connected.
    TARNOutputImplementation();
    // The buffers go, then the ring whose elements point into them; elements a reader
    // still holds (one cut off from the graph may hold them for as long as it likes) are
    // left to it, with their ring and buffers (FreeBuffer, TARNFastIO::Abandon).
    ~TARNOutputImplementation() override;

    TARNOutputImplementation(const TARNOutputImplementation&) = delete;
    TARNOutputImplementation& operator=(const TARNOutputImplementation&) = delete;

    // Each first applies a ".fifosize" kept pending (see SetFifoSize) and frees a block
    // left without buffers (an empty matrix's), then lays the buffers over the ring's
    // elements.
    void AllocOutputBuffer(int isize, bool allocate) override;
    void AllocOutputBufferIplImage(const _IplImage& model, bool headerOnly) override;
    void AllocOutputBufferImage(int isize, int w, int h, unsigned int coding, unsigned int extra,
                                bool headerOnly) override;
    // The same as AllocOutputBufferImage.
    void AllocOutputBufferTARNImage(int isize, int w, int h, unsigned int coding, unsigned int extra,
                                    bool headerOnly) override;
    void AllocOutputBufferMatrix(int m, int n) override;
    void AllocOutputBufferAudioSignal(const TARNAudioSignal& model) override;
    const TARNStackedString<40>& Name() const override { return fullName; }
    unsigned int NbFIFOOverflows() override { return overflowCount; }
    // The ring; null while the output has none.
    TARNIOMonitor* Monitor() override;
    void MakeShareable() override { definition.reserved2 = 1; }
    void MakeUnshareable() override { definition.reserved2 = 0; }
    int IOEltSizeBytes() override { return buffers.ElementSize(); }
    // The elements a writer could take now without losing data.
    int NbFreeSlotsInFIFO() const override;
    const TARNTypeInfo& Type() const override { return definition.type; }
    void SetTypeValue(long code) override { definition.type.type = static_cast<unsigned long>(code); }
    void SetTypeUnit(const char* text) override { definition.type.SetUnit(text); }
    void SetUnit(const char* text) override { SetTypeUnit(text); }
    // The empty text when the type has no unit.
    const char* TypeUnit() const override;
    const char* Unit() const override { return TypeUnit(); }
    void SetTypeName(const char* text) override { definition.type.SetName(text); }
    // Null when the type has no name.
    const char* TypeName() const override;

    // The owning module was renamed: the module part of the full and registered names
    // follows.
    void Rename(const char* oldName, const char* newName);
    // Runs, on the writer's thread and one after the other, every connected input's module
    // that has no thread of its own, for the element just published.
    void CallSequentialComponents();
    // Frees the element buffers; the ring's elements are left without data, and free: a
    // published element no reader has taken is dropped. An element a reader holds keeps its
    // buffer: its slot is set aside, left to the reader with its contents, and the block
    // under it is freed only once every slot set aside is back.
    // Every way the buffers go (a component laying them out again, a shutdown, a start
    // releasing the last life, a ring resized, the output's end) comes through here.
    //
    // A writer that lays its output out anew while it runs (an image of another size) keeps
    // what it published readable instead (kKeptReadable): a published element that a
    // FIFO-group reader has still to take stays in the ring over the buffers it was written
    // in, which are freed once every such reader has taken it (or the writer's overflow
    // would overwrite it, or the ring is reset); the new layout has as many elements as
    // before beside it.
    enum class PublishedElements { kDropped, kKeptReadable };
    void FreeBuffer(PublishedElements published = PublishedElements::kDropped);
    // The first step of handing back the element at `position` (taken by StartWriting):
    // an element whose VectorSize is above its BufferSize was written past its buffer and
    // must not be published, nor kept being written for good (its slot would never come
    // back). It is freed (the output subsampling does not count it) and the answer is the
    // error its writer gets: "Buffer overflow detected: VectorSize(v) > BufferSize(b)".
    // An element within its buffer is left alone: empty answer.
    TARNStackedString<40> DropOverflowed(TARNListIterator position);
    // The writer's side of the module's StartWriting and StopWriting. An element's layout
    // (shared with the engine) has no room for where it came from, so the output keeps the
    // ring position of each element it handed out until it comes back. Null when the ring
    // gives no element (its writer wait was aborted).
    TARNIOEltImplementation* TakeForWriting();
    // The position of `element` when this output handed it out and has not had it back,
    // which it forgets now; null otherwise.
    TARNListIterator TakeBackWritten(const TARNIOElt* element);
    // The timestamp to publish for an element with `timestamp` and `timeOfIssue`: on a
    // periodic output, once the history is full, the least-squares fit of the recent ones,
    // never earlier than the last published one. Recorded in the history either way.
    long SmoothTimestamp(long timestamp, long timeOfIssue);
    // A new ring length. The ring's elements cannot be exchanged while a writer or reader
    // holds one, nor their buffers freed, so while the owner runs (or an element is held)
    // the length is kept pending and applied by the next buffer allocation, which is the
    // next start: old buffers freed, ring rebuilt, new buffers laid out. Otherwise it
    // applies at once, and buffers the output had are laid out again the way its creation
    // and every start lay them (AllocOutputBuffer with the definition's buffer size).
    void SetFifoSize(int size);
    // The length waiting for the next start; -1 when none.
    int PendingFifoSize() const { return pendingFifoSize; }

    // ---- Fields ---------------------------------------------------------------------------

    TARNStackedString<40> fullName;
    TARNStackedString<40> shortName;
    // The full name as handed to the engine at registration; renamed with the full name.
    TARNStackedString<40> registeredName;
    // Guards the connected-input list.
    TARNMutex inputListLock;
    // The owning component's model name; empty for a plain module's output.
    TARNStackedString<40> ownerModelName;
    TARNModule* owner;
    TARNComponent* ownerComponent;
    // Owned.
    TARNIOMonitorImplementation* ring;
    // Own copy; bit 63 of its type code is the vector flag, reserved2 the shareable flag.
    TARNOutputDefinition definition;
    TARNList<TARNInput*> connectedInputs;
    unsigned int overflowCount;
    bool periodic;
    // Set by the engine while a replay feeds the output; not owned.
    TARNPlayer* player;
    // The replay method the engine bound to the output, whose replay mode and autopause
    // the output's replay follows; null when none. Not owned. The recording layer reads it
    // as the record/replay method it is; the output needs no more of it than a module's
    // Rename, which keeps the method's element names in step with its own.
    TARNModule* method = nullptr;
    // HistoryLength recent timestamps, then the last timestamp kept; owned, null until
    // the module creates the output.
    long* timestampHistory;
    int historyIndex;
    TARNOutputBuffers buffers;
    // Elements handed out by TakeForWriting and not back yet, with their ring positions.
    TARNMutex writingLock;
    std::vector<std::pair<const TARNIOElt*, TARNListIterator>> beingWritten;

  private:
    // The ring's elements, as the buffers see them.
    TARNOutputBufferTarget target(std::vector<TARNIOEltImplementation*>& elements);
    // Rebuilds the ring with a pending length, after freeing the buffers that lie over
    // its elements; stays pending while an element is held.
    void applyPendingFifoSize();
    // What every layout does first: applies a pending ".fifosize", and frees through
    // FreeBuffer a block the buffers hold while counting as without buffers (a matrix output
    // of 0 x n), before the layout replaces it.
    void prepareLayout();

    int pendingFifoSize;
};
