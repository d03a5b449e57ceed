#include "dataflow/element_name.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/runtime/thread.hpp"

TARNInputImplementation::TARNInputImplementation()
    : ring(nullptr),
      connectedOutput(nullptr),
      owner(nullptr),
      typeFilter(nullptr),
      definitionName(nullptr),
      readerType(FifoReader),
      subsampling(1),
      readerId(0),
      readerTypeProperty(nullptr),
      subsamplingCounter(0),
      heldCount(0),
      detachedRing(nullptr),
      detachedReaderId(0),
      readingKind(1),
      reading(false),
      beingRebuilt(false),
      rebuildsBegun(0),
      rebuildsEnded(0),
      rebuildsAcknowledged(0) {}

TARNInputImplementation::~TARNInputImplementation() {
    TARNMutexGuard guard(mutex);
    GiveBackDetached();
}

const TARNTypeInfo& TARNInputImplementation::Type() const {
    static const TARNTypeInfo unconnected;
    return connectedOutput != nullptr ? connectedOutput->Type() : unconnected;
}

namespace {

// The ring and this input's reader id on it, read together under the input lock.
struct Connection {
    TARNIOMonitorImplementation* ring;
    int readerId;
};

Connection connectionOf(const TARNInputImplementation& input) {
    TARNMutexGuard guard(input.mutex);
    return {input.ring, input.readerId};
}

}  // namespace

TARNIOMonitorImplementation* TARNInputImplementation::ConnectedRing() const {
    return connectionOf(*this).ring;
}

// The engine's control thread asks while the input may be attached or detached. A reader
// unregistered after the look is unknown to the ring, which then answers nothing.
bool TARNInputImplementation::DataAvailableInFIFO() {
    const Connection connection = connectionOf(*this);
    return connection.ring != nullptr && connection.ring->DataAvailable(connection.readerId);
}

int TARNInputImplementation::NbDataAvailableInFIFO() {
    const Connection connection = connectionOf(*this);
    return connection.ring != nullptr ? connection.ring->NbDataAvailable(connection.readerId) : 0;
}

void TARNInputImplementation::ExitStartReading() {
    bool acknowledge = false;
    {
        TARNMutexGuard guard(mutex);
        acknowledge = beingRebuilt.load() && heldCount == 0;
    }
    // Still reading while the rebuild runs: the flag clears only once it is over, so the
    // engine never sees a reader gone that has yet to leave the ring alone.
    if (acknowledge) AcknowledgeRebuild();
    reading.store(false);
}

void TARNInputImplementation::AcknowledgeRebuild() {
    // The request first: a rebuild begun after the number is read sets it again, and the
    // reader, looking again, sees that one too.
    rebuildRequestEvent.Reset();
    // The rebuild in progress, or the last one when it ended since the caller saw the flag
    // (then it is over and nothing is waited for).
    const std::uint64_t rebuild = rebuildsBegun.load();
    // Never lowered: a late acknowledgement of an earlier rebuild, from a thread giving an
    // element back, must not take back this one's.
    std::uint64_t acknowledged = rebuildsAcknowledged.load();
    while (acknowledged < rebuild && !rebuildsAcknowledged.compare_exchange_weak(acknowledged, rebuild)) {
    }
    rebuildAcknowledgedEvent.Set();
    while (rebuildsEnded.load() < rebuild) TARN::Wait4AWhile();
}

std::uint64_t TARNInputImplementation::BeginRebuild() {
    rebuildAcknowledgedEvent.Reset();
    std::uint64_t rebuild = 0;
    {
        // Under the input lock, so that a reading call either is already reading or sees the
        // flag and waits the rebuild out before it touches the ring.
        TARNMutexGuard guard(mutex);
        rebuild = rebuildsBegun.load() + 1;
        rebuildsBegun.store(rebuild);
        beingRebuilt = true;
    }
    rebuildRequestEvent.Set();
    return rebuild;
}

void TARNInputImplementation::EndRebuild(std::uint64_t rebuild) {
    rebuildRequestEvent.Reset();
    beingRebuilt = false;
    rebuildsEnded.store(rebuild);
}

void TARNInputImplementation::GiveBackDetached() {
    if (detachedRing == nullptr) return;
    for (TARNListIterator position : heldPositions) detachedRing->StopReading(detachedReaderId, position);
    heldPositions.clear();
    heldCount = 0;
    detachedRing = nullptr;
}

void TARNInputImplementation::Rename(const char* oldName, const char* newName) {
    TARNPrivate::RenameElementName(fullName, oldName, newName);
}
