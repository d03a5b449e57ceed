// A small component on the timestamp-sorted reading base: it makes three inputs (the
// tests connect some of them) and records every element it is handed.
#pragma once

#include <mutex>
#include <vector>

#include "tarn/bases/sorted_start_reading_component.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/engine/event.hpp"

class SortedReadingTestComponent : public TARNSortedStartReadingComponent {
  public:
    explicit SortedReadingTestComponent(const char* name) : TARNSortedStartReadingComponent(name, Model()) {}

    static TARNComponentDefinition& Model() {
        static TARNComponentDefinition model = [] {
            TARNComponentDefinition definition{};
            definition.name = "sortedReadingTest";
            definition.version = "1.0";
            definition.threadingModels = TARNComponentDefinition::Threaded;
            return definition;
        }();
        return model;
    }

    void Dynamic() override {
        TARNSortedStartReadingComponent::Dynamic();
        for (const TARNInputDefinition& input : inputDefinitions) NewInput(input, nullptr);
    }

    struct Delivery {
        long timestamp;
        int input;
        bool unsorted;
        bool late;
        bool operator==(const Delivery&) const = default;
    };

    void ProcessSortedIOElt(TARNIOElt* element, int inputIndex, bool unsorted, bool late) override {
        std::lock_guard lock(deliveriesLock);
        deliveries.push_back({element->Timestamp(), inputIndex, unsorted, late});
    }

    std::vector<Delivery> Deliveries() {
        std::lock_guard lock(deliveriesLock);
        return deliveries;
    }
    // Waits, at most `deadline` microseconds, until `count` elements were delivered.
    bool AwaitDeliveries(std::size_t count, long deadline = 10'000'000) {
        TARNEvent never;
        for (long waited = 0; Deliveries().size() < count; waited += 2'000) {
            if (waited > deadline) return false;
            never.Wait(2'000);
        }
        return true;
    }

  private:
    const TARNInputDefinition inputDefinitions[3] = {
        {"in0", nullptr, nullptr, 0, 1}, {"in1", nullptr, nullptr, 0, 1}, {"in2", nullptr, nullptr, 0, 1}};
    std::mutex deliveriesLock;
    std::vector<Delivery> deliveries;
};
