// The two ends of a host graph around a component under test, and models for the tests'
// own components:
//   ScriptedSource          a component whose Core runs, once per life, what the test
//                           handed it (on the component's own thread), then waits to die;
//                           its outputs are made by the test after creation, and its
//                           image outputs laid out again at each birth
//   RecordingSinkComponent  a component that records every element of its input "in"
//                           (never skipping), threaded or run by its writer
//   ModelOf<T>()            the model of a test component built from its name alone, with
//                           a factory the host can call
#pragma once

#include <atomic>
#include <functional>

#include "support/feeding_source.hpp"
#include "support/recording_sink.hpp"
#include "tarn/dataflow/component.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/engine/event.hpp"

class ScriptedSource : public FeedingOutputs<TARNComponent> {
  public:
    ScriptedSource(const char* name, TARNComponentDefinition& definition)
        : FeedingOutputs<TARNComponent>(name, definition) {}

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "scriptedSource";
            definition.version = "1.0";
            definition.factory = [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new ScriptedSource(name, d);
            };
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded;
            definition.threaded = true;
            return definition;
        }();
        return model;
    }

    void Birth() override {
        fed = false;
        LayOutImages();
    }
    void Core() override {
        if (!fed.exchange(true) && script) {
            script(*this);
            done = true;
        }
        // Everything written: nothing to do until the component dies (57005).
        Wait4Event(never, -1);
    }

    // For a script: waits until `condition` holds, at most `deadline` microseconds; false
    // as soon as the component is told to die, so that a stop never waits for a script.
    bool AwaitWhileAlive(const std::function<bool()>& condition, long deadline = 10'000'000) {
        for (long waited = 0; !condition(); waited += 1'000) {
            if (waited > deadline || (State() & Dying) != 0) return false;
            dieEvent.Wait(1'000);
        }
        return true;
    }

    // Set before the graph starts; read by the component's thread only after.
    std::function<void(ScriptedSource&)> script;
    std::atomic<bool> done{false};

  private:
    std::atomic<bool> fed{false};
    TARNEvent never;
};

class RecordingSinkComponent : public TARNComponent, public SinkRecords {
  public:
    RecordingSinkComponent(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}

    static TARNComponentDefinition& Model() {
        static TARNInputDefinition inputs[] = {{"in", nullptr, nullptr, 1, 1}, {}};
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "recordingSink";
            definition.version = "1.0";
            definition.factory = [](const char* name, TARNComponentDefinition& d) -> TARNModuleBase* {
                return new RecordingSinkComponent(name, d);
            };
            definition.nbInputs = TARNComponentDefinition::NotCounted;
            definition.inputs = inputs;
            definition.priority = 128;
            definition.threadingModels = TARNComponentDefinition::Threaded | TARNComponentDefinition::Sequential;
            definition.threaded = true;
            return definition;
        }();
        return model;
    }

    void Core() override {
        if (TARNIOElt* element = StartReading(Input("in"))) Add(*element);
    }
};

// The test components take their name only and keep their model themselves; the host
// creates them through this factory.
template <class Component>
TARNComponentDefinition& ModelOf() {
    TARNComponentDefinition& model = Component::Model();
    model.factory = [](const char* name, TARNComponentDefinition&) -> TARNModuleBase* {
        return new Component(name);
    };
    model.priority = 128;
    model.threaded = true;
    return model;
}
