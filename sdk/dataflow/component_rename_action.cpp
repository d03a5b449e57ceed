// The action that renames a component after the output connected to its first input, so
// that a graph reads as what flows through it ("cam.out" feeds "cam_out").
#include "dataflow/output_implementation.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/core_function.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/engine/engine_graph.hpp"
#include "tarn/engine/reports.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace {

// Names tried after the base name: the base name followed by "_1" up to this.
constexpr int NumberedNames = 20;

// A component inside a macro-component instance is named by its path in the instance, whose
// parts a single ':' separates. "::" separates nothing: it joins the parts of a name made
// from such a path (baseNameOf).
bool isInstancePath(const char* name) {
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c != ':') continue;
        if (c[1] != ':') return true;
        ++c;
    }
    return false;
}

// The output's full name with every '.' turned into '_' and its path parts joined by "::".
TARNStackedString<40> baseNameOf(const char* outputName) {
    TARNStackedString<40> base;
    for (const char* c = outputName; *c != '\0'; ++c) {
        if (*c == '.') {
            base += "_";
        } else if (*c == ':') {
            base += "::";
            if (c[1] == ':') ++c;
        } else {
            base.concat(1, c);
        }
    }
    return base;
}

// The output connected to the module's first input; null when it has none or the first is
// not connected.
TARNOutputImplementation* firstUpstreamOutput(TARNModule& module) {
    TARNMutexGuard guard(module.moduleLock);
    if (module.inputs.Count() == 0) return nullptr;
    return static_cast<TARNOutputImplementation*>(module.inputs.Head()->Value()->ConnectedOutput());
}

bool hasInputs(TARNComponent& component) {
    TARNMutexGuard guard(component.moduleLock);
    return component.inputs.Count() != 0;
}

// An output of a component or an engine function. The engine connects a macro-component's
// input or output through a module of its own: any other module's output stands for one.
bool isNativeOutput(const TARNOutputImplementation& output) {
    return dynamic_cast<TARNComponent*>(output.owner) != nullptr ||
           dynamic_cast<TARNCoreFunction*>(output.owner) != nullptr;
}

// A module the engine connects through that is a member of an instance (a path name) is
// the instance's output, whose first input the engine connects to the output inside;
// otherwise it is the input of the macro-component whose model holds the component.
bool isMacroComponentOutput(const TARNOutputImplementation& output) {
    const char* owner = output.owner->Name();
    return owner != nullptr && isInstancePath(owner);
}

// Instances nest; a longer chain of instance outputs (a loop) reaches no native output.
constexpr int MacroComponentNesting = 64;

// The full name of the native output the component's first input reads from, through the
// outputs of the macro-component instances it lies in; the report to make when there is none.
const char* upstreamOutputName(TARNComponent& component, TARNStackedString<40>& name) {
    static constexpr const char* NotConnected =
        "This action scans what is connected to this component's first input. Please connect it in order to "
        "rename after upstream component.";
    TARNOutputImplementation* output = firstUpstreamOutput(component);
    if (output == nullptr) return NotConnected;
    if (!isNativeOutput(*output) && !isMacroComponentOutput(*output))
        return "This action scans what is connected to this component's first input. Please connect it in "
               "order to rename after upstream component. Note however that you cannot rename after a "
               "macro-component input.";
    for (int depth = 0; !isNativeOutput(*output); ++depth) {
        output = depth < MacroComponentNesting ? firstUpstreamOutput(*output->owner) : nullptr;
        if (output == nullptr || (!isNativeOutput(*output) && !isMacroComponentOutput(*output)))
            return "Cannot access macro-component output name: renaming after native component & output "
                   "inside.";
    }
    TARNMutexGuard guard(output->owner->moduleLock);
    name = output->Name();
    return nullptr;
}

void renameAfterUpstream(TARNComponent& component) {
    if (TARN::GetState() != TARN::EngineStopped) {
        component.Report("This action is not allowed when Tarnvel is running.", 1, 0);
        return;
    }
    if (!hasInputs(component)) {
        component.Report(
            "This action scans what is connected to this component's first input, but this component does "
            "not seem to have any inputs.",
            1, 0);
        return;
    }
    // A copy: the rename replaces the component's name.
    const TARNStackedString<40> current(component.Name() != nullptr ? component.Name() : "");
    if (isInstancePath(current.c_str())) {
        component.Report(
            "Renaming a component inside a Macro-Component *instance* is forbidden. You may however rename a "
            "component in the Macro-Component *model*: Right-click on the macro-component and select Edit "
            "Macro-Component.",
            1, 0);
        return;
    }
    TARNStackedString<40> outputName;
    if (const char* refusal = upstreamOutputName(component, outputName)) {
        component.Report(refusal, 1, 0);
        return;
    }
    const TARNStackedString<40> base = baseNameOf(outputName.c_str());
    for (int number = 0; number <= NumberedNames; ++number) {
        TARNStreamedString candidate;
        candidate << base.c_str();
        if (number > 0) candidate << "_" << number;
        if (candidate == current) {
            component.Report("Component is already named after its upstream component's output.", 1, 0);
            return;
        }
        if (TARN::Component(candidate.c_str()) != nullptr || TARN::CoreFunction(candidate.c_str()) != nullptr)
            continue;
        if (!TARN::RenameComponent(current.c_str(), candidate.c_str())) {
            TARNStackedString<40> message(
                "Unable to rename component after upstream component: suitable name found ('");
            message += candidate.c_str();
            message += "') but renaming failed.";
            component.Report(message.c_str(), 1, 0);
        }
        return;
    }
    component.Report(
        "Could not find an available name for component. You may change the upstream component name and "
        "try again.",
        1, 0);
}

}  // namespace

// An action may be handed any module: only a component has inputs to follow, and anything
// unexpected is reported rather than let out to the engine.
void TARNComponent::ActionRenameAfterUpstreamComponent(TARNModule* module, int) {
    try {
        auto* component = dynamic_cast<TARNComponent*>(module);
        if (component == nullptr) throw ErrorException;
        renameAfterUpstream(*component);
    } catch (...) {
        TARN::ReportError("Internal error while renaming after upstream component.", 0);
    }
}
