#include "tarn/bases/stream8_io_component.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/output.hpp"
#include "tarn/engine/engine_time.hpp"

namespace {

constexpr const char* FifoError = "Error while initializing the FIFO";

}  // namespace

TARNOutputDefinition TARNStream8IOComponent::OutputDefinitions[2] = {
    {"oStream8", 0, TARNTypeInfo(TARNTypeInfo::Stream8, "", ""), 0, 16, 1, 0},
    {},
};

TARNPropertyDefinition TARNStream8IOComponent::OutputPropertyDefinitions[2] = {
    TARNPropertyDefinition("pOutputFIFOsSize", new TARNPropertyValue(10L), nullptr, false, false, false, true),
    TARNPropertyDefinition(),
};

TARNStream8IOComponent::TARNStream8IOComponent(const char* name, TARNComponentDefinition& definition)
    : TARNStream8InputComponent(name, definition) {}

void TARNStream8IOComponent::Dynamic() {
    TARNStream8InputComponent::Dynamic();
    NewOutput(OutputDefinitions[0], nullptr);
    NewProperty(OutputPropertyDefinitions[0], nullptr);
}

void TARNStream8IOComponent::Birth() {
    outputChunkSize = 0;
    TARNStream8InputComponent::Birth();
    long chunk = 0;
    GetProperty("pOutputFIFOsSize", chunk);
    // A chunk of no byte would never finish a block.
    if (chunk < 1 || chunk > INT_MAX) Error(FifoError, 1, 0);
    Output("oStream8").AllocOutputBuffer(static_cast<int>(chunk), true);
    outputChunkSize = static_cast<int>(chunk);
}

bool TARNStream8IOComponent::SendData(const unsigned char* data, int size, long timestamp) {
    if (size < 0 || outputChunkSize < 1) {
        Report(FifoError, 2, 0);
        return false;
    }
    if (timestamp == 0) timestamp = TARN::CurrentTime(true, true);
    TARNOutput& output = Output("oStream8");
    for (int sent = 0; sent < size;) {
        const int chunk = std::min(outputChunkSize, size - sent);
        TARNIOElt* element = StartWriting(output);
        if (element == nullptr) return false;
        std::memcpy(element->Stream8(), data + sent, static_cast<std::size_t>(chunk));
        element->VectorSize() = chunk;
        element->Timestamp() = timestamp;
        StopWriting(element, false);
        sent += chunk;
    }
    return true;
}

bool TARNStream8IOComponent::SendData(const char* data, int size, long timestamp) {
    return SendData(reinterpret_cast<const unsigned char*>(data), size, timestamp);
}
