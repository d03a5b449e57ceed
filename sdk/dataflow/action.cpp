#include "dataflow/action_implementation.hpp"
#include "tarn/dataflow/definitions.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/runtime/c_library.hpp"

TARNActionImplementation::TARNActionImplementation()
    : callbacks(nullptr), allowedAtRest(false), owner(nullptr), index(0), definitionName(nullptr) {}

TARNActionImplementation::~TARNActionImplementation() {
    delete callbacks;
}

void TARNActionImplementation::Define(const TARNStackedString<40>& fullName, const char* shortName,
                                      const TARNActionDefinition& definition, TARNModule* owner) {
    this->fullName = fullName;
    this->shortName = shortName;
    definitionName = definition.name;
    allowedAtRest = definition.flag != 0;
    delete callbacks;
    callbacks = definition.callback != nullptr ? new TARNActionCallbacks(*definition.callback) : nullptr;
    this->owner = owner;
}

void TARNActionImplementation::DoIt(const char* argument) {
    if (!allowedAtRest && (owner->State() & TARNModule::MainLoopEnded) != 0) {
        owner->Report("This action is not allowed when the component is not running.", 1, 0);
        return;
    }
    if (callbacks == nullptr) return;
    if (callbacks->withArgument != nullptr)
        callbacks->withArgument(owner, index, argument);
    else if (callbacks->withoutArgument != nullptr)
        callbacks->withoutArgument(owner, index);
}

void TARNActionImplementation::Rename(const char* oldName, const char* newName) {
    const char* name = fullName.c_str();
    int prefix = 0;
    while (prefix < fullName.Length() && name[prefix] != '.') ++prefix;
    const int oldLength = TARN::Strlen(oldName);
    if (prefix != oldLength || (oldLength > 0 && TARN::Strncmp(name, oldName, oldLength) != 0)) return;
    TARNStackedString<40> renamed(newName);
    renamed.concat(fullName.Length() - prefix, name + prefix);
    fullName = renamed;
}
