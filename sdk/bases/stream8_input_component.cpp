#include "tarn/bases/stream8_input_component.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

#include "tarn/dataflow/io_element.hpp"
#include "tarn/engine/engine_time.hpp"
#include "tarn/engine/type_filter.hpp"

namespace {

constexpr const char* FifoError = "Error while initializing the FIFO";

// Bit 30 warnings, bit 31 errors of a region state.
bool failed(int state) {
    return (state & (TARNConstRBRegionWarnings | TARNConstRBRegionErrors)) != 0;
}

}  // namespace

TARNInputDefinition TARNStream8InputComponent::InputDefinitions[2] = {
    {"iStream8", nullptr, &TARN::FilterStream8, 0, 1},
    {},
};

TARNPropertyDefinition TARNStream8InputComponent::PropertyDefinitions[2] = {
    TARNPropertyDefinition("pInputFIFOSize", new TARNPropertyValue(1000L), nullptr, false, false, false, true),
    TARNPropertyDefinition(),
};

TARNStream8InputComponent::TARNStream8InputComponent(const char* name, TARNComponentDefinition& definition)
    : TARNComponent(name, definition) {}

TARNStream8InputComponent::~TARNStream8InputComponent() {
    Close();
}

void TARNStream8InputComponent::Dynamic() {
    NewInput(InputDefinitions[0], nullptr);
    NewProperty(PropertyDefinitions[0], nullptr);
}

void TARNStream8InputComponent::Birth() {
    fifoData = nullptr;
    fifoTimestamps = nullptr;
    fifoTimesOfIssue = nullptr;
    long size = 0;
    GetProperty("pInputFIFOSize", size);
    Initialize(size);
}

void TARNStream8InputComponent::Death() {
    Close();
}

void TARNStream8InputComponent::Initialize(long size) {
    Close();
    // The region counts in int: a larger size would be cut to another one.
    if (size < 1 || size > INT_MAX) Error(FifoError, 1, 0);
    if (failed(fifoRegion.Init(static_cast<int>(size), 0, 0))) Error(FifoError, 1, 0);
    fifoData = new unsigned char[static_cast<std::size_t>(size)];
    fifoTimestamps = new long[static_cast<std::size_t>(size)];
    fifoTimesOfIssue = new long[static_cast<std::size_t>(size)];
}

bool TARNStream8InputComponent::Close() {
    delete[] fifoData;
    delete[] fifoTimestamps;
    delete[] fifoTimesOfIssue;
    fifoData = nullptr;
    fifoTimestamps = nullptr;
    fifoTimesOfIssue = nullptr;
    return true;
}

void TARNStream8InputComponent::Core() {
    TARNIOElt* element = StartReading(Input("iStream8"));
    if (element == nullptr) return;
    if (TARN::TimeSpeed() < 0) fifoRegion.Reset();
    const int count = element->VectorSize();
    if (count < 1) return;
    TARNRBRegion pushed;
    const int state = fifoRegion.Push(count, pushed, true);
    if (failed(state)) Error(TARNRBRegion::StateToString(state), 1, 0);

    const int fifoSize = fifoRegion.FifoSize();
    const int n = std::min(pushed.Size(), count);
    const unsigned char* bytes = element->Stream8();
    const int first = std::min(n, fifoSize - pushed.Offset());
    std::memcpy(fifoData + pushed.Offset(), bytes, static_cast<std::size_t>(first));
    std::memcpy(fifoData, bytes + first, static_cast<std::size_t>(n - first));

    const bool spread = (element->Type().type & TARNTypeInfo::CarriesFrequency) != 0 && element->Frequency() != 0;
    const long step = spread ? 1000000000L / element->Frequency() : 0;
    for (int j = 0; j < pushed.Size(); ++j) {
        const int position = (pushed.Offset() + j) % fifoSize;
        fifoTimestamps[position] = element->Timestamp() + j * step;
        fifoTimesOfIssue[position] = element->TimeOfIssue();
    }
    ProcessStream8Data(fifoRegion, fifoData, fifoTimestamps, fifoTimesOfIssue);
}
