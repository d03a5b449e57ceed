// A module without a thread of its own that records what reaches its input: its writer
// runs it for every element published, on the writer's thread, and it keeps a copy of
// what it read (the ring's element is reused once given back).
#pragma once

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "tarn/dataflow/input.hpp"
#include "tarn/dataflow/io_element.hpp"
#include "tarn/dataflow/module.hpp"
#include "tarn/engine/event.hpp"

// One element as the sink received it.
struct SinkRecord {
    long timestamp = 0;
    int vectorSize = 0;
    long frequency = 0;
    int misc1 = 0;
    int misc2 = 0;
    // Of an IPL image: its header's size, row step and channel sequence, and its pixels
    // row by row (widthStep bytes each).
    int width = 0;
    int height = 0;
    int widthStep = 0;
    std::string channels;
    // The image's pixels, or the element's used bytes.
    std::vector<unsigned char> bytes;
};

// What a reader received, copied (the ring's element is reused once given back), kept for
// the test thread.
class SinkRecords {
  public:
    static SinkRecord RecordOf(TARNIOElt& element) {
        SinkRecord record;
        record.timestamp = element.Timestamp();
        record.vectorSize = element.VectorSize();
        record.frequency = element.Frequency();
        record.misc1 = element.Misc1();
        record.misc2 = element.Misc2();
        if (element.Type().type & TARNTypeInfo::IplImage) {
            const _IplImage* image = element.IplImage();
            record.width = image->width;
            record.height = image->height;
            record.widthStep = image->widthStep;
            record.channels.assign(image->channelSeq, strnlen(image->channelSeq, 4));
            const auto* pixels = reinterpret_cast<const unsigned char*>(image->imageData);
            record.bytes.assign(pixels, pixels + static_cast<long>(image->height) * image->widthStep);
        } else {
            const auto* data = static_cast<const unsigned char*>(element.Data());
            record.bytes.assign(data, data + element.IOEltUsedSizeInBytes(nullptr));
        }
        return record;
    }

    void Add(TARNIOElt& element) {
        SinkRecord record = RecordOf(element);
        std::lock_guard lock(recordsLock);
        records.push_back(std::move(record));
    }
    std::vector<SinkRecord> Records() const {
        std::lock_guard lock(recordsLock);
        return records;
    }
    std::size_t Count() const {
        std::lock_guard lock(recordsLock);
        return records.size();
    }
    // Waits, at most `deadline` microseconds, until `count` elements arrived.
    bool AwaitCount(std::size_t count, long deadline = 10'000'000) const {
        TARNEvent never;
        for (long waited = 0; Count() < count; waited += 2'000) {
            if (waited > deadline) return false;
            never.Wait(2'000);
        }
        return true;
    }

  private:
    mutable std::mutex recordsLock;
    std::vector<SinkRecord> records;
};

class RecordingSink : public TARNModule, public SinkRecords {
  public:
    explicit RecordingSink(const char* name) : TARNModule(name, false, false) {
        const TARNInputDefinition definition{"in", nullptr, nullptr, 0, 1};
        input = NewInput(definition, nullptr);
    }

    void SequentialCore(TARNInput* from) override {
        TARNIOElt* element = StartReading(*from);
        if (element != nullptr) Add(*element);
    }

    TARNInput* input;
};
