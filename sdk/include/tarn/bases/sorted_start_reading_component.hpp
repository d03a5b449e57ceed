// TARNSortedStartReadingComponent: the base of components that read all their connected
// inputs (the derived class makes them) and handle the elements in timestamp order. An
// element is held back until every active input delivered one, or until the oldest held
// one has waited "max_latency" microseconds of engine time; one that arrives too late is
// handed on at once and counted. Engine time going backwards, a change of its speed or a
// pause flushes what is held.
//
// Core never returns (it leaves only by the die exception), so such a component runs
// threaded only.
#pragma once

#include <atomic>

#include "tarn/dataflow/component.hpp"
#include "tarn/engine/event.hpp"
#include "tarn/engine/listeners.hpp"
#include "tarn/runtime/list.hpp"

class TARNInput;
class TARNIOElt;

class TARNSortedStartReadingComponent : public TARNComponent, private TARNTimeStateListener {
  public:
    static constexpr int MaxInputs = 256;

    // One held element and the module index of its input.
    struct BufferElement {
        int inputIndex;
        TARNIOElt* element;
    };

    static TARNOutputDefinition OutputDefinitions[3];
    static TARNPropertyDefinition PropertyDefinitions[3];

    // Registers as a time-state listener once the object is whole.
    TARNSortedStartReadingComponent(const char* name, TARNComponentDefinition& definition);
    // Unregisters first: the engine must not call back into a half-destroyed component.
    ~TARNSortedStartReadingComponent() override;

    void Set(TARNProperty& property, bool value) override;  // 13
    void Set(TARNProperty& property, long value) override;  // 14
    using TARNComponent::Set;
    // Declares the two counting outputs and the two properties.
    void Dynamic() override;  // 18
    // Loops without returning.
    void Core() override;   // 19
    void Birth() override;  // 20
    void Death() override;  // 22

    // Receives each element in delivery order; `unsorted`: older than one delivered
    // before; `late`: older than max latency when it arrived.
    virtual void ProcessSortedIOElt(TARNIOElt* element, int inputIndex, bool unsorted, bool late) = 0;  // 26
    // The engine's time-state callbacks, from an engine thread: each only sets flags and
    // the time-changed event.
    void CallbackTimeJumped(long time) override;         // 27
    void CallbackTimeSpeedChanged(int speed) override;   // 28
    void CallbackTimePaused(bool paused) override;       // 29

    // Delivers one element: counts and publishes it when unsorted or late, then hands it on.
    void NewEltArrived(TARNIOElt* element, int inputIndex, bool late);
    // Drops every held element undelivered and reads every connected input again.
    void ResetQueue();

    // ---- Fields ------------------------------------------------------------------------

    std::atomic<bool> verbose{false};
    int inputCount = 0;
    int activeCount = 0;
    TARNInput* activeInputs[MaxInputs] = {};
    int activeIndices[MaxInputs] = {};
    // Sorted by timestamp, oldest at the head; at most one element per input.
    TARNList<BufferElement> queue;
    std::atomic<long> maxLatency{100000};
    unsigned int lateCount = 0;
    unsigned int unsortedCount = 0;
    TARNEvent timeChangedEvent;
    long lastDeliveredTimestamp = 0;
    std::atomic<bool> paused{false};
    std::atomic<bool> backwards{false};
    // Thousandths of real time; the timer's delay is scaled by it.
    std::atomic<int> timeSpeed{1000};

  private:
    // Re-arms the timer for the head's deadline, or disarms it.
    void armTimer(TARNEvent& timer);
    // Takes the head out of the queue, delivers it and reads its input again.
    void deliverHead(bool late);
    void makeActive(int inputIndex);
    void removeActive(int entry);
    // An element arrived on active entry `entry`.
    void arrived(TARNIOElt* element, int entry);
    // Writes the running count on one of the counting outputs.
    void publishCount(const char* output, unsigned int count, long timestamp);
};
