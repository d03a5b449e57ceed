// Synchronised reading: one element from each of several inputs, their timestamps within a
// tolerance of each other, following the direction of engine time.
#include <algorithm>
#include <vector>

#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/engine_time.hpp"

namespace {

constexpr int MaxSynchronisedInputs = 256;

struct Window {
    long lo = 0;
    long hi = 0;
};

}  // namespace

long TARNModule::SynchroStartReading2(int n, TARNInput** inputs, TARNIOElt** elements, long synchroTolerance,
                                      TARNEvent* event) {
    if (n < 1) Error("The number of inputs cannot be negative.", 1, 0);
    if (n > MaxSynchronisedInputs) Error("Can't SynchroStartRead on more than 256 inputs simultaneously. Sorry.", 1, 0);
    if (synchroTolerance < 0) Error("synchroTolerance cannot be negative", 1, 0);
    const long tolerance = synchroTolerance;
    std::fill(elements, elements + n, nullptr);
    // The inputs still without an accepted element, in the caller's order, and their
    // positions in the caller's array.
    std::vector<TARNInput*> remaining(inputs, inputs + n);
    std::vector<int> positions(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) positions[static_cast<size_t>(i)] = i;
    const auto rebuildRemaining = [&] {
        remaining.clear();
        positions.clear();
        for (int i = 0; i < n; ++i) {
            if (elements[i] != nullptr) continue;
            remaining.push_back(inputs[i]);
            positions.push_back(i);
        }
    };
    Window window;
    bool first = true;
    for (;;) {
        int index = -1;
        TARNEvent* extra[1] = {event};
        TARNIOElt* element = StartReading(static_cast<int>(remaining.size()), remaining.data(), &index,
                                          event != nullptr ? 1 : 0, extra);
        if (element == nullptr) {
            if (event != nullptr && index == static_cast<int>(remaining.size())) return -1;
            // A module without a thread reads only the input its writer ran it for: once that
            // one is accepted nothing else can come in this call, and retrying would spin
            // inside the writer for ever.
            if (!threaded) return -1;
            continue;
        }
        const int i = positions[static_cast<size_t>(index)];
        const long t = element->Timestamp();
        const bool forward = TARN::TimeSpeed() >= 0;
        elements[i] = element;
        if (first) {
            window = Window{t, t};
            first = false;
        } else {
            const long newLo = std::min(window.lo, t);
            const long newHi = std::max(window.hi, t);
            if (newHi - newLo <= tolerance) {
                window = Window{newLo, newHi};
            } else if (forward ? t < window.lo : t > window.hi) {
                elements[i] = nullptr;  // too old: this input's next element is read later
                continue;
            } else {
                // Ahead of the set: the new anchor; the others stay only while they fit it.
                window = Window{t, t};
                const long anchor = t;
                for (int j = 0; j < n; ++j) {
                    if (j == i || elements[j] == nullptr) continue;
                    const long u = elements[j]->Timestamp();
                    if (forward && anchor - u <= tolerance)
                        window.lo = std::min(window.lo, u);
                    else if (!forward && u - anchor <= tolerance)
                        window.hi = std::max(window.hi, u);
                    else
                        elements[j] = nullptr;
                }
            }
        }
        rebuildRemaining();
        if (remaining.empty()) return window.lo;
    }
}

long TARNModule::SynchroStartReading(int n, TARNInput** inputs, TARNIOElt** elements, long synchroTolerance,
                                     TARNEvent* event) {
    const long timestamp = SynchroStartReading2(n, inputs, elements, synchroTolerance, event);
    if (timestamp == -1) std::fill(elements, elements + n, nullptr);
    return timestamp;
}
