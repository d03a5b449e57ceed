// TARNFastIO: the ring through which one writer hands elements to up to 32 readers without
// copying them. Every output owns one (over its I/O elements); the replay queue is another.
//
// The writer takes a slot (StartWriting), fills its payload and publishes it (StopWriting);
// the newest published slot is at the head of the list, the oldest at the tail. Readers take
// published slots (StartReadingX, and AchieveStartReadingX after a wait) and give them back
// (StopReading); a slot that someone holds is never handed to the writer. The writer never
// waits for ordinary readers: short of space it overwrites the oldest published slot and
// calls the overflow callback. Only NeverSkippingReaders make it wait.
//
// Waits happen without the ring mutex: a reader's wait is prepared under the mutex, which
// the preparation releases, and the caller completes it on its own (it may wait on events
// of its own too) with AchieveStartReadingX or gives it up with AbortStartReadingX.
//
// A slot a reader holds while its owner must lay out or free what lies under it can be set
// aside (SetAsideHeldSlots): it leaves the ring, a new free slot takes its place, and it
// stays its holder's until given back, when the ring deletes it; the block its payload
// points into is handed to the ring with KeepUntilGivenBack and freed once the last slot set
// aside over it came back (a block no slot set aside lies over is freed at once). A
// published slot that FIFO-group readers have still to take can stay in the ring over the
// old layout alike (SetAsideHeldSlotsAndKeepPublished): readers take it as before, a new
// free slot takes its place for the writer, and it leaves the ring once every FIFO-group
// reader has taken it, or when the writer would overwrite it. A ring
// whose owner goes while slots set aside are still held (Abandon) lives on for their holders
// and is deleted by the last of them, or by the package's unloading.
//
// Fatal misuse (a 33rd reader, an unknown reader, giving back what is not held, no slot at
// all for the writer) is reported at error level with parameter 1 and throws the integer -5,
// always with the ring mutex released and the ring unchanged.
#pragma once

#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

#include "dataflow/abandoned_rings.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/condition.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/engine/integer_exceptions.hpp"
#include "tarn/runtime/list.hpp"
#include "tarn/runtime/mutex.hpp"

template <class T>
class TARNFastIO;

// Where a slot is in its life: free -> being written -> written (published) <-> being read,
// and back to free when the writer discards it or the output subsampling drops it.
enum class TARNFastIOState : int { Written = 0, BeingWritten = 1, BeingRead = 2, Free = 3 };

// One slot of a ring: its links, its state, the readers that hold it now and the FIFO-group
// readers that have taken (or skipped) it since it was published, and the payload.
template <class T>
class TARNFastIOElt final : public TARNBasicListItem {
  public:
    TARNFastIOState State() const { return state; }
    // Published before its owner laid the ring out anew, and kept readable over the old
    // layout: its payload is no slot of the new one.
    bool OverOldLayout() const { return overOldLayout; }
    uint32_t ReadingMask() const { return readingMask; }
    uint32_t ReadMask() const { return readMask; }
    T& Element() { return element; }
    const T& Element() const { return element; }

    // Neighbours towards the newest and the oldest end; null at the ends.
    TARNFastIOElt* Newer() const { return static_cast<TARNFastIOElt*>(prev); }
    TARNFastIOElt* Older() const { return static_cast<TARNFastIOElt*>(next); }

  private:
    friend class TARNFastIO<T>;
    TARNFastIOElt() = default;

    bool isPublished() const {
        return state == TARNFastIOState::Written || state == TARNFastIOState::BeingRead;
    }

    TARNFastIOState state = TARNFastIOState::Free;
    // Taken out of the ring by SetAsideHeldSlots: only its holders reach it.
    bool setAside = false;
    // Left in the ring, published, by SetAsideHeldSlotsAndKeepPublished: never written again.
    bool overOldLayout = false;
    // Set aside or over an old layout: whether the owner has told the block its payload lies
    // over (KeepUntilGivenBack), and that block (null: none of the owner's).
    bool blockKnown = false;
    void* block = nullptr;
    uint32_t readingMask = 0;
    uint32_t readMask = 0;
    T element{};
};

namespace TARNPrivate {
// The ring's fatal errors; their texts are in fast_io.cpp.
enum class FastIOFailure {
    TooManyReaders,
    UnregisterUnknown,
    SubsamplingUnknown,
    SubsamplingNotFifo,
    SubsamplingRange,
    ReaderTypeUnknown,
    ReaderTypeNotFifo,
    ReadingUnknown,
    StopReadingWithoutStarting,
    NoSpaceToWrite,
    WritingNotStarted,
};
// Reports the failure (error level, parameter 1) and throws the integer -5. `reader` is the
// reader whose bit some texts show.
[[noreturn]] void FastIOFatal(FastIOFailure failure, int reader = 0);
}  // namespace TARNPrivate

// What the ring asks of T: default construction and destruction, nothing more. A new slot's
// payload is a fresh T() (so "clearing" a slot on ResetFifoSize is building a new one), and
// slots are destroyed by ResetFifoSize and by the ring's destructor, so T's destructor frees
// what the payload owns and nothing it merely points to (an output's element buffers belong
// to the output). The ring never copies, moves or reads a payload; whoever takes a slot
// fills or reads it through Element.
template <class T>
class TARNFastIO {
  public:
    using Elt = TARNFastIOElt<T>;
    // Called, with the ring mutex held, once for every published slot the writer reuses
    // before every FIFO-group reader took it; it must not call back into the ring.
    using OverflowCallback = void (*)(void* argument);
    static constexpr int MaxReaders = 32;

    // `ownerEvent` (not owned, may be null) is the owner's die event: it ends the writer's
    // wait (57005) and is the abort event of every reader's wait. An output subsampling
    // below 1 is taken as 1.
    TARNFastIO(TARNEvent* ownerEvent, int fifoSize, int outputSubsampling,
               OverflowCallback overflow = nullptr, void* overflowArgument = nullptr)
        : m_readers(&m_mutex, ownerEvent, -1),
          m_owner(ownerEvent),
          m_outputSubsampling(outputSubsampling < 1 ? 1 : outputSubsampling),
          m_countdown(m_outputSubsampling),
          m_overflow(overflow),
          m_overflowArgument(overflowArgument) {
        ResetFifoSize(fifoSize);
    }
    // No thread may use the ring any more: its slots go, those set aside too, and the blocks
    // kept for them are freed.
    virtual ~TARNFastIO() {
        m_slots.DeleteAll();
        m_setAside.DeleteAll();
        for (auto& [block, release] : m_kept) release(block);
    }

    TARNFastIO(const TARNFastIO&) = delete;
    TARNFastIO& operator=(const TARNFastIO&) = delete;

    // ---- Writer ---------------------------------------------------------------------------

    // A slot to fill, in state being written. Taken in this order of preference: a free slot
    // or a published one every FIFO-group reader has taken (oldest first); else the oldest
    // published slot, which counts as an overflow, once every NeverSkippingReader has taken
    // it; else the writer waits until a reader gives space back. Ways out of that wait: the
    // owner event throws 57005, AbortWriting returns null, the writer time-out throws -3;
    // any other failed wait gives up waiting and overwrites (with the overflow callback).
    // `giveUp` (may be null) is an event of the writer's own, its die event, which ends the
    // wait too, with null: a writer that is not the ring's owner (a replay thread) must not
    // outlive its own death waiting for the owner's. With every slot held, the overflow
    // callback is called and the no-space error thrown.
    TARNListIterator StartWriting(TARNEvent* giveUp = nullptr) {
        bool waitFailed = false;
        m_mutex.Lock();
        for (;;) {
            deleteOldLayoutSlotsTaken();
            Elt* slot = losslessSlot();
            if (!slot) {
                slot = oldestPublished();
                if (!slot) {
                    callOverflow();
                    m_mutex.Release();
                    TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::NoSpaceToWrite);
                }
                if (!waitFailed && (m_neverSkipping & ~slot->readMask) != 0) {
                    // The choice is made again after the wait: while the mutex was free a
                    // reader may have taken this slot, or given another one back.
                    const int result = waitForSpace(giveUp);
                    if (result == 1 || result == 2 || result == 3 || result == -3) {
                        m_mutex.Release();
                        if (result == 1) throw TARN::DieException;
                        if (result == -3) throw TARN::TimeoutException;
                        return nullptr;
                    }
                    waitFailed = result != 0;
                    continue;
                }
                callOverflow();
            }
            slot->state = TARNFastIOState::BeingWritten;
            m_mutex.Release();
            return slot;
        }
    }

    // Hands back a slot taken by StartWriting. With `discard`, or when the output subsampling
    // drops this one, it becomes free again; otherwise it is published: it becomes the
    // newest slot, read by nobody yet, and every waiting reader is woken. A discard does not
    // count towards the subsampling.
    void StopWriting(TARNListIterator position, bool discard) {
        Elt* slot = static_cast<Elt*>(position);
        m_mutex.Lock();
        if (!slot || slot->state != TARNFastIOState::BeingWritten) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::WritingNotStarted);
        }
        // Publishes at 0 or below, so that no value of the countdown holds publication back for good.
        if (discard || --m_countdown > 0) {
            slot->state = TARNFastIOState::Free;
        } else {
            m_slots.MoveToNewest(slot);
            slot->state = TARNFastIOState::Written;
            slot->readingMask = 0;
            slot->readMask = 0;
            m_countdown = m_outputSubsampling;
            m_readers.Signal();
        }
        m_mutex.Release();
    }

    // Ends the wait of a writer blocked in StartWriting, which returns null. An abort that
    // comes before the writer begins to wait is forgotten: each wait begins by clearing it.
    void AbortWriting() { m_writerAbort.Set(); }
    // Limit of the writer's wait, in microseconds; -1 (the default) waits without limit.
    void SetWriterTimeout(long microseconds) {
        TARNMutexGuard lock(m_mutex);
        m_writerTimeout = microseconds;
    }
    // Publish one written slot in `rate`. False, with nothing changed, for a rate below 1
    // (it would never publish again). The countdown runs on: the new rate counts from the
    // next publication.
    bool SetOutputSubsamplingRate(int rate) {
        if (rate < 1) return false;
        TARNMutexGuard lock(m_mutex);
        m_outputSubsampling = rate;
        return true;
    }
    int OutputSubsamplingRate() const {
        TARNMutexGuard lock(m_mutex);
        return m_outputSubsampling;
    }
    void SetOverflowCallback(OverflowCallback overflow, void* argument) {
        TARNMutexGuard lock(m_mutex);
        m_overflow = overflow;
        m_overflowArgument = argument;
    }

    // Replaces every slot by `n` new free ones (none for n below 1). Refused (false, nothing
    // changed) while a slot is being written or read: its holder still uses its payload.
    // Readers, their settings and the subsampling countdown are kept.
    bool ResetFifoSize(int n) {
        TARNMutexGuard lock(m_mutex);
        for (Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (slot->state == TARNFastIOState::BeingWritten || slot->state == TARNFastIOState::BeingRead)
                return false;
        deleteOldLayoutSlots([](const Elt&) { return true; });
        m_slots.DeleteAll();
        for (int i = 0; i < n; ++i) m_slots.AppendOldest(new Elt());
        spaceMayHaveFreed();
        return true;
    }
    // The slots of the layout: those kept over an old one are not counted.
    int FifoSize() const {
        TARNMutexGuard lock(m_mutex);
        int count = 0;
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (!slot->overOldLayout) ++count;
        return count;
    }

    // ---- Readers --------------------------------------------------------------------------

    // Registers a reader of the given kind (TARNReaderType; any other value is a plain
    // FifoReader) under the lowest free id, which it returns; a 33rd reader is fatal.
    int RegisterReader(int type) {
        m_mutex.Lock();
        if ((m_registered | m_leaving) == ~0u) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::TooManyReaders);
        }
        const int reader = std::countr_one(m_registered | m_leaving);
        const uint32_t bit = 1u << reader;
        ++m_readerCount;
        m_registered |= bit;
        if (IsFifoReaderType(type)) {
            m_fifo |= bit;
            m_setting[reader] = 0;
            setFifoKind(bit, type);
        } else {
            m_setting[reader] = static_cast<uint8_t>(type);
        }
        m_readers.Subscribe(reader);
        m_mutex.Release();
        return reader;
    }

    // Forgets a reader: its marks leave every slot, so the writer stops waiting for it and a
    // reader registered later under the same id starts afresh. What it holds is given back,
    // unless `keepHeld`: a reader let go while it still uses the elements it holds (its
    // module was cut off from the graph) keeps them until it gives each back with
    // StopReading(reader, position); the slots stay out of the writer's reach and the id
    // stays taken until the last one is back.
    void UnregisterReader(int reader, bool keepHeld = false) {
        const uint32_t bit = lockRegistered(reader, TARNPrivate::FastIOFailure::UnregisterUnknown);
        --m_readerCount;
        m_registered &= ~bit;
        m_fifo &= ~bit;
        setFifoKind(bit, FifoReader);
        m_setting[reader] = 0;
        for (Elt* slot = m_slots.Newest(); slot; slot = slot->Older()) {
            slot->readMask &= ~bit;
            if (!(slot->readingMask & bit)) continue;
            if (keepHeld) {
                m_leaving |= bit;
                continue;
            }
            slot->readingMask &= ~bit;
            if (slot->readingMask == 0) slot->state = TARNFastIOState::Written;
        }
        for (Elt* slot = m_setAside.Newest(); slot;) {
            Elt* older = slot->Older();
            if (slot->readingMask & bit) {
                if (keepHeld)
                    m_leaving |= bit;
                else
                    giveBackSetAside(slot, bit);
            }
            slot = older;
        }
        spaceMayHaveFreed();
        const ForgetFunction forget = forgetOnLastGiveBack();
        m_mutex.Release();
        if (forget != nullptr) endAbandoned(forget);
    }
    // Whether a reader let go with UnregisterReader(reader, true) still holds a slot: the
    // elements' buffers must stay until it gives them back.
    bool HasLeavingReaders() const {
        TARNMutexGuard lock(m_mutex);
        return m_leaving != 0;
    }

    // Moves a FIFO-group reader within its group: 1 NeverSkippingReader, 2 LastOrNextReader,
    // anything else a plain FifoReader. Moving between the groups is not possible.
    void SetReaderType(int reader, int type) {
        const uint32_t bit = lockRegistered(reader, TARNPrivate::FastIOFailure::ReaderTypeUnknown);
        if (!(m_fifo & bit)) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::ReaderTypeNotFifo);
        }
        setFifoKind(bit, type);
        spaceMayHaveFreed();
        m_mutex.Release();
    }

    // Records a FIFO-group reader's subsampling, 1 to 256 (its input reads that many
    // elements per delivery and keeps the last). The checks come in this order: registered,
    // FIFO group, range.
    void SetSubsamplingRate(int reader, int rate) {
        const uint32_t bit = lockRegistered(reader, TARNPrivate::FastIOFailure::SubsamplingUnknown);
        if (!(m_fifo & bit)) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::SubsamplingNotFifo);
        }
        if (rate < 1 || rate > 256) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::SubsamplingRange);
        }
        m_setting[reader] = static_cast<uint8_t>(rate - 1);
        m_mutex.Release();
    }

    // Takes the slot this reader reads next: 1 with its position stored, or 0 when there is
    // none yet and a wait has been prepared (`readerEvent` is set by the next publication,
    // `abortEvent` is the owner event). After a 0 the caller waits on both (and on what it
    // likes, without the ring mutex) and then calls AchieveStartReadingX or
    // AbortStartReadingX. A reader id that is not registered is fatal.
    //
    // FIFO-group readers take the oldest published slot newer than the last one they took
    // (a LastOrNextReader: the newest, counting the ones between as read); a SamplingReader
    // takes the newest published slot; a Wait4NextReader always waits first.
    int StartReadingX(int reader, TARNEvent** readerEvent, TARNEvent** abortEvent,
                      TARNListIterator* position) {
        const uint32_t bit = lockRegistered(reader, TARNPrivate::FastIOFailure::ReadingUnknown);
        Elt* chosen = nullptr;
        if (m_fifo & bit)
            chosen = chooseForFifoReader(bit);
        else if (m_setting[reader] == SamplingReader)
            chosen = newestPublished();
        if (chosen) {
            take(chosen, bit);
            *position = chosen;
            m_mutex.Release();
            return 1;
        }
        m_readers.WaitX(reader, readerEvent, abortEvent);
        return 0;
    }

    // Completes a wait prepared by StartReadingX (or by an earlier call of this) with the
    // result of the caller's wait on the two events: 0 the reader event, 1 the abort event
    // (throws 57005), anything else a failed wait (throws -4). Then chooses as StartReadingX
    // does (a Wait4NextReader takes the newest slot): 1 with the position stored, or 0 when
    // what woke the reader was overwritten or dropped meanwhile and the same wait has been
    // prepared again, on the same two events.
    int AchieveStartReadingX(int reader, int waitResult, TARNListIterator* position) {
        const uint32_t bit = bitOf(reader, TARNPrivate::FastIOFailure::ReadingUnknown);
        m_readers.AchieveWaitX(reader, waitResult);
        if (!(m_registered & bit)) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::ReadingUnknown);
        }
        Elt* chosen = (m_fifo & bit) ? chooseForFifoReader(bit) : newestPublished();
        if (chosen) {
            take(chosen, bit);
            *position = chosen;
            m_mutex.Release();
            return 1;
        }
        TARNEvent* sameReaderEvent = nullptr;
        TARNEvent* sameAbortEvent = nullptr;
        m_readers.WaitX(reader, &sameReaderEvent, &sameAbortEvent);
        return 0;
    }

    // Gives up a wait prepared by StartReadingX or AchieveStartReadingX (the caller was woken
    // by an event of its own).
    void AbortStartReadingX(int reader) {
        bitOf(reader, TARNPrivate::FastIOFailure::ReadingUnknown);
        m_readers.AbortWaitX(reader);
        m_mutex.Release();
    }

    // Gives back the newest slot this reader holds (in the ring, else set aside); holding
    // none is fatal. The last give-back to an abandoned ring deletes it: nothing may touch
    // the ring after that call.
    void StopReading(int reader) {
        const uint32_t bit = bitOf(reader, TARNPrivate::FastIOFailure::ReadingUnknown);
        m_mutex.Lock();
        Elt* slot = m_slots.Newest();
        while (slot && !(slot->state == TARNFastIOState::BeingRead && (slot->readingMask & bit)))
            slot = slot->Older();
        if (!slot) {
            slot = m_setAside.Newest();
            while (slot && !(slot->readingMask & bit)) slot = slot->Older();
        }
        if (!slot) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::StopReadingWithoutStarting, reader);
        }
        release(slot, bit);
        const ForgetFunction forget = forgetOnLastGiveBack();
        m_mutex.Release();
        if (forget != nullptr) endAbandoned(forget);
    }

    // Gives back the slot at `position`, which this reader must hold; as above, the last
    // give-back to an abandoned ring deletes it.
    void StopReading(int reader, TARNListIterator position) {
        const uint32_t bit = bitOf(reader, TARNPrivate::FastIOFailure::ReadingUnknown);
        Elt* slot = static_cast<Elt*>(position);
        m_mutex.Lock();
        if (!slot || slot->state != TARNFastIOState::BeingRead || !(slot->readingMask & bit)) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(TARNPrivate::FastIOFailure::StopReadingWithoutStarting, reader);
        }
        release(slot, bit);
        const ForgetFunction forget = forgetOnLastGiveBack();
        m_mutex.Release();
        if (forget != nullptr) endAbandoned(forget);
    }

    // ---- Slots left to their holders ------------------------------------------------------

    // Takes the slots readers hold out of the ring (with `cutOffOnly`, only those that no
    // registered reader holds: readers let go with UnregisterReader(reader, true) alone),
    // each replaced by a new free slot at the oldest end. A slot set aside stays in state
    // being read with its holders, who give it back as before; the ring deletes it then.
    // Answers how many were set aside.
    int SetAsideHeldSlots(bool cutOffOnly = false) {
        TARNMutexGuard lock(m_mutex);
        return setAsideHeld(cutOffOnly);
    }
    // Before the owner lays out anew what lies under the slots: the slots readers hold are
    // set aside (as SetAsideHeldSlots does), and the published ones nobody holds become
    // free (those kept over an old layout go), so that no reader takes one laid out anew
    // under its old timestamp. One step under the mutex: a reader taking a slot in between
    // would otherwise hold one of the new layout that was not set aside. A slot being
    // written stays the writer's. Answers how many slots were set aside.
    int SetAsideHeldSlotsAndDropPublished() {
        TARNMutexGuard lock(m_mutex);
        const int setAside = setAsideHeld(false);
        deleteOldLayoutSlots([](const Elt&) { return true; });
        dropPublished();
        return setAside;
    }
    // Before the owner lays out anew what lies under the slots while it runs: the published
    // slots that a FIFO-group reader has still to take, held or not, stay in the ring over
    // the old layout, readable as they were published, each with a new free slot beside it
    // for the new layout; the other slots readers hold are set aside, and the other
    // published ones become free. Of the slots kept over an earlier layout, only those a
    // never-skipping reader has still to take stay. The owner then hands the old block over with KeepUntilGivenBack, as for slots
    // set aside. One step under the mutex, as above. Answers how many slots were set aside
    // or kept.
    int SetAsideHeldSlotsAndKeepPublished() {
        TARNMutexGuard lock(m_mutex);
        // Slots kept over an earlier layout that only readers who may skip have still to
        // take go now: a reader that did not take them through a whole layout is far behind,
        // and layout after layout would pin block after block. Never-skipping readers take
        // every slot in turn, so the slots kept for them are bounded by their own progress.
        deleteOldLayoutSlots([this](const Elt& slot) { return (m_neverSkipping & ~slot.readMask) == 0; });
        int kept = 0;
        for (Elt* slot = m_slots.Newest(); slot; slot = slot->Older()) {
            if (!slot->isPublished() || slot->overOldLayout || (m_fifo & ~slot->readMask) == 0) continue;
            slot->overOldLayout = true;
            ++m_overOldLayout;
            m_slots.AppendOldest(new Elt());
            ++kept;
        }
        kept += setAsideHeld(false, /*keepOldLayout=*/true);
        dropPublished();
        return kept;
    }
    // The slot whose payload is `element`, in the ring or set aside (a holder finds what it
    // holds either way); null when there is none.
    TARNListIterator PositionOf(const T* element) const {
        TARNMutexGuard lock(m_mutex);
        for (const Slots* list : {&m_slots, &m_setAside})
            for (Elt* slot = list->Newest(); slot; slot = slot->Older())
                if (&slot->Element() == element) return slot;
        return nullptr;
    }
    // Whether a slot set aside is still held.
    bool HasSetAsideSlots() const {
        TARNMutexGuard lock(m_mutex);
        return !m_setAside.IsEmpty();
    }
    // The block the payloads of the slots set aside since the last call lie over (the
    // buffers the owner laid out under them; null when it had none): `release(block)` runs
    // once the last of those slots is given back, at once when none was set aside. Slots set
    // aside earlier lie over earlier blocks: this one is not kept for them.
    void KeepUntilGivenBack(void* block, void (*release)(void*)) {
        bool kept = false;
        {
            TARNMutexGuard lock(m_mutex);
            for (Slots* list : {&m_setAside, &m_slots})
                for (Elt* slot = list->Newest(); slot; slot = slot->Older()) {
                    if (slot->blockKnown || (list == &m_slots && !slot->overOldLayout)) continue;
                    slot->blockKnown = true;
                    slot->block = block;
                    kept = block != nullptr;
                }
            if (kept) m_kept.emplace_back(block, release);
        }
        if (!kept && block != nullptr) release(block);
    }
    // The owner is done with the ring (its output goes). Every slot still held is set aside
    // and the ring left to the holders: the last give-back deletes it, or the package's
    // unloading does. A ring nobody holds a slot of is deleted at once.
    static void Abandon(TARNFastIO* ring) {
        if (ring == nullptr) return;
        ring->m_mutex.Lock();
        ring->setAsideHeld(false);
        if (ring->m_setAside.IsEmpty()) {
            ring->m_mutex.Release();
            delete ring;
            return;
        }
        ring->m_slots.DeleteAll();
        // Before the mutex goes: a holder giving back the last slot at once must find it kept.
        // The list is this binary's (each package has its own copy of this code): the holder,
        // which may be in another package, forgets the ring through this binary's function.
        ring->m_forgetAbandoned = &TARNPrivate::ForgetAbandonedRing;
        TARNPrivate::KeepAbandonedRing(ring, &destroyAbandoned);
        ring->m_mutex.Release();
    }

    // ---- Queries (each under the ring mutex) ----------------------------------------------

    int ReaderCount() const {
        TARNMutexGuard lock(m_mutex);
        return m_readerCount;
    }
    // The reader's kind (TARNReaderType), or -1 when the id is not registered.
    int ReaderType(int reader) const {
        TARNMutexGuard lock(m_mutex);
        if (reader < 0 || reader >= MaxReaders || !(m_registered & (1u << reader))) return -1;
        const uint32_t bit = 1u << reader;
        if (!(m_fifo & bit)) return m_setting[reader];
        if (m_neverSkipping & bit) return NeverSkippingReader;
        if (m_lastOrNext & bit) return LastOrNextReader;
        return FifoReader;
    }
    // A FIFO-group reader's subsampling; 0 for any other id.
    int SubsamplingRate(int reader) const {
        TARNMutexGuard lock(m_mutex);
        if (reader < 0 || reader >= MaxReaders || !(m_fifo & (1u << reader))) return 0;
        return m_setting[reader] + 1;
    }

    // Whether this reader would take something now: for a FIFO-group reader, a published
    // slot newer than the last one it took; for the others, any published slot (even a
    // Wait4NextReader's, though it waits for the next one anyway). False for an unknown id.
    bool DataAvailable(int reader) const {
        TARNMutexGuard lock(m_mutex);
        if (reader < 0 || reader >= MaxReaders || !(m_registered & (1u << reader))) return false;
        const uint32_t bit = 1u << reader;
        if (!(m_fifo & bit)) return newestPublished() != nullptr;
        const FifoPosition at = fifoPosition(bit);
        return at.newest && at.lastTaken != at.newest;
    }
    // Published slots this reader has not taken (FIFO group), or all published slots.
    int NbDataAvailable(int reader) const {
        TARNMutexGuard lock(m_mutex);
        if (reader < 0 || reader >= MaxReaders || !(m_registered & (1u << reader))) return 0;
        const uint32_t unreadIf = (m_fifo & (1u << reader)) ? 1u << reader : 0;
        int count = 0;
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (slot->isPublished() && !(slot->readMask & unreadIf)) ++count;
        return count;
    }
    // True when nothing is being read and every published slot has been taken by every
    // FIFO-group reader.
    bool IsEmpty() const {
        TARNMutexGuard lock(m_mutex);
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older()) {
            if (slot->state == TARNFastIOState::BeingRead) return false;
            if (slot->state == TARNFastIOState::Written && (m_fifo & ~slot->readMask)) return false;
        }
        return true;
    }
    // True while a reader holds a slot.
    bool IsBeingRead() const {
        TARNMutexGuard lock(m_mutex);
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (slot->state == TARNFastIOState::BeingRead) return true;
        return false;
    }
    // After the writer stopped: every slot free again, those it left being written
    // included, so that nothing of the old run is read after the next start; the
    // subsampling countdown starts over. Refused (false, nothing changed) while a reader
    // holds a slot. With `setAsideCutOff`, slots that only readers cut off from the graph
    // hold do not refuse it: they are set aside, but only when nothing else refuses, since
    // the new slots that take their places have nothing laid out under them until the
    // owner lays its buffers out again, and a refused release keeps the buffers as they are.
    bool FreeAllSlots(bool setAsideCutOff = false) {
        TARNMutexGuard lock(m_mutex);
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (slot->state == TARNFastIOState::BeingRead &&
                (!setAsideCutOff || (slot->readingMask & m_registered)))
                return false;
        if (setAsideCutOff) setAsideHeld(true);
        deleteOldLayoutSlots([](const Elt&) { return true; });
        for (Elt* slot = m_slots.Newest(); slot; slot = slot->Older()) {
            slot->state = TARNFastIOState::Free;
            slot->readingMask = 0;
            slot->readMask = 0;
        }
        m_countdown = m_outputSubsampling;
        m_spaceFreed.Reset();
        return true;
    }
    // True when no slot is being written or read: ResetFifoSize would not be refused.
    bool IsIdle() const {
        TARNMutexGuard lock(m_mutex);
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (slot->state == TARNFastIOState::BeingWritten || slot->state == TARNFastIOState::BeingRead)
                return false;
        return true;
    }
    // Slots the writer could take now without losing data: free ones, and published ones
    // every FIFO-group reader has taken (and nobody holds); never one over an old layout.
    int NbLosslessSlots() const {
        TARNMutexGuard lock(m_mutex);
        int count = 0;
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (!slot->overOldLayout && (slot->state == TARNFastIOState::Free ||
                                         (slot->state == TARNFastIOState::Written && (m_fifo & ~slot->readMask) == 0)))
                ++count;
        return count;
    }
    // True when the next StartWriting could not take a slot without losing data (an
    // overflow, a wait or the no-space error); also for a ring without slots.
    bool IsFull() const {
        TARNMutexGuard lock(m_mutex);
        return losslessSlot() == nullptr;
    }

    // ---- Walking the slots ----------------------------------------------------------------

    // The newest slot (null for an empty ring), then each older one. A walk that must see
    // a consistent ring holds Mutex() meanwhile.
    TARNListIterator InitBegin() const { return m_slots.Newest(); }
    static TARNListIterator InitNext(TARNListIterator& position) {
        if (position) position = static_cast<Elt*>(position)->Older();
        return position;
    }
    static Elt& Slot(TARNListIterator position) { return *static_cast<Elt*>(position); }
    static T& Element(TARNListIterator position) { return Slot(position).Element(); }
    TARNMutex& Mutex() const { return m_mutex; }
    // Set when a FIFO-group reader gives back a slot every FIFO-group reader has taken;
    // never reset by the ring.
    TARNEvent& AllReadEvent() { return m_allRead; }

  private:
    // The slots, newest at the head. The items are the ring's: deleted by DeleteAll.
    class Slots final : public TARNBasicList {
      public:
        Elt* Newest() const { return static_cast<Elt*>(head); }
        Elt* Oldest() const { return static_cast<Elt*>(tail); }
        void AppendOldest(Elt* slot) { linkBack(slot); }
        void MoveToNewest(Elt* slot) {
            if (head == slot) return;
            unlink(slot);
            linkFront(slot);
        }
        void AddNewest(Elt* slot) { linkFront(slot); }
        void Remove(Elt* slot) { unlink(slot); }
        void DeleteAll() {
            for (Elt* slot = Newest(); slot;) {
                Elt* older = slot->Older();
                delete slot;
                slot = older;
            }
            forget();
        }
    };

    // Where a FIFO-group reader stands: the newest published slot and the newest published
    // slot it has taken (null when it has taken none of them).
    struct FifoPosition {
        Elt* newest = nullptr;
        Elt* lastTaken = nullptr;
    };

    // The reader's bit; a reader id outside 0 to 31 is fatal.
    static uint32_t bitOf(int reader, TARNPrivate::FastIOFailure failure) {
        if (reader < 0 || reader >= MaxReaders) TARNPrivate::FastIOFatal(failure);
        return 1u << reader;
    }
    // Takes the mutex for a registered reader and returns its bit; otherwise fatal.
    uint32_t lockRegistered(int reader, TARNPrivate::FastIOFailure failure) {
        const uint32_t bit = bitOf(reader, failure);
        m_mutex.Lock();
        if (!(m_registered & bit)) {
            m_mutex.Release();
            TARNPrivate::FastIOFatal(failure);
        }
        return bit;
    }
    void setFifoKind(uint32_t bit, int type) {
        m_neverSkipping &= ~bit;
        m_lastOrNext &= ~bit;
        if (type == NeverSkippingReader) m_neverSkipping |= bit;
        if (type == LastOrNextReader) m_lastOrNext |= bit;
    }

    // ---- Under the mutex ----

    Elt* losslessSlot() const {
        for (Elt* slot = m_slots.Oldest(); slot; slot = slot->Newer()) {
            if (slot->overOldLayout) continue;
            if (slot->state == TARNFastIOState::Free) return slot;
            if (slot->state == TARNFastIOState::Written && (m_fifo & ~slot->readMask) == 0) return slot;
        }
        return nullptr;
    }
    // The oldest published slot of the layout: the one the writer overwrites short of space.
    Elt* oldestPublished() const {
        for (Elt* slot = m_slots.Oldest(); slot; slot = slot->Newer())
            if (slot->state == TARNFastIOState::Written && !slot->overOldLayout) return slot;
        return nullptr;
    }
    Elt* newestPublished() const {
        for (Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (slot->isPublished()) return slot;
        return nullptr;
    }

    FifoPosition fifoPosition(uint32_t bit) const {
        FifoPosition at;
        for (Elt* slot = m_slots.Newest(); slot; slot = slot->Older()) {
            if (!slot->isPublished()) continue;
            if (!at.newest) at.newest = slot;
            if (slot->readMask & bit) {
                at.lastTaken = slot;
                break;
            }
        }
        return at;
    }

    // The slot a FIFO-group reader takes next, or null. For a LastOrNextReader the slots it
    // jumps over are marked as read on the way (the caller takes the result at once).
    Elt* chooseForFifoReader(uint32_t bit) {
        const FifoPosition at = fifoPosition(bit);
        if (!at.newest || at.lastTaken == at.newest) return nullptr;
        if (m_lastOrNext & bit) {
            for (Elt* slot = at.newest->Older(); slot != at.lastTaken; slot = slot->Older())
                if (slot->isPublished()) slot->readMask |= bit;
            spaceMayHaveFreed();
            return at.newest;
        }
        Elt* slot = at.lastTaken ? at.lastTaken->Newer() : m_slots.Oldest();
        while (!slot->isPublished()) slot = slot->Newer();
        return slot;
    }

    void take(Elt* slot, uint32_t bit) {
        slot->state = TARNFastIOState::BeingRead;
        slot->readingMask |= bit;
        if (m_fifo & bit) slot->readMask |= bit;
    }

    void release(Elt* slot, uint32_t bit) {
        if (slot->setAside) {
            giveBackSetAside(slot, bit);
            return;
        }
        slot->readingMask &= ~bit;
        if ((m_leaving & bit) && !holdsAny(bit)) m_leaving &= ~bit;
        if (slot->readingMask) return;
        slot->state = TARNFastIOState::Written;
        if ((m_fifo & bit) && (m_fifo & ~slot->readMask) == 0) m_allRead.Set();
        spaceMayHaveFreed();
    }

    // Every published slot of the layout that nobody holds becomes free.
    void dropPublished() {
        bool dropped = false;
        for (Elt* slot = m_slots.Newest(); slot; slot = slot->Older()) {
            if (slot->state != TARNFastIOState::Written || slot->overOldLayout) continue;
            slot->state = TARNFastIOState::Free;
            slot->readingMask = 0;
            slot->readMask = 0;
            dropped = true;
        }
        if (dropped) spaceMayHaveFreed();
    }

    // Deletes the slots over an old layout that nobody holds and `leaves` picks, and with
    // the last of them over a block that block. Their new slots stay.
    template <class Leaves>
    void deleteOldLayoutSlots(Leaves leaves) {
        if (m_overOldLayout == 0) return;
        for (Elt* slot = m_slots.Newest(); slot;) {
            Elt* older = slot->Older();
            if (slot->overOldLayout && slot->state == TARNFastIOState::Written && leaves(*slot)) {
                m_slots.Remove(slot);
                --m_overOldLayout;
                void* const block = slot->block;
                delete slot;
                if (block != nullptr) releaseUnlessSetAsideOver(block);
            }
            slot = older;
        }
    }
    // Those that every FIFO-group reader has taken: nobody reads them again. A FIFO-group
    // reader that took one finds the newest it took among the slots left, or none, and
    // takes the oldest published slot it has not taken: the slots left over an old layout
    // are older than every slot of the new one.
    void deleteOldLayoutSlotsTaken() {
        deleteOldLayoutSlots([this](const Elt& slot) { return (m_fifo & ~slot.readMask) == 0; });
    }

    bool holdsAny(uint32_t bit) const {
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (slot->readingMask & bit) return true;
        for (const Elt* slot = m_setAside.Newest(); slot; slot = slot->Older())
            if (slot->readingMask & bit) return true;
        return false;
    }

    // With `keepOldLayout`, slots over an old layout stay in the ring, held or not.
    int setAsideHeld(bool cutOffOnly, bool keepOldLayout = false) {
        int count = 0;
        for (Elt* slot = m_slots.Newest(); slot;) {
            Elt* older = slot->Older();
            if (slot->state == TARNFastIOState::BeingRead && !(keepOldLayout && slot->overOldLayout) &&
                (!cutOffOnly || !(slot->readingMask & m_registered))) {
                m_slots.Remove(slot);
                slot->setAside = true;
                m_setAside.AddNewest(slot);
                // One over an old layout had its new slot when it was kept.
                if (slot->overOldLayout)
                    --m_overOldLayout;
                else
                    m_slots.AppendOldest(new Elt());
                ++count;
            }
            slot = older;
        }
        if (count != 0) spaceMayHaveFreed();
        return count;
    }

    // One holder gives back a slot set aside; the last deletes it, and with the last slot
    // set aside over a block that block goes too.
    void giveBackSetAside(Elt* slot, uint32_t bit) {
        slot->readingMask &= ~bit;
        if ((m_leaving & bit) && !holdsAny(bit)) m_leaving &= ~bit;
        if (slot->readingMask) return;
        m_setAside.Remove(slot);
        void* const block = slot->block;
        delete slot;
        if (block != nullptr) releaseUnlessSetAsideOver(block);
    }

    void releaseUnlessSetAsideOver(void* block) {
        for (const Elt* slot = m_setAside.Newest(); slot; slot = slot->Older())
            if (slot->block == block) return;
        for (const Elt* slot = m_slots.Newest(); slot; slot = slot->Older())
            if (slot->overOldLayout && slot->block == block) return;
        for (auto kept = m_kept.begin(); kept != m_kept.end(); ++kept) {
            if (kept->first != block) continue;
            kept->second(block);
            m_kept.erase(kept);
            return;
        }
    }

    // An abandoned ring whose last slot set aside came back: the function that forgets it,
    // read while the caller holds the mutex (null when the ring is not such a one). The
    // caller deletes the ring with it once it has let the mutex go, and must not read the
    // ring after that: from then on the unloading may delete it.
    using ForgetFunction = bool (*)(void*);
    ForgetFunction forgetOnLastGiveBack() const { return m_setAside.IsEmpty() ? m_forgetAbandoned : nullptr; }
    void endAbandoned(ForgetFunction forget) {
        // The unloading may have taken it first; then it is not this thread's to delete.
        if (forget(this)) delete this;
    }
    // The unloading's deletion waits for a holder that is giving a slot back under the
    // mutex to be done with the ring.
    static void destroyAbandoned(void* ring) {
        auto* abandoned = static_cast<TARNFastIO*>(ring);
        abandoned->m_mutex.Lock();
        abandoned->m_mutex.Release();
        delete abandoned;
    }

    // Wakes a waiting writer to choose again; only a waiting writer pays for the event.
    void spaceMayHaveFreed() {
        if (m_writerWaiting) m_spaceFreed.Set();
    }

    void callOverflow() {
        if (m_overflow) m_overflow(m_overflowArgument);
    }

    // Waits, without the mutex, for a reader to free space, the owner event, an abort or the
    // writer's `giveUp` (result 3; not waited on when null); returns the wait's result with
    // the mutex held again. The events are cleared under the mutex, so whatever frees space
    // from then on wakes this wait.
    int waitForSpace(TARNEvent* giveUp) {
        m_spaceFreed.Reset();
        m_writerAbort.Reset();
        m_writerWaiting = true;
        TARNEvent* events[4] = {&m_spaceFreed, m_owner, &m_writerAbort, giveUp};
        const long timeout = m_writerTimeout;
        m_mutex.Release();
        const int result = TARNEvent::Wait(giveUp != nullptr ? 4 : 3, events, timeout);
        m_mutex.Lock();
        m_writerWaiting = false;
        return result;
    }

    mutable TARNMutex m_mutex;
    // The readers' waits: one subscriber per reader id, aborted by the owner event.
    TARNCondition2 m_readers;
    TARNEvent m_allRead;
    TARNEvent m_spaceFreed;
    TARNEvent m_writerAbort;
    TARNEvent* m_owner;
    Slots m_slots;
    // Slots taken out of the ring while held (SetAsideHeldSlots); deleted as they come back.
    Slots m_setAside;
    // Slots of the ring over an old layout (SetAsideHeldSlotsAndKeepPublished).
    int m_overOldLayout = 0;
    // The blocks slots set aside lie over, each with how to free it (KeepUntilGivenBack),
    // until the last slot set aside over it comes back.
    std::vector<std::pair<void*, void (*)(void*)>> m_kept;
    // Set when the owner went while slots set aside were held (Abandon): how the list of the
    // binary that keeps the ring forgets it.
    ForgetFunction m_forgetAbandoned = nullptr;

    int m_readerCount = 0;
    int m_outputSubsampling;
    int m_countdown;
    uint32_t m_registered = 0;
    // Readers unregistered while they held slots they still use: their ids stay taken
    // until they have given every slot back.
    uint32_t m_leaving = 0;
    uint32_t m_fifo = 0;
    uint32_t m_neverSkipping = 0;
    uint32_t m_lastOrNext = 0;
    long m_writerTimeout = -1;
    bool m_writerWaiting = false;
    // Per reader id: a FIFO-group reader's subsampling minus 1, or the kind of any other.
    uint8_t m_setting[MaxReaders] = {};

    OverflowCallback m_overflow;
    void* m_overflowArgument;
};
