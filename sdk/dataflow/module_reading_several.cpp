// Reading on several inputs at once: the module waits for whichever input delivers first,
// or for one of the caller's own events.
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/dataflow/reader_type.hpp"
#include "tarn/engine/reports.hpp"

namespace {

constexpr int MaxInputs = 32;
constexpr int MaxCallerEvents = 32;

TARNInputImplementation& implementationOf(TARNInput* input) {
    return *static_cast<TARNInputImplementation*>(input);
}

// The inputs of one wait pass. Every input it marked as reading and every ring wait it
// prepared is undone when the pass ends, whatever ends it (an element, a caller event, a
// rebuild, 57005 or -5), except what the winning input took over.
class WaitPass {
  public:
    struct Entry {
        TARNInputImplementation* input = nullptr;
        bool reading = false;
        bool waitPrepared = false;
        // Index in the event list of the input's first event.
        int base = 0;
    };

    ~WaitPass() { Abandon(); }

    Entry& Add(TARNInputImplementation& input, int base) {
        Entry& entry = entries[count++];
        entry = Entry{&input, false, false, base};
        return entry;
    }
    // Marks the input as reading when it is connected and not being rebuilt, as a single
    // reading call does: looked at under the input lock, so that the engine either sees the
    // flag or finds the input not reading; Attach changes the ring under the same lock.
    static bool BeginReading(Entry& entry) {
        TARNMutexGuard guard(entry.input->mutex);
        entry.input->GiveBackDetached();
        if (entry.input->ring == nullptr || entry.input->beingRebuilt.load()) return false;
        entry.input->reading.store(true);
        entry.reading = true;
        return true;
    }
    static void EndReading(Entry& entry) {
        if (entry.waitPrepared) entry.input->ring->AbortStartReadingX(entry.input->readerId);
        entry.waitPrepared = false;
        if (entry.reading) entry.input->ExitStartReading();
        entry.reading = false;
    }
    void Abandon() {
        for (int i = 0; i < count; ++i) EndReading(entries[i]);
    }
    // The input whose events include `eventIndex`.
    int Owner(int eventIndex) const {
        int owner = 0;
        for (int i = 0; i < count; ++i)
            if (entries[i].base <= eventIndex) owner = i;
        return owner;
    }

    Entry entries[MaxInputs];
    int count = 0;
};

void throwIfDying(const TARNModule& module) {
    if (module.State() & TARNModule::Dying) throw TARNModule::DieException;
}

// A module without a thread reads only the input whose data made its writer run it, and
// never waits.
TARNIOElt* readTrigger(TARNModule& module, int n, TARNInput** inputs, int* index) {
    if (n < 1) {
        *index = -1;
        return nullptr;
    }
    for (int i = 0; i < n; ++i) {
        TARNInputImplementation& input = implementationOf(inputs[i]);
        if (input.beingRebuilt.load() && input.heldCount > 0) {
            module.StopReading(input);
            *index = i;
            return nullptr;
        }
    }
    *index = -1;
    for (int i = 0; i < n; ++i)
        if (inputs[i] == module.sequentialInput) *index = i;
    if (*index < 0 || !inputs[*index]->IsConnected()) return nullptr;
    return module.StartReading(*inputs[*index]);
}

TARNIOElt* readSeveral(TARNModule& module, int n, TARNInput** inputs, int* index, int nEvents,
                       TARNEvent** events, bool messages) {
    throwIfDying(module);
    if (messages && TARNEvent::MsgInQueue()) {
        *index = -2;
        return nullptr;
    }
    if (nEvents > MaxCallerEvents)
        TARNPrivate::KernelError(messages ? "MsgStartReading can't wait on more than 32 events simultaneously."
                                          : "StartReading can't wait on more than 32 events simultaneously.",
                                 1);
    if (n > MaxInputs)
        TARNPrivate::KernelError(messages ? "MsgStartReading can't wait for more than 32 inputs simultaneously."
                                          : "StartReading can't wait for more than 32 inputs simultaneously.",
                                 1);
    if (!module.threaded) return messages ? nullptr : readTrigger(module, n, inputs, index);
    if (nEvents < 0) nEvents = 0;
    for (;;) {
        throwIfDying(module);
        WaitPass pass;
        TARNEvent* list[1 + 2 * MaxInputs + MaxCallerEvents];
        int listed = 0;
        list[listed++] = &module.dieEvent;
        int winner = -1;
        TARNListIterator position = nullptr;
        for (int i = 0; i < n && winner < 0; ++i) {
            TARNInputImplementation& input = implementationOf(inputs[i]);
            WaitPass::Entry& entry = pass.Add(input, listed);
            if (WaitPass::BeginReading(entry)) {
                if (input.readerType == SamplingReader) {
                    WaitPass::EndReading(entry);
                    TARNStackedString<40> message(
                        "StartReading on multiple inputs is not possible with SamplingReader inputs. ");
                    message += input.fullName;
                    message += " is a SamplingReader input.";
                    module.Error(message.c_str(), 1, 0);
                }
                TARNEvent* readerEvent = nullptr;
                TARNEvent* abortEvent = nullptr;
                if (input.ring->StartReadingX(input.readerId, &readerEvent, &abortEvent, &position)) {
                    winner = i;
                    break;
                }
                entry.waitPrepared = true;
                list[listed++] = readerEvent;
                list[listed++] = &input.rebuildRequestEvent;
            } else if (input.beingRebuilt.load() && input.heldCount > 0) {
                pass.Abandon();
                module.StopReading(input);
                *index = i;
                return nullptr;
            } else {
                list[listed++] = &input.connectionEvent;
            }
        }
        if (winner < 0) {
            const int callerBase = listed;
            for (int k = 0; k < nEvents; ++k) list[listed++] = events[k];
            const int fired = messages ? TARNEvent::MsgWait(listed, list, -1) : TARNEvent::Wait(listed, list, -1);
            if (module.State() & TARNModule::Dying) throw TARNModule::DieException;
            if (fired == -2 && messages) {
                *index = -2;
                return nullptr;
            }
            if (fired >= callerBase) {
                *index = n + (fired - callerBase);
                return nullptr;
            }
            if (fired == 0) throw TARNModule::DieException;
            if (fired < 0) continue;  // a failed wait: look again
            const int i = pass.Owner(fired);
            WaitPass::Entry& entry = pass.entries[i];
            TARNInputImplementation& input = *entry.input;
            if (entry.waitPrepared && fired == entry.base) {
                entry.waitPrepared = false;
                if (!input.ring->AchieveStartReadingX(input.readerId, 0, &position)) {
                    // What woke it was overwritten meanwhile: look again.
                    entry.waitPrepared = true;
                    continue;
                }
                winner = i;
            } else if (entry.waitPrepared) {
                input.rebuildRequestEvent.Reset();
                pass.Abandon();
                if (input.beingRebuilt.load() && input.heldCount > 0) {
                    module.StopReading(input);
                    *index = i;
                    return nullptr;
                }
                if (input.beingRebuilt.load()) input.AcknowledgeRebuild();
                continue;
            } else {
                input.connectionEvent.Reset();
                continue;
            }
        }
        // The winner keeps its reading flag until it holds the element; the others go.
        WaitPass::Entry& won = pass.entries[winner];
        TARNInputImplementation& input = *won.input;
        won.reading = false;
        pass.Abandon();
        if (++input.subsamplingCounter < input.subsampling) {
            input.ring->StopReading(input.readerId, position);
            input.ExitStartReading();
            continue;
        }
        input.subsamplingCounter = 0;
        for (TARNListIterator held : input.heldPositions) input.ring->StopReading(input.readerId, held);
        input.heldPositions.assign(1, position);
        input.heldCount = 1;
        input.ExitStartReading();
        *index = winner;
        return &TARNIOMonitorImplementation::Element(position);
    }
}

TARNIOElt* readSeveralOrFail(TARNModule& module, int n, TARNInput** inputs, int* index, int nEvents,
                             TARNEvent** events, bool messages) {
    try {
        return readSeveral(module, n, inputs, index, nEvents, events, messages);
    } catch (int code) {
        if (code != TARNModule::ErrorException) throw;
        module.Error("Failed to start reading on multiple inputs", 1, 0);
    }
    return nullptr;
}

}  // namespace

TARNIOElt* TARNModule::StartReading(int n, TARNInput** inputs, int* index, int nEvents, TARNEvent** events) {
    return readSeveralOrFail(*this, n, inputs, index, nEvents, events, false);
}

TARNIOElt* TARNModule::MsgStartReading(int n, TARNInput** inputs, int* index, int nEvents, TARNEvent** events) {
    return readSeveralOrFail(*this, n, inputs, index, nEvents, events, true);
}
