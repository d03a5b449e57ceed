// Connecting an input to an output the way the engine does, for the tests that need an
// output -> input pair before the host runs graphs: the input becomes a reader of the
// output's ring with its own kind and subsampling, learns its ring, reader id and output,
// joins the output's input list, and its connection event is set.
#pragma once

#include "dataflow/input.hpp"
#include "dataflow/io_monitor.hpp"
#include "dataflow/output.hpp"
#include "dataflow/reader_type.hpp"

inline void ConnectByHand(TARNOutput& output, TARNInput& input) {
    auto& to = static_cast<TARNOutputImplementation&>(output);
    auto& from = static_cast<TARNInputImplementation&>(input);
    from.readerId = to.ring->RegisterReader(from.readerType);
    if (IsFifoReaderType(from.readerType)) to.ring->SetSubsamplingRate(from.readerId, from.subsampling);
    from.ring = to.ring;
    from.connectedOutput = &output;
    {
        TARNMutexGuard guard(to.inputListLock);
        to.connectedInputs.PushBack(&input);
    }
    from.connectionEvent.Set();
}

// The input's next element on its ring, waiting for it as a reading call does; the
// position is what StopReading gives back.
inline TARNListIterator TakeByHand(TARNInput& input, long timeout = -1) {
    auto& from = static_cast<TARNInputImplementation&>(input);
    TARNListIterator position = nullptr;
    TARNEvent* events[2] = {nullptr, nullptr};
    int taken = from.ring->StartReadingX(from.readerId, &events[0], &events[1], &position);
    while (!taken)
        taken = from.ring->AchieveStartReadingX(from.readerId, TARNEvent::Wait(2, events, timeout), &position);
    return position;
}

inline void GiveBackByHand(TARNInput& input, TARNListIterator position) {
    auto& from = static_cast<TARNInputImplementation&>(input);
    from.ring->StopReading(from.readerId, position);
}
