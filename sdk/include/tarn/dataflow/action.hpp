// Actions: named commands a module offers to the engine's user.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

// The public interface of an action. The engine calls these through the table, so the
// order of the virtual operations is fixed: DoIt, Name, ShortName, then the destructors.
class TARNAction {
  public:
    // Runs the action with the argument the engine passes (may be null).
    virtual void DoIt(const char* argument) = 0;
    // The module name, a point and the short name.
    virtual const TARNStackedString<40>& Name() const = 0;
    virtual const TARNStackedString<40>& ShortName() const = 0;
    virtual ~TARNAction() = default;
};
