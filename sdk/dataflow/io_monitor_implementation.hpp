// The ring of an output: a TARNFastIO of I/O elements that also answers TARNIOMonitor, the
// walk over it that the engine and other packages see.
#pragma once

#include <vector>

#include "dataflow/fast_io.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "tarn/dataflow/io_monitor.hpp"

class TARNOutput;

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

    // The ring's elements in list order, newest first, but those of slots kept over an old
    // layout: what the output's buffers are laid out over. Only while nothing writes the
    // ring, and no reader can take one of them (none is published).
    std::vector<TARNIOEltImplementation*> Elements();
};
