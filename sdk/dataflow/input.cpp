#include "dataflow/input.hpp"

#include "dataflow/element_name.hpp"
#include "dataflow/io_monitor.hpp"
#include "dataflow/output.hpp"
#include "dataflow/reader_type.hpp"
#include "runtime/thread.hpp"

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
      readingKind(1),
      reading(false),
      beingRebuilt(false) {}

const TARNTypeInfo& TARNInputImplementation::Type() const {
    static const TARNTypeInfo unconnected;
    return connectedOutput != nullptr ? connectedOutput->Type() : unconnected;
}

bool TARNInputImplementation::DataAvailableInFIFO() {
    return ring != nullptr && ring->DataAvailable(readerId);
}

int TARNInputImplementation::NbDataAvailableInFIFO() {
    return ring != nullptr ? ring->NbDataAvailable(readerId) : 0;
}

void TARNInputImplementation::ExitStartReading() {
    TARNMutexGuard guard(mutex);
    if (beingRebuilt.load() && heldCount == 0) {
        rebuildRequestEvent.Reset();
        rebuildAcknowledgedEvent.Set();
        while (beingRebuilt.load()) TARN::Wait4AWhile();
    }
    reading.store(false);
}

void TARNInputImplementation::Rename(const char* oldName, const char* newName) {
    TARNPrivate::RenameElementName(fullName, oldName, newName);
}
