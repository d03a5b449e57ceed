// Connecting an input to an output and disconnecting it again, by objects.
#include <cstdint>
#include <string>

#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "host_kernel.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/type_filter.hpp"
#include "type_names.hpp"

namespace {

// How long the disconnecting thread waits for the reader's acknowledgement before it looks
// again whether the reader is still inside a reading call: a reader that leaves holding
// elements never acknowledges.
constexpr long AcknowledgementPoll = 10'000;  // microseconds

// Whether the input's filter takes what the output gives; an input without a filter takes
// every type. Matched on a copy: the filter is its definition's, shared by every instance of
// the model, and matching compiles its patterns into the filter matched.
bool accepts(const TARNInputImplementation& input, TARNOutput& output) {
    if (input.typeFilter == nullptr) return true;
    const TARNTypeFilterBase filter(*input.typeFilter);
    return filter.Match(output.Type());
}

}  // namespace

// As an engine does, the kernel asks the input's filter: a reader given elements of a type
// it does not take would read them as what it takes (a number as an image header).
bool HostKernel::attachRefused(TARNOutput& output, TARNInput& input, bool moving) {
    auto& to = static_cast<TARNOutputImplementation&>(output);
    auto& from = static_cast<TARNInputImplementation&>(input);
    const auto refuse = [&](const char* reason) {
        const std::string message = "Can't connect " + std::string(to.Name().c_str()) + " (" +
                                    OutputTypeText(output) + ") to " + from.Name().c_str() + " (" +
                                    FilterText(from.typeFilter) + "): " + reason;
        Report(message.c_str(), 2, 0, true);
        return true;
    };
    if (to.ring == nullptr) return refuse("the output has no ring.");
    if (!moving && from.ConnectedRing() != nullptr) return refuse("the input is connected already.");
    if (!accepts(from, output)) return refuse("the input's filter refuses the output's type.");
    return false;
}

// The input becomes a reader of the output's ring with its own kind and subsampling, learns
// its ring, reader id and output, joins the output's input list, and its connection event
// wakes a reader waiting to be connected.
bool HostKernel::Attach(TARNOutput& output, TARNInput& input) {
    if (attachRefused(output, input, false)) return false;
    auto& to = static_cast<TARNOutputImplementation&>(output);
    auto& from = static_cast<TARNInputImplementation&>(input);
    const int readerId = to.ring->RegisterReader(from.readerType);
    if (IsFifoReaderType(from.readerType)) to.ring->SetSubsamplingRate(readerId, from.subsampling);
    {
        // Under the input lock: a reader waiting to be connected reads the ring under it, and
        // finds the reader id and the output set with it.
        TARNMutexGuard guard(from.mutex);
        from.readerId = readerId;
        from.ring = to.ring;
        from.connectedOutput = &output;
    }
    {
        TARNMutexGuard guard(to.inputListLock);
        to.connectedInputs.PushBack(&input);
    }
    from.connectionEvent.Set();
    return true;
}

// The reverse of Attach, through the rebuild handshake: the ring must not be taken from a
// reader inside a reading call, so the input is marked as being rebuilt (no reading call
// starts after that), a blocked reader is woken and acknowledges, and only then is the
// reader unregistered and the input's connection cleared.
bool HostKernel::Detach(TARNOutput& output, TARNInput& input) {
    auto& to = static_cast<TARNOutputImplementation&>(output);
    auto& from = static_cast<TARNInputImplementation&>(input);
    {
        TARNMutexGuard guard(from.mutex);
        if (from.connectedOutput != &output || from.ring != to.ring) return false;
    }

    const std::uint64_t rebuild = from.BeginRebuild();
    // Acknowledged from inside a reading call, the reader waits for the next elements: what
    // it holds from the last call is done with. Only this rebuild's acknowledgement counts:
    // one of an earlier rebuild, given late, is reset and waited past.
    bool acknowledged = false;
    while (from.reading.load()) {
        if (from.rebuildAcknowledgedEvent.Wait(AcknowledgementPoll) != 0) continue;
        if (from.RebuildAcknowledged(rebuild)) {
            acknowledged = true;
            break;
        }
        from.rebuildAcknowledgedEvent.Reset();
        // Given between the wait and the reset, this one's set the event before the reset.
        if (from.RebuildAcknowledged(rebuild)) {
            acknowledged = true;
            break;
        }
    }

    {
        // Unregistering gives back on the ring what the input held there, except to a
        // reader outside a reading call: it may still use what it holds (its module may be
        // cut off from the graph, its Core never return), so the ring keeps those elements
        // out of the writer's reach, and their buffers alive, until the reader gives them
        // back where they came from. This goes with the connection, under the input lock: a
        // reader giving its elements back outside a reading call (StopReading, under that
        // lock) then finds them either on its ring or recorded as detached.
        TARNMutexGuard guard(from.mutex);
        if (from.detachedRing != nullptr) {
            // What it holds came from an earlier connection, and stays recorded as such.
            to.ring->UnregisterReader(from.readerId);
        } else if (!acknowledged && !from.heldPositions.empty()) {
            to.ring->UnregisterReader(from.readerId, true);
            from.detachedRing = to.ring;
            from.detachedReaderId = from.readerId;
        } else {
            to.ring->UnregisterReader(from.readerId);
            from.heldPositions.clear();
            from.heldCount = 0;
        }
        from.ring = nullptr;
        from.connectedOutput = nullptr;
        from.readerId = 0;
        from.connectionEvent.Reset();
    }
    from.EndRebuild(rebuild);
    // Only with the rebuild over: a writer running the input's module (one without a thread
    // of its own) holds the input list lock while that module's reading call waits for the
    // rebuild to end. Until the input leaves the list, such a call finds it unconnected.
    {
        TARNMutexGuard guard(to.inputListLock);
        if (auto* item = to.connectedInputs.Find(&input)) to.connectedInputs.Remove(item);
    }
    return true;
}
