#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "tarn/engine/engine_recording.hpp"

TARNIOMonitorImplementation* TARNIOMonitorImplementation::CreateMonitor(TARNEvent* dieEvent, TARNOutput* output,
                                                                        int fifoSize, int subsampling) {
    return new TARNIOMonitorImplementation(dieEvent, output, fifoSize, subsampling);
}

TARNIOMonitorImplementation::TARNIOMonitorImplementation(TARNEvent* dieEvent, TARNOutput* output, int fifoSize,
                                                         int subsampling)
    : TARNFastIO(dieEvent, fifoSize, subsampling, &TARNPrivate::SignalFifoOverflow, output) {}

std::vector<TARNIOEltImplementation*> TARNIOMonitorImplementation::Elements() {
    TARNMutexGuard lock(Mutex());
    std::vector<TARNIOEltImplementation*> elements;
    for (TARNListIterator position = TARNFastIO::InitBegin(); position; TARNFastIO::InitNext(position))
        if (!Slot(position).OverOldLayout()) elements.push_back(&Element(position));
    return elements;
}
