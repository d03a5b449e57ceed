// Copying: a replay method in copy mode hands its records to a record method (the copy
// destination), which writes them again; and the registry of copy sources.
#include <vector>

#include "dataflow/io_element_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/recording/record_replay_method.hpp"

namespace {

// Copies fit this buffer on the stack; larger ones go to the heap.
constexpr int LocalCopyBytes = 1024;

}  // namespace

bool TARNRecordReplayMethod::CopyX(TARNReplayAsyncCommData& record, TARNTypeInfo& type) {
    TARNRecordReplayMethod* destination = copyDestination.load();
    if (destination == nullptr) return false;
    TARNIOEltImplementation element;
    element.bufferSize = recordedImplementation().buffers.ElementCount();
    element.timeOfIssue = record.timeOfIssue;
    element.timestamp = record.timestamp;
    element.type = type;
    if (type.type & TARNTypeInfo::CarriesFrequency) element.frequency = record.frequency;
    if (type.type & TARNTypeInfo::CarriesQuality) element.quality = record.quality;
    if (type.type & TARNTypeInfo::CarriesMiscWords) {
        element.misc1 = record.misc1;
        element.misc2 = record.misc2;
        element.misc3 = record.misc3;
    }
    // A copy, as far as the destination's writer is concerned: its completion leaves the
    // ring alone.
    element.triggerState = CopyBit;

    TARNEvent* copyEvent = destination->recorder != nullptr ? &destination->recorder->copyEvent : nullptr;
    if (copyEvent != nullptr) Wait4Event(copyEvent, -1);
    TARNMutexGuard guard(destination->recordLock);
    if (!(destination->State() & Running)) return false;
    // Copy writes into this destination, whose record lock is held and which was seen
    // running, never into one the engine named meanwhile.
    struct LockedDestination {
        TARNRecordReplayMethod*& held;
        ~LockedDestination() { held = nullptr; }
    } locked{lockedCopyDestination};
    lockedCopyDestination = destination;
    const bool copied = Copy(element, record.recordNumber, record.text.c_str(), type);
    // Only what was written counts as a record.
    if (copied) ++destination->recordCount;
    return copied;
}

bool TARNRecordReplayMethod::Copy(TARNIOElt& element, int recordNumber, const char* text, TARNTypeInfo& type) {
    const int size = recordedOutput->IOEltSizeBytes();
    if (size == 0) {
        TARNPrivate::Report("Copy impossible. The copy operator is not correctly defined.", 2, 1, true);
        return false;
    }
    unsigned char local[LocalCopyBytes];
    std::vector<unsigned char> heap;
    if (size > LocalCopyBytes) heap.resize(static_cast<std::size_t>(size));
    element.Data() = size > LocalCopyBytes ? heap.data() : local;
    const bool filled = ReplayIOElt(element, recordNumber, text, type);
    // The destination CopyX locked; none outside a copy. The engine may end the copy
    // (RemoveCopySource) meanwhile: a copy ended before the record is written copies
    // nothing.
    TARNRecordReplayMethod* destination = lockedCopyDestination;
    if (destination != nullptr && copyDestination.load() != destination) destination = nullptr;
    if (filled && destination != nullptr) {
        if (!destination->headingRecorded) destination->RecordHeading(element);
        destination->RecordTime(element);
        destination->RecordIOElt(element);
    }
    // The buffer is valid only during this call.
    element.Data() = nullptr;
    return filled && destination != nullptr;
}

void TARNRecordReplayMethod::AddCopySource(TARNRecordReplayMethod* source, TARNPlayer* player) {
    if (source == nullptr || player == nullptr)
        TARNPrivate::KernelError("NULL pointer while initialising copy operation.", 2);
    {
        TARNMutexGuard guard(copySourceLock);
        copySources.PushBack(source);
    }
    TARNMutexGuard guard(source->copySourceLock);
    source->copyPlayer = player;
}

void TARNRecordReplayMethod::RemoveCopySource(TARNRecordReplayMethod* source) {
    if (source == nullptr) TARNPrivate::KernelError("NULL pointer while aborting copy operation.", 2);
    source->copyMode = false;
    source->copyDestination.store(nullptr);
    TARNMutexGuard guard(copySourceLock);
    auto* entry = copySources.Find(source);
    if (entry == nullptr) return;
    TARNPlayer* player = source->recordedImplementation().player;
    TARNPlayer* handedOn = nullptr;
    {
        TARNMutexGuard sourceGuard(source->copySourceLock);
        handedOn = source->copyPlayer;
        source->copyPlayer = nullptr;
    }
    // The player goes on pacing the next source that copies from it, or this method.
    TARNRecordReplayMethod* heir = this;
    for (auto* item = copySources.Head(); item != nullptr; item = item->Next()) {
        TARNRecordReplayMethod* other = item->Value();
        if (other == source) continue;
        TARNMutexGuard otherGuard(other->copySourceLock);
        if (other->copyPlayer == player) {
            heir = other;
            break;
        }
    }
    if (heir != this) {
        TARNMutexGuard heirGuard(heir->copySourceLock);
        heir->copyPlayer = handedOn;
    } else {
        copyPlayer = handedOn;
    }
    copySources.Remove(entry);
}
