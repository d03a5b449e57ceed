// The action a module makes from its definition: what the engine reaches through TARNAction.
#pragma once

#include "tarn/dataflow/action.hpp"
#include "tarn/runtime/stacked_string.hpp"

class TARNModule;
struct TARNActionCallbacks;
class TARNActionDefinition;

// The one implementation of TARNAction. The owning module makes it, fills it from its
// definition (Define) and owns it; the action owns its copy of the callbacks.
class TARNActionImplementation : public TARNAction {
  public:
    // Empty names, no callbacks, no owner, index 0.
    TARNActionImplementation();
    // Frees the callbacks' copy.
    ~TARNActionImplementation() override;

    TARNActionImplementation(const TARNActionImplementation&) = delete;
    TARNActionImplementation& operator=(const TARNActionImplementation&) = delete;

    // Fills a new action: its names, the address of the definition's name (which
    // identifies the definition when a module re-creates its elements), the flag, its own
    // copy of the callbacks (none when the definition has none) and its owner.
    void Define(const TARNStackedString<40>& fullName, const char* shortName,
                const TARNActionDefinition& definition, TARNModule* owner);

    // Nothing happens, apart from a warning, while the owner rests (its main loop ended)
    // unless the action may run at rest. Otherwise runs the callback with an argument when
    // there is one, else the one without; with no callbacks nothing happens.
    void DoIt(const char* argument) override;
    const TARNStackedString<40>& Name() const override { return fullName; }
    const TARNStackedString<40>& ShortName() const override { return shortName; }

    // The owning module was renamed from `oldName` to `newName`: when the part of the full
    // name before its first point (the whole name when it has none) is `oldName`, that part
    // becomes `newName` (empty when null); the rest, from the point on, stays. Any other
    // full name stays, and the short name never changes.
    void Rename(const char* oldName, const char* newName);

    TARNStackedString<40> fullName;
    TARNStackedString<40> shortName;
    // Owned copy; null when the definition had no callbacks.
    TARNActionCallbacks* callbacks;
    // The action may run while the component is not running.
    bool allowedAtRest;
    TARNModule* owner;
    // The action's position among the owner's actions, handed to the callback.
    int index;
    // The definition's own name pointer: the definition's identity, compared by address.
    const char* definitionName;
};
