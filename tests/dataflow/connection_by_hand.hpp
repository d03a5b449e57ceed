// Connecting an input to an output through the bound kernel, for the tests that need an
// output -> input pair before the host runs graphs, and taking elements off the ring
// directly.
#pragma once

#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/engine/engine_graph.hpp"

inline void ConnectByHand(TARNOutput& output, TARNInput& input) { TARN::Attach(output, input); }

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
