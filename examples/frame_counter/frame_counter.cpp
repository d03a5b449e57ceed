// frame_counter.pck: a package with one component model, "frame_counter", which counts the
// elements that reach its input, whatever their type, and publishes the count with each:
// one Integer64 on its output "count", with the element's timestamp. "step" is what each
// element adds, from 1 to 1000; the read-only "rFrames" shows the count and "rRate" the elements per second
// of their timestamps. Its action "restart" counts the next element from 0 again.
//
// Written as any author writes a component of its own, straight on TARNComponent: it
// declares its input, output, properties and action in its tables and does its work in
// Birth and Core. It includes the SDK's umbrella header and nothing else.
#include "tarn/tarn.hpp"

namespace {

class FrameCounter : public TARNComponent {
  public:
    static TARNComponentDefinition model;

    static TARNModuleBase* Instantiate(const char* instanceName, TARNComponentDefinition& record) {
        return new FrameCounter(instanceName, record);
    }

    FrameCounter(const char* instanceName, TARNComponentDefinition& record)
        : TARNComponent(instanceName, record) {}

    // Each run counts afresh.
    void Birth() override {
        count = 0;
        frames = 0;
        DirectSet(Property("rFrames"), 0L);
        DirectSet(Property("rRate"), 0.0);
    }

    // "step" takes 1 to 1000. Every Set of an integer property comes here, the engine's and
    // graph.Set's: a value out of range is refused with a report, and the property keeps
    // the value it had. The using declaration keeps the SDK's other Set overloads (bool,
    // double, text, ...) in view, which this one would otherwise hide.
    using TARNComponent::Set;
    void Set(TARNProperty& property, long value) override {
        if (property.ShortName() == "step" && (value < 1 || value > 1000)) {
            Report("step takes 1 to 1000: the value is refused", 2, 0);
            return;
        }
        TARNComponent::Set(property, value);
    }

    // The action "restart". The engine runs an action on its own thread while Core runs on
    // the component's: the action only leaves its request, which Core takes.
    static void Restart(TARNModule* module, int) {
        auto* counter = static_cast<FrameCounter*>(module);
        TARNMutexGuard guard(counter->restartLock);
        counter->restartAsked = true;
    }

    // One element a pass: read it, count it, publish the count.
    void Core() override {
        TARNIOElt* frame = StartReading(Input("in"));
        if (frame == nullptr) return;
        const long timestamp = frame->Timestamp();
        if (frames == 0) firstTimestamp = timestamp;
        ++frames;

        long step = 1;
        Get(Property("step"), step);
        if (takeRestart()) count = 0;
        count += step;

        TARNIOElt* published = StartWriting(Output("count"), timestamp);
        if (published == nullptr) return;
        published->Integer64(0)[0] = count;
        StopWriting(published);

        // Read-only properties refuse Set: the component writes them with DirectSet.
        DirectSet(Property("rFrames"), count);
        if (frames > 1 && timestamp > firstTimestamp)
            DirectSet(Property("rRate"),
                      (frames - 1) * 1e6 / static_cast<double>(timestamp - firstTimestamp));
    }

  private:
    // Whether a restart was asked for since the last element; the request is taken.
    bool takeRestart() {
        TARNMutexGuard guard(restartLock);
        const bool asked = restartAsked;
        restartAsked = false;
        return asked;
    }

    long count = 0;
    long frames = 0;
    long firstTimestamp = 0;
    TARNMutex restartLock;
    bool restartAsked = false;
};

// The tables, each ended by an all-zero record. Named apart from the component's members
// "inputs", "outputs", "properties" and "actions": inside FrameCounter::model's definition
// below, those names would mean the members.
TARNInputDefinition counterInputs[] = {
    // name, (reserved), accepted types (null: any), reader kind (NeverSkippingReader: the
    // writer waits for this reader), subsampling (1: every element)
    {"in", nullptr, nullptr, NeverSkippingReader, 1},
    {},
};

TARNOutputDefinition counterOutputs[] = {
    // name, (reserved), type, items per element (1: one value; any other count makes the
    // output a vector), ring length, subsampling, (reserved)
    {"count", 0, TARNTypeInfo(TARNTypeInfo::Integer64), 1, 16, 1, 0},
    {},
};

TARNPropertyDefinition counterProperties[] = {
    // name, default value (its type is the property's), unit, must be set before start,
    // changeable while running, read-only, enumeration values locked, path checks
    {"step", new TARNPropertyValue(1L), nullptr, false, true, false, false, 0},
    {"rFrames", new TARNPropertyValue(0L), nullptr, false, false, true, false, 0},
    {"rRate", new TARNPropertyValue(0.0), nullptr, false, false, true, false, 0},
    {},
};

TARNActionDefinition counterActions[] = {
    // name, what it runs (the table owns the record: it is made with new, and deleted when
    // the package unloads), may run while the component is not running (0: only while it
    // runs; a resting counter has nothing to restart)
    {"restart", new TARNActionCallbacks{&FrameCounter::Restart, nullptr}, 0},
    {},
};

TARNComponentDefinition FrameCounter::model = {
    .name = "frame_counter",
    .version = "1.0",
    .factory = &FrameCounter::Instantiate,
    .reserved = {nullptr, nullptr},
    .destroyCount = 0,
    .nbInputs = TARNComponentDefinition::NotCounted,
    .inputs = counterInputs,
    .nbOutputs = TARNComponentDefinition::NotCounted,
    .outputs = counterOutputs,
    .nbProperties = TARNComponentDefinition::NotCounted,
    .properties = counterProperties,
    .nbActions = TARNComponentDefinition::NotCounted,
    .actions = counterActions,
    .priority = 128,
    .threadingModels = TARNComponentDefinition::Threaded,
    .threaded = true,
};

}  // namespace

TARN_MODULE_DECLARATION(FrameCounter, TARNComponent, "frame_counter", "1.0", nullptr, &FrameCounter::model,
                        nullptr, nullptr);
