// An output element being written by a component base: given back as discarded when the
// work leaves early or by an exception, so that no slot of the output ring stays taken for
// good.
#pragma once

#include "tarn/dataflow/module.hpp"

class TARNIOElt;

class TARNPendingOutputElement {
  public:
    TARNPendingOutputElement(TARNModule& module, TARNIOElt* element) : module(module), element(element) {}
    ~TARNPendingOutputElement() {
        if (element == nullptr) return;
        try {
            module.StopWriting(element, true);
        } catch (...) {
            // A dying module refuses it; the ring is being torn down anyway.
        }
    }
    TARNPendingOutputElement(const TARNPendingOutputElement&) = delete;
    TARNPendingOutputElement& operator=(const TARNPendingOutputElement&) = delete;

    // Publishes the element (or discards it) and forgets it.
    void Finish(bool discard) {
        TARNIOElt* done = element;
        element = nullptr;
        module.StopWriting(done, discard);
    }

  private:
    TARNModule& module;
    TARNIOElt* element;
};
