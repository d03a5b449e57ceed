// The input a module makes from its definition: its connection to an output's ring, what
// its reader holds and the handshake with the engine's rebuilds.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "tarn/dataflow/input.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/runtime/list.hpp"
#include "tarn/runtime/mutex.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNIOMonitorImplementation;
class TARNModule;
class TARNOutput;
class TARNProperty;
class TARNTypeFilterBase;
class TARNTypeInfo;

// The one implementation of TARNInput. The owning module makes it, fills it from its
// definition and owns it; the engine connects it to an output by registering it as a
// reader of the output's ring (with the input's kind) and filling in the ring, the reader
// id and the connected output.
class TARNInputImplementation final : public TARNInput {
  public:
    // Empty names, not connected, no reader-type property; a FIFO reader taking every
    // element.
    TARNInputImplementation();
    // Gives back what it still holds since a detach (GiveBackDetached).
    ~TARNInputImplementation() override;

    TARNInputImplementation(const TARNInputImplementation&) = delete;
    TARNInputImplementation& operator=(const TARNInputImplementation&) = delete;

    bool IsConnected() const override { return ConnectedRing() != nullptr; }
    TARNOutput* ConnectedOutput() const override { return connectedOutput; }
    // The connected output's type; an input that is not connected answers an empty type
    // (code 0, no name, no unit), which no filter of a real type accepts.
    const TARNTypeInfo& Type() const override;
    const TARNStackedString<40>& Name() const override { return fullName; }
    const char* ShortName() const override { return shortName.c_str(); }
    // Whether the reader would take an element now: for the FIFO kinds one newer than the
    // last it took, for the others any published one. False while not connected.
    bool DataAvailableInFIFO() override;
    // The published elements this reader has not taken (FIFO kinds) or all published
    // ones (the others); 0 while not connected.
    int NbDataAvailableInFIFO() override;

    // The connected output's ring, null while not connected. Read under the input lock:
    // the engine's Attach and Detach change the connection under it while a reader may be
    // waiting to be connected. Within a reading call the connection read here stays put
    // (Detach waits for the reader), so the call may go on with the plain fields.
    TARNIOMonitorImplementation* ConnectedRing() const;

    // Called by a reading call that leaves: when a rebuild of the input waits for it and
    // it holds nothing, it acknowledges the rebuild and waits until the rebuild is over,
    // so that it never reads from a ring being exchanged; then it is no longer reading.
    void ExitStartReading();
    // Tells the engine the reader saw the rebuild in progress (and consumed its request) and
    // waits until that rebuild is over: not until the being-rebuilt flag is clear, which the
    // next rebuild, begun at once, may have set again before the reader looks; that one then
    // waits for an acknowledgement of its own, which the reader gives once it looks again.
    // Never called under the input lock: the engine takes it to exchange the connection
    // once acknowledged, and a reader holding it while it waits would wait for ever.
    void AcknowledgeRebuild();

    // The engine's side of a rebuild. BeginRebuild marks the input as being rebuilt and
    // wakes a reader waiting on its ring, and answers the rebuild's number (1, 2, ... in
    // the input's life). EndRebuild ends that rebuild: a reader that acknowledged it goes
    // on. RebuildAcknowledged tells whether a reader acknowledged it, or one begun later:
    // an acknowledgement of an earlier rebuild, given late, is not this one's.
    std::uint64_t BeginRebuild();
    void EndRebuild(std::uint64_t rebuild);
    bool RebuildAcknowledged(std::uint64_t rebuild) const { return rebuildsAcknowledged.load() >= rebuild; }
    // Gives the elements held since a detach back to the ring they came from (see
    // detachedRing); nothing when there are none. Called under `mutex`, or by the reader's
    // own thread outside a reading call before anything else touches the held elements.
    void GiveBackDetached();

    // The owning module was renamed: the module part of the full name follows (the rule of
    // the properties); the short name stays.
    void Rename(const char* oldName, const char* newName);

    // ---- Fields ---------------------------------------------------------------------------
    //
    // Public: the owning module and the engine fill and read them; the reading handshake
    // fields and the connection (ring, reader id, connected output) change under `mutex`.

    TARNStackedString<40> fullName;
    TARNStackedString<40> shortName;
    mutable TARNMutex mutex;
    // The connected output's ring; null while not connected. Outside a reading call, read
    // it through ConnectedRing.
    TARNIOMonitorImplementation* ring;
    TARNOutput* connectedOutput;
    TARNModule* owner;
    const TARNTypeFilterBase* typeFilter;
    // The definition's name pointer: the definition's identity, compared by address when
    // the module re-creates its elements.
    const char* definitionName;
    // TARNReaderType: the kind this input registers with on a ring.
    int readerType;
    // Elements read per delivery (at least 1).
    int subsampling;
    // This input's bit on the connected ring.
    int readerId;
    // The ".readerType" property; null for the non-FIFO kinds, which have none.
    TARNProperty* readerTypeProperty;
    int subsamplingCounter;
    // The ring positions of the elements held, oldest first (one after StartReading, up to
    // n after NLastStartReading), and how many there are.
    std::vector<TARNListIterator> heldPositions;
    int heldCount;
    // Null, or the ring the held elements came from when the engine disconnected the input
    // while it held them, with the reader id they were taken under: a reader cut off from
    // the graph may still use what it holds, so the ring keeps those elements (and their
    // buffers) until the reader gives them back, at its next reading call, StopReading or
    // death.
    TARNIOMonitorImplementation* detachedRing;
    int detachedReaderId;
    // 1 at construction; the reading calls give it its meaning.
    int readingKind;
    // A reading call is taking an element. Atomic: the engine's control thread polls it.
    std::atomic<bool> reading;
    // The engine is exchanging this input's connection; it sets the rebuild-request event
    // and waits for the rebuild-acknowledged event of a reader that holds nothing.
    std::atomic<bool> beingRebuilt;
    // The numbers of the last rebuild begun, of the last one ended and of the latest one a
    // reader acknowledged; 0 before the first. Rebuilds of an input follow one another, so
    // a number that has ended is over for good, whatever the flag says since.
    std::atomic<std::uint64_t> rebuildsBegun;
    std::atomic<std::uint64_t> rebuildsEnded;
    std::atomic<std::uint64_t> rebuildsAcknowledged;
    // Set when the input is connected: a reader waits on it while there is no ring or a
    // rebuild is in progress.
    TARNEvent connectionEvent;
    TARNEvent rebuildRequestEvent;
    TARNEvent rebuildAcknowledgedEvent;
};
