// The ring of an output as the engine and other packages see it (TARNOutput::Monitor): a
// walk over the ring's elements, newest first.
#pragma once

#include "tarn/runtime/list.hpp"

class TARNIOElt;

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
