#include "test_components.hpp"

#include <chrono>
#include <stdexcept>

#include "dataflow/output_implementation.hpp"
#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/engine/integer_exceptions.hpp"
#include "tarn/engine/module_declaration.hpp"
#include "tarn/runtime/thread.hpp"

namespace test_components {

namespace {

constexpr unsigned int Uncounted = TARNComponentDefinition::NotCounted;
constexpr unsigned int Either = TARNComponentDefinition::Threaded | TARNComponentDefinition::Sequential;

// Element tables end with their all-zero record, and the counts say NotCounted: the host
// counts them, as the engine does.
template <class Component>
TARNModuleBase* make(const char* name, TARNComponentDefinition& definition) {
    return new Component(name, definition);
}

template <class Component>
TARNComponentDefinition model(const char* name, TARNInputDefinition* inputs, TARNOutputDefinition* outputs,
                              TARNPropertyDefinition* properties, unsigned int threadingModels) {
    TARNComponentDefinition definition{};
    definition.name = name;
    definition.version = "1.0";
    definition.factory = make<Component>;
    definition.nbInputs = inputs ? Uncounted : 0;
    definition.inputs = inputs;
    definition.nbOutputs = outputs ? Uncounted : 0;
    definition.outputs = outputs;
    definition.nbProperties = properties ? Uncounted : 0;
    definition.properties = properties;
    definition.nbActions = 0;
    definition.priority = 128;
    definition.threadingModels = threadingModels;
    definition.threaded = true;
    return definition;
}

TARNOutputDefinition integerOutput[] = {{"out", 0, TARNTypeInfo(TARNTypeInfo::Integer32), 4, 16, 1, 0}, {}};
TARNInputDefinition neverSkippingInput[] = {{"in", nullptr, nullptr, 1, 1}, {}};
TARNInputDefinition fifoInput[] = {{"in", nullptr, nullptr, 0, 1}, {}};
TARNInputDefinition twoInputs[] = {{"a", nullptr, nullptr, 1, 1}, {"b", nullptr, nullptr, 1, 1}, {}};

TARNPropertyDefinition sourceProperties[] = {{"count", new TARNPropertyValue(1000L), nullptr, false, true},
                                             {"period", new TARNPropertyValue(1000L)},
                                             {"items", new TARNPropertyValue(4L)},
                                             {}};
TARNPropertyDefinition passProperties[] = {{"items", new TARNPropertyValue(4L)}, {}};
TARNPropertyDefinition sinkProperties[] = {{"record", new TARNPropertyValue(true)},
                                           {"holdAt", new TARNPropertyValue(-1L), nullptr, false, true},
                                           {}};
TARNPropertyDefinition syncProperties[] = {{"tolerance", new TARNPropertyValue(0L)}, {}};
TARNPropertyDefinition throwerProperties[] = {{"throws", new TARNPropertyValue(0L)}, {}};

TARNComponentDefinition sourceModel =
    model<Source>(SourceModel, nullptr, integerOutput, sourceProperties, TARNComponentDefinition::Threaded);
TARNComponentDefinition passModel =
    model<Pass>(PassModel, neverSkippingInput, integerOutput, passProperties, Either);
TARNComponentDefinition sinkModel =
    model<Sink>(SinkModel, neverSkippingInput, nullptr, sinkProperties, Either);
TARNComponentDefinition syncModel = model<Sync>(SyncModel, twoInputs, nullptr, syncProperties, Either);
TARNComponentDefinition throwerModel =
    model<Thrower>(ThrowerModel, fifoInput, nullptr, throwerProperties, Either);
TARNComponentDefinition stuckModel =
    model<Stuck>(StuckModel, fifoInput, nullptr, nullptr, TARNComponentDefinition::Threaded);

long integerProperty(TARNModule& module, const char* name) {
    long value = 0;
    module.GetProperty(name, value);
    return value;
}

}  // namespace

TARN_MODULE_DECLARATION(TestSource, TARNComponent, "test_source", "1.0", nullptr, &sourceModel, nullptr,
                        nullptr);
TARN_MODULE_DECLARATION(TestPass, TARNComponent, "test_pass", "1.0", nullptr, &passModel, nullptr, nullptr);
TARN_MODULE_DECLARATION(TestSink, TARNComponent, "test_sink", "1.0", nullptr, &sinkModel, nullptr, nullptr);
TARN_MODULE_DECLARATION(TestSync, TARNComponent, "test_sync", "1.0", nullptr, &syncModel, nullptr, nullptr);
TARN_MODULE_DECLARATION(TestThrower, TARNComponent, "test_thrower", "1.0", nullptr, &throwerModel, nullptr,
                        nullptr);
TARN_MODULE_DECLARATION(TestStuck, TARNComponent, "test_stuck", "1.0", nullptr, &stuckModel, nullptr,
                        nullptr);

void ResizeOutput(TARNComponent& component, TARNOutput& output) {
    auto& writer = static_cast<TARNOutputImplementation&>(output);
    const long items = integerProperty(component, "items");
    if (writer.buffers.ElementCount() == items) return;
    writer.FreeBuffer();
    writer.AllocOutputBuffer(static_cast<int>(items), true);
}

// ---- Source ------------------------------------------------------------------------------

Source::Source(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}

void Source::Birth() {
    ResizeOutput(*this, Output("out"));
    written = 0;
}

void Source::Core() {
    if (written.load() >= integerProperty(*this, "count")) {
        // Everything written: nothing to do until the component dies (57005).
        Wait4Event(m_never, -1);
        return;
    }
    const long i = written.load();
    TARNIOElt* element = StartWriting(Output("out"), (i + 1) * integerProperty(*this, "period"));
    if (element == nullptr) return;
    element->Integer32(0)[0] = static_cast<int>(i);
    StopWriting(element);
    ++written;
}

// ---- Pass ----------------------------------------------------------------------------------

Pass::Pass(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}

void Pass::Birth() {
    ResizeOutput(*this, Output("out"));
}

void Pass::Core() {
    TARNIOElt* in = StartReading(Input("in"));
    if (in == nullptr) return;
    TARNIOElt* out = StartWriting(Output("out"), in->Timestamp());
    if (out == nullptr) return;
    out->Integer32(0)[0] = in->Integer32(0)[0];
    StopWriting(out);
    ++passed;
}

// ---- Sink ----------------------------------------------------------------------------------

Sink::Sink(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}

void Sink::Core() {
    TARNIOElt* element = StartReading(Input("in"));
    if (element == nullptr) return;
    const int value = element->Integer32(0)[0];
    bool record = true;
    GetProperty("record", record);
    if (record) {
        std::lock_guard lock(m_lock);
        m_taken.push_back({value, element->Timestamp()});
    }
    lastValue = value;
    const long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
    if (count.load() == 0) firstAt = now;
    lastAt = now;
    ++count;
    if (value != integerProperty(*this, "holdAt")) return;
    holding = true;
    Wait4Event(release, -1);
    holding = false;
    valueAfterHold = element->Integer32(0)[0];
}

std::vector<Received> Sink::Taken() const {
    std::lock_guard lock(m_lock);
    return m_taken;
}

// ---- Sync ----------------------------------------------------------------------------------

Sync::Sync(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}

void Sync::Core() {
    TARNInput* inputs[2] = {&Input("a"), &Input("b")};
    TARNIOElt* elements[2] = {nullptr, nullptr};
    if (SynchroStartReading(2, inputs, elements, integerProperty(*this, "tolerance"), nullptr) == -1) return;
    {
        std::lock_guard lock(m_lock);
        m_pairs.push_back({{elements[0]->Integer32(0)[0], elements[0]->Timestamp()},
                           {elements[1]->Integer32(0)[0], elements[1]->Timestamp()}});
    }
    ++count;
}

std::vector<std::pair<Received, Received>> Sync::Pairs() const {
    std::lock_guard lock(m_lock);
    return m_pairs;
}

// ---- Thrower -------------------------------------------------------------------------------

Thrower::Thrower(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}

namespace {
struct NoKnownKind {};
}  // namespace

void Thrower::Core() {
    if (StartReading(Input("in")) == nullptr) return;
    ++cores;
    switch (integerProperty(*this, "throws")) {
        case 0:
            Error("broken", 1, 0);
            break;
        case 1:
            throw 42;
        case 2:
            throw std::runtime_error("broken");
        case 3:
            throw "broken";
        case 5:
            throw TARN::TimeoutException;
        default:
            throw NoKnownKind{};
    }
}

// ---- Stuck ---------------------------------------------------------------------------------

Stuck::Stuck(const char* name, TARNComponentDefinition& definition) : TARNComponent(name, definition) {}

void Stuck::Core() {
    // Read from the element's data, not through the checked accessor, which asks the kernel
    // for its check level: a Core released after its kernel's end reaches no kernel itself,
    // so that the tests of that end see only what the host's thread does.
    auto firstItem = [](TARNIOElt& element) { return static_cast<const int*>(element.Data())[0]; };
    TARNIOElt* element = StartReading(Input("in"));
    if (element != nullptr) {
        taken = SinkRecords::RecordOf(*element);
        valueTaken = firstItem(*element);
    }
    stuck = true;
    // Nothing here looks at the die event: only `released` ends it.
    while (!released.load()) TARN::Sleep(1'000);
    if (element != nullptr) {
        afterRelease = SinkRecords::RecordOf(*element);
        valueAfterRelease = firstItem(*element);
    }
    returned = true;
}

}  // namespace test_components
