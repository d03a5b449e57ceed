// The pre-trigger buffer: copies of the elements that came while "trigger" was false (or
// while the recorder's blackbox kept the method from writing), trimmed to a window of time
// and count, marked at a trigger and written oldest first.
#include <atomic>
#include <climits>
#include <cstring>
#include <exception>
#include <string>

#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_element_kind.hpp"
#include "dataflow/io_element_layout.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/recording/record_replay_method.hpp"

namespace {

unsigned int copyState(TARNIOElt* copy) {
    return std::atomic_ref<unsigned int>(static_cast<TARNIOEltImplementation*>(copy)->triggerState).load();
}

void setCopyState(TARNIOEltImplementation& copy, unsigned int state) {
    std::atomic_ref<unsigned int>(copy.triggerState).store(state);
}

// Releases the module lock the caller holds when the scope ends.
class HeldModuleLock {
  public:
    explicit HeldModuleLock(TARNMutex2& lock) : m_lock(lock) {}
    ~HeldModuleLock() { m_lock.Release(); }
    HeldModuleLock(const HeldModuleLock&) = delete;
    HeldModuleLock& operator=(const HeldModuleLock&) = delete;

  private:
    TARNMutex2& m_lock;
};

// The recorder's blackbox write lock, when the recorder is writing.
class BlackboxFlushHold {
  public:
    explicit BlackboxFlushHold(TARNRecorder* recorder) {
        if (recorder == nullptr || !recorder->blackbox.load()) return;
        TARNMutexGuard stateGuard(recorder->blackboxStateLock);
        if (!recorder->blackboxWrite) return;
        recorder->blackboxWriteLock.Lock();
        m_lock = &recorder->blackboxWriteLock;
    }
    ~BlackboxFlushHold() {
        if (m_lock != nullptr) m_lock->Release();
    }
    BlackboxFlushHold(const BlackboxFlushHold&) = delete;
    BlackboxFlushHold& operator=(const BlackboxFlushHold&) = delete;

  private:
    TARNMutex* m_lock = nullptr;
};

}  // namespace

// ---- Properties ---------------------------------------------------------------------------

long TARNRecordReplayMethod::integerProperty(TARNProperty* property) {
    long value = 0;
    if (property != nullptr) Get(*property, value);
    return value;
}

bool TARNRecordReplayMethod::booleanProperty(TARNProperty* property) {
    bool value = false;
    if (property != nullptr) Get(*property, value);
    return value;
}

// ---- The ring of items --------------------------------------------------------------------

TARNListItem<TARNIOElt*>* TARNRecordReplayMethod::nextInRing(TARNListItem<TARNIOElt*>* item) const {
    return item->Next() != nullptr ? item->Next() : triggerBuffer.Head();
}

bool TARNRecordReplayMethod::insideWindow(TARNIOEltImplementation& copy, long t, long bufferTime,
                                          long bufferSize) const {
    if (t - copy.timeOfIssue <= bufferTime) return true;
    const int age = static_cast<int>(static_cast<unsigned int>(elementSequenceCounter) - copy.bufferIndex);
    return age <= bufferSize;
}

TARNListItem<TARNIOElt*>* TARNRecordReplayMethod::takeSlot() {
    if (flushCursor == nullptr) {
        if (triggerBuffer.IsEmpty()) {
            TARNListItem<TARNIOElt*>* item = triggerBuffer.PushBack(new TARNIOEltImplementation());
            flushCursor = flushEnd = item;
            return item;
        }
        TARNListItem<TARNIOElt*>* item = triggerBuffer.Head();
        flushCursor = item;
        flushEnd = nextInRing(item);
        return item;
    }
    if (flushCursor != flushEnd) {
        TARNListItem<TARNIOElt*>* item = flushEnd;
        flushEnd = nextInRing(flushEnd);
        return item;
    }
    // Full: one more item after the newest copy; the buffer stays full.
    return triggerBuffer.InsertBefore(flushEnd, new TARNIOEltImplementation());
}

void TARNRecordReplayMethod::giveSlotBack() {
    flushEnd = flushEnd->Prev() != nullptr ? flushEnd->Prev() : triggerBuffer.Tail();
    if (flushCursor == flushEnd) flushCursor = flushEnd = nullptr;
}

TARNIOEltImplementation& TARNRecordReplayMethod::copyIntoSlot(TARNIOElt& element, unsigned int state) {
    TARNListItem<TARNIOElt*>* item = takeSlot();
    auto& copy = static_cast<TARNIOEltImplementation&>(*item->Value());
    copy.bufferIndex = static_cast<unsigned int>(elementSequenceCounter++);
    try {
        ProcessBufferItem(element, copy);
    } catch (...) {
        // A slot left taken would hold a copy that is neither droppable nor marked, and
        // stop every trimming and every writing of marked copies behind it.
        giveSlotBack();
        throw;
    }
    copy.timestamp = element.Timestamp();
    copy.timeOfIssue = element.TimeOfIssue();
    setCopyState(copy, state);
    if (state & MarkedBit) ++markedCopies;
    return copy;
}

void TARNRecordReplayMethod::trimTriggerBuffer(long t) {
    const long bufferTime = integerProperty(triggerBufferTimeProperty);
    const long bufferSize = integerProperty(triggerBufferSizeProperty);
    while (flushCursor != nullptr) {
        auto& copy = static_cast<TARNIOEltImplementation&>(*flushCursor->Value());
        if (!(copyState(&copy) & DroppableBit) || insideWindow(copy, t, bufferTime, bufferSize)) return;
        flushCursor = nextInRing(flushCursor);
        if (flushCursor == flushEnd) flushCursor = flushEnd = nullptr;
    }
}

void TARNRecordReplayMethod::markCopy(TARNIOEltImplementation& copy) {
    setCopyState(copy, Marked);
    ++markedCopies;
}

void TARNRecordReplayMethod::writeCopy(TARNIOEltImplementation& copy) {
    if (copyState(&copy) & MarkedBit) --markedCopies;
    setCopyState(copy, Writing);
    writtenSequenceEnd = static_cast<int>(copy.bufferIndex + 1);
    RecordTime(copy);
    RecordIOElt(copy);
    ++recordCount;
}

// ---- Trigger and flush --------------------------------------------------------------------

void TARNRecordReplayMethod::Trigger(bool) {
    Set(*triggerProperty, true);
    TARNPrivate::Report((std::string("Trigger ") + (Name() ? Name() : "")).c_str(), 0, 0, true);
}

void TARNRecordReplayMethod::Flush(bool takeLock) {
    if (takeLock) moduleLock.Lock();
    HeldModuleLock release(moduleLock);
    BlackboxFlushHold writeHold(recorder);

    const long bufferSize = integerProperty(triggerBufferSizeProperty);
    const long bufferTime = integerProperty(triggerBufferTimeProperty);
    trimTriggerBuffer(triggerTime);
    if (flushCursor == nullptr) return;
    // From the first copy kept to the end; a whole turn when every item is occupied. A copy
    // being written stops the dropping, so copies older than elements already written may
    // lie behind it, inside a window widened since: marking them would write them after
    // those elements.
    TARNListItem<TARNIOElt*>* item = flushCursor;
    do {
        auto& copy = static_cast<TARNIOEltImplementation&>(*item->Value());
        const bool unwritten =
            static_cast<int>(copy.bufferIndex - static_cast<unsigned int>(writtenSequenceEnd)) >= 0;
        if (!(copyState(&copy) & (HandedOverBit | MarkedBit)) && unwritten &&
            insideWindow(copy, triggerTime, bufferTime, bufferSize))
            markCopy(copy);
        item = nextInRing(item);
    } while (item != flushEnd);
}

void TARNRecordReplayMethod::FreeRecordMethodBuffers() {
    for (auto* item = triggerBuffer.Head(); item != nullptr; item = item->Next()) {
        auto* copy = static_cast<TARNIOEltImplementation*>(item->Value());
        delete[] static_cast<unsigned char*>(copy->data);
        delete copy;
    }
    triggerBuffer.Clear();
    flushCursor = nullptr;
    flushEnd = nullptr;
    markedCopies = 0;
}

// ---- Copying an element -------------------------------------------------------------------

void TARNRecordReplayMethod::ProcessBufferItem(TARNIOElt& source, TARNIOElt& copy) {
    const TARNIOEltKind kind = TARNPrivate::IOEltKindOf(recordedOutput->Type());
    const auto* from = static_cast<const unsigned char*>(source.Data());
    const bool structured = !TARNPrivate::IsPlainIOEltKind(kind) && TARNPrivate::IOEltHeaderBytes(kind) > 0;

    // The bytes the copy takes are those the source's payload lays out: its header and the
    // parts it has (an image without region of interest has none; a matrix may have only
    // its real array), or its used items.
    TARNPrivate::IOEltPayloadLayout layout;
    unsigned long bytes = 0;
    if (from != nullptr) {
        if (structured) {
            layout = TARNPrivate::DescribeIOEltPayload(kind, from, source.VectorSize());
            bytes = layout.valid ? layout.TotalBytes() : TARNIOElt::UnknownSize;
        } else {
            bytes = source.IOEltUsedSizeInBytes(nullptr);
        }
    }
    if (bytes == TARNIOElt::UnknownSize || bytes > static_cast<unsigned long>(INT_MAX))
        TARNPrivate::KernelError("Can't copy this element into the trigger buffer: its size is unknown.", 1);

    const int needed = static_cast<int>(bytes);
    if (needed > 0 && (copy.Data() == nullptr || copy.BufferItemSize() < needed)) {
        delete[] static_cast<unsigned char*>(copy.Data());
        copy.Data() = nullptr;
        copy.Data() = new unsigned char[needed];
        copy.BufferItemSize() = needed;
    }
    copy.Type() = source.Type();
    auto* to = static_cast<unsigned char*>(copy.Data());
    if (needed > 0 && structured) {
        std::memcpy(to, from, layout.headerBytes);
        unsigned long offset = layout.headerBytes;
        for (int i = 0; i < layout.partCount; ++i) {
            const auto& part = layout.parts[i];
            const void* partSource;
            std::memcpy(&partSource, from + part.referenceOffset, sizeof partSource);
            std::memcpy(to + offset, partSource, part.bytes);
            unsigned char* partCopy = to + offset;
            std::memcpy(to + part.referenceOffset, &partCopy, sizeof partCopy);
            offset += part.bytes;
        }
        // The copy's engine image has exactly the room of its data.
        if (kind == TARNIOEltKind::TARNImage) reinterpret_cast<::TARNImage*>(to)->bufferSize = reinterpret_cast<::TARNImage*>(to)->size;
    } else if (needed > 0) {
        std::memcpy(to, from, bytes);
    }
    copy.BufferSize() = source.BufferSize();
    copy.VectorSize() = source.VectorSize();
    copy.Frequency() = source.Frequency();
    copy.Quality() = source.Quality();
    copy.Misc1() = source.Misc1();
    copy.Misc2() = source.Misc2();
    copy.Misc3() = source.Misc3();
}
