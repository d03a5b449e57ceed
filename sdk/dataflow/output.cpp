#include <cstring>

#include "dataflow/element_name.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/runtime/streamed_string.hpp"

TARNOutputImplementation::TARNOutputImplementation()
    : owner(nullptr),
      ownerComponent(nullptr),
      ring(nullptr),
      definition(),
      overflowCount(0),
      periodic(false),
      player(nullptr),
      timestampHistory(nullptr),
      historyIndex(0),
      pendingFifoSize(-1) {}

TARNOutputImplementation::~TARNOutputImplementation() {
    FreeBuffer();
    TARNIOMonitorImplementation::Abandon(ring);
    delete[] timestampHistory;
}

TARNOutputBufferTarget TARNOutputImplementation::target(std::vector<TARNIOEltImplementation*>& elements) {
    elements = ring != nullptr ? ring->Elements() : std::vector<TARNIOEltImplementation*>();
    return TARNOutputBufferTarget{definition.type, fullName.c_str(), definition.name, elements};
}

void TARNOutputImplementation::AllocOutputBuffer(int isize, bool allocate) {
    prepareLayout();
    std::vector<TARNIOEltImplementation*> elements;
    buffers.AllocOutputBuffer(target(elements), isize, allocate);
}

void TARNOutputImplementation::AllocOutputBufferIplImage(const _IplImage& model, bool headerOnly) {
    prepareLayout();
    std::vector<TARNIOEltImplementation*> elements;
    buffers.AllocOutputBufferIplImage(target(elements), model, headerOnly);
}

void TARNOutputImplementation::AllocOutputBufferImage(int isize, int w, int h, unsigned int coding,
                                                      unsigned int extra, bool headerOnly) {
    prepareLayout();
    std::vector<TARNIOEltImplementation*> elements;
    buffers.AllocOutputBufferImage(target(elements), isize, w, h, coding, extra, headerOnly);
}

void TARNOutputImplementation::AllocOutputBufferTARNImage(int isize, int w, int h, unsigned int coding,
                                                          unsigned int extra, bool headerOnly) {
    AllocOutputBufferImage(isize, w, h, coding, extra, headerOnly);
}

void TARNOutputImplementation::AllocOutputBufferMatrix(int m, int n) {
    prepareLayout();
    std::vector<TARNIOEltImplementation*> elements;
    buffers.AllocOutputBufferMatrix(target(elements), m, n);
}

void TARNOutputImplementation::AllocOutputBufferAudioSignal(const TARNAudioSignal& model) {
    prepareLayout();
    std::vector<TARNIOEltImplementation*> elements;
    buffers.AllocOutputBufferAudioSignal(target(elements), model);
}

TARNIOMonitor* TARNOutputImplementation::Monitor() {
    return ring;
}

int TARNOutputImplementation::NbFreeSlotsInFIFO() const {
    return ring != nullptr ? ring->NbLosslessSlots() : 0;
}

const char* TARNOutputImplementation::TypeUnit() const {
    return definition.type.unit != nullptr ? definition.type.unit->c_str() : "";
}

const char* TARNOutputImplementation::TypeName() const {
    return definition.type.typeName != nullptr ? definition.type.typeName->c_str() : nullptr;
}

void TARNOutputImplementation::Rename(const char* oldName, const char* newName) {
    TARNPrivate::RenameElementName(fullName, oldName, newName, true);
    TARNPrivate::RenameElementName(registeredName, oldName, newName, true);
    // A replaying output's method carries the output's name in its own elements' names.
    if (player != nullptr && method != nullptr) method->Rename(oldName, newName);
}

namespace {

// The reader's module knows, for the span of its run by the writer, which input that run is
// for; a module whose run throws must not keep it, or its next read of several inputs
// outside such a run would read that input as if its writer had run it.
class SequentialRun {
  public:
    SequentialRun(TARNModule& reader, TARNInput* input) : m_reader(reader) { reader.sequentialInput = input; }
    ~SequentialRun() { m_reader.sequentialInput = nullptr; }

    SequentialRun(const SequentialRun&) = delete;
    SequentialRun& operator=(const SequentialRun&) = delete;

  private:
    TARNModule& m_reader;
};

}  // namespace

void TARNOutputImplementation::CallSequentialComponents() {
    TARNMutexGuard guard(inputListLock);
    for (TARNInput* input : connectedInputs) {
        TARNModule* reader = static_cast<TARNInputImplementation*>(input)->owner;
        if (reader == nullptr || reader->threaded) continue;
        const unsigned int before = reader->State();
        {
            SequentialRun run(*reader, input);
            reader->SequentialCore(input);
        }
        const unsigned int after = reader->State();
        if (after != before) TARNPrivate::kernel->ModuleStateChanged(reader->Name(), after);
    }
}

void TARNOutputImplementation::FreeBuffer(PublishedElements published) {
    if (ring == nullptr) {
        buffers.FreeBuffer();
        return;
    }
    // The owner may believe that nobody reads any more (its life is over, or has not begun)
    // while a reader still uses an element: one cut off from the graph keeps what it holds.
    // A published element nobody has taken yet must not be laid out anew under its own
    // timestamp (another image's header, no pixels of its own): it is dropped, as one the
    // writer overwrote, or kept over the old buffers, which then stay until it leaves.
    if (published == PublishedElements::kKeptReadable)
        ring->SetAsideHeldSlotsAndKeepPublished();
    else
        ring->SetAsideHeldSlotsAndDropPublished();
    std::vector<TARNIOEltImplementation*> elements;
    ring->KeepUntilGivenBack(buffers.TakeBlock(target(elements).elements), &TARNOutputBuffers::FreeBlock);
}

void TARNOutputImplementation::prepareLayout() {
    applyPendingFifoSize();
    if (buffers.ElementCount() == 0 && buffers.Block() != nullptr) FreeBuffer();
}

TARNStackedString<40> TARNOutputImplementation::DropOverflowed(TARNListIterator position) {
    TARNIOEltImplementation& element = TARNIOMonitorImplementation::Element(position);
    if (element.vectorSize <= element.bufferSize) return TARNStackedString<40>();
    TARNStreamedString message;
    message << "Buffer overflow detected: VectorSize(" << element.vectorSize << ") > BufferSize("
            << element.bufferSize << ")";
    ring->StopWriting(position, true);
    return TARNStackedString<40>(message.c_str());
}

void TARNOutputImplementation::SetFifoSize(int size) {
    // Below 1 the ring is empty alike; -1 stays free to mean "nothing pending".
    if (size < 0) size = 0;
    definition.fifoSize = static_cast<unsigned int>(size);
    pendingFifoSize = size;
    if (owner != nullptr && (owner->State() & TARNModule::Running)) return;
    const bool hadBuffers = buffers.ElementCount() != 0;
    applyPendingFifoSize();
    if (hadBuffers && pendingFifoSize < 0) AllocOutputBuffer(static_cast<int>(definition.bufferSize), true);
}

void TARNOutputImplementation::applyPendingFifoSize() {
    if (pendingFifoSize < 0 || ring == nullptr) return;
    // The ring refuses while a holder still uses an element, and then nothing changes:
    // the buffers under that element stay too.
    if (!ring->IsIdle()) return;
    FreeBuffer();
    if (ring->ResetFifoSize(pendingFifoSize)) pendingFifoSize = -1;
}

TARNIOEltImplementation* TARNOutputImplementation::TakeForWriting() {
    TARNListIterator position = ring->StartWriting();
    if (position == nullptr) return nullptr;
    TARNIOEltImplementation& element = TARNIOMonitorImplementation::Element(position);
    TARNMutexGuard guard(writingLock);
    beingWritten.emplace_back(&element, position);
    return &element;
}

TARNListIterator TARNOutputImplementation::TakeBackWritten(const TARNIOElt* element) {
    TARNMutexGuard guard(writingLock);
    for (auto entry = beingWritten.begin(); entry != beingWritten.end(); ++entry) {
        if (entry->first != element) continue;
        const TARNListIterator position = entry->second;
        beingWritten.erase(entry);
        return position;
    }
    return nullptr;
}

long TARNOutputImplementation::SmoothTimestamp(long timestamp, long timeOfIssue) {
    long* const history = timestampHistory;
    long& lastPublished = history[HistoryLength];
    history[historyIndex] = timestamp;
    if (periodic) {
        bool full = true;
        for (int i = 0; i < HistoryLength; ++i) full = full && history[i] != 0;
        if (full) {
            // x = 0 for the oldest entry (the one after the write index) up to
            // HistoryLength - 1 for the one just stored.
            double meanX = 0, meanT = 0;
            for (int x = 0; x < HistoryLength; ++x) {
                meanX += x;
                meanT += static_cast<double>(history[(historyIndex + 1 + x) % HistoryLength]);
            }
            meanX /= HistoryLength;
            meanT /= HistoryLength;
            double covariance = 0, variance = 0;
            for (int x = 0; x < HistoryLength; ++x) {
                const double t = static_cast<double>(history[(historyIndex + 1 + x) % HistoryLength]);
                covariance += (t - meanT) * (x - meanX);
                variance += (x - meanX) * (x - meanX);
            }
            const double slope = covariance / variance;
            timestamp = static_cast<long>(meanT - meanX * slope + slope * (HistoryLength - 1));
        }
        if (timestamp < lastPublished) timestamp = timeOfIssue;
    }
    lastPublished = timestamp;
    historyIndex = (historyIndex + 1) % HistoryLength;
    return timestamp;
}
