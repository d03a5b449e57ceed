// A small component on the 8-bit stream input/output base: it consumes a set number of
// bytes of its FIFO per call and records the FIFO as it was handed over; with `forward`
// it consumes everything held and sends it on, stamped with its first byte's time.
#pragma once

#include <vector>

#include "tarn/bases/stream8_io_component.hpp"

class Stream8TestComponent : public TARNStream8IOComponent {
  public:
    explicit Stream8TestComponent(const char* name) : TARNStream8IOComponent(name, Model()) {}

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "stream8Test";
            definition.version = "1.0";
            definition.threadingModels = TARNComponentDefinition::Threaded;
            return definition;
        }();
        return model;
    }

    // The FIFO's held bytes with their times, in order, as handed to the last call.
    struct Held {
        int offset;
        std::vector<unsigned char> bytes;
        std::vector<long> timestamps;
        std::vector<long> timesOfIssue;
    };

    void ProcessStream8Data(TARNRBRegion& region, unsigned char* data, long* timestamps,
                            long* timesOfIssue) override {
        Held held{region.Offset(), {}, {}, {}};
        for (int i = 0; i < region.Size(); ++i) {
            held.bytes.push_back(data[region[i]]);
            held.timestamps.push_back(timestamps[region[i]]);
            held.timesOfIssue.push_back(timesOfIssue[region[i]]);
        }
        last = held;
        if (forward && !held.bytes.empty()) {
            SendData(held.bytes.data(), static_cast<int>(held.bytes.size()), held.timestamps.front());
            region.Pop(region.Size());
            return;
        }
        region.Pop(consume);
    }

    // Written and read on the stepping thread only.
    Held last;
    int consume = 0;
    bool forward = false;
};
