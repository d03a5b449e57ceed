// The ring of an output as the engine and other packages see it: TARNIOMonitor, a walk
// over the ring's elements, newest first. TARNIOMonitorImplementation is the output's
// ring itself, a TARNFastIO of I/O elements that also answers that interface.
#pragma once

#include <vector>

#include "dataflow/fast_io.hpp"
#include "tarn/dataflow/io_element.hpp"

class TARNOutput;

// Called through its table by the engine, so the order of the virtual operations is
// fixed: the destructors, operator[], InitBegin, InitNext.
class TARNIOMonitor {
  public:
    virtual ~TARNIOMonitor() = default;
    // The element of the ring item at `position`.
    virtual TARNIOElt& operator[](TARNListIterator position) = 0;
    // The newest item; null for a ring without items.
    virtual TARNListIterator InitBegin() = 0;
    // Moves `position` to the next older item and answers it; null past the oldest (and
    // null stays null).
    virtual TARNListIterator InitNext(TARNListIterator& position) = 0;
};

class TARNIOMonitorImplementation final : public TARNFastIO<TARNIOEltImplementation>, public TARNIOMonitor {
  public:
    // The ring of `output`: `fifoSize` free elements, one published element in
    // `subsampling`, the writer's waits ended by `dieEvent` (the owning module's), and
    // every overflow signalled to the engine with the output.
    static TARNIOMonitorImplementation* CreateMonitor(TARNEvent* dieEvent, TARNOutput* output, int fifoSize,
                                                      int subsampling);

    TARNIOMonitorImplementation(TARNEvent* dieEvent, TARNOutput* output, int fifoSize, int subsampling);

    TARNIOElt& operator[](TARNListIterator position) override { return Element(position); }
    TARNListIterator InitBegin() override { return TARNFastIO::InitBegin(); }
    TARNListIterator InitNext(TARNListIterator& position) override { return TARNFastIO::InitNext(position); }

    // The ring's elements in list order, newest first: what the output's buffers are laid
    // out over. Only while nothing writes or reads the ring.
    std::vector<TARNIOEltImplementation*> Elements();
};
