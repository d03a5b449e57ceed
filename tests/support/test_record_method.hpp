// A record method for the tests: each record is the element serialised (format 102) behind
// its byte count, written through the record file writer to "<file path>.trec", so that
// its completion gives the element back. Tests can watch and disturb each record.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "dataflow/io_element_implementation.hpp"
#include "tarn/recording/record_file_writer.hpp"
#include "tarn/recording/record_replay_method.hpp"

// The definition the test methods share: format "trec", properties none, the trigger
// values given.
inline TARNRecordReplayMethodDefinition TestMethodDefinition(int bufferTime = 0, int bufferSize = 0,
                                                              int releaseTime = 0, int releaseSize = 0,
                                                              int heldLimit = 1) {
    TARNRecordReplayMethodDefinition definition{};
    definition.name = "trec";
    definition.triggerBufferTime = bufferTime;
    definition.triggerBufferSize = bufferSize;
    definition.triggerReleaseTime = releaseTime;
    definition.triggerReleaseSize = releaseSize;
    definition.heldElementLimit = heldLimit;
    return definition;
}

class TestRecordMethod : public TARNRecordReplayMethod {
  public:
    TestRecordMethod(TARNRecordReplayMethodDefinition& definition, TARNRecorder& recorder, TARNOutput& recorded,
                     bool copyMode = false)
        : TARNRecordReplayMethod(definition, &recorder, recorded, true, copyMode) {}

    void BirthRecord() override { writer.Open((std::string(FilePath()) + ".trec").c_str(), this, 0); }
    void DeathRecord() override { writer.Close(); }

    // Writes the record, unless `beforeWrite` throws; the write's completion gives the
    // element back, unless `deferCompletion` keeps it for the test to Complete later.
    void RecordIOElt(TARNIOElt& element) override {
        if (beforeWrite) beforeWrite(element);
        {
            std::lock_guard lock(m_lock);
            timestamps.push_back(element.Timestamp());
            firstWords.push_back(FirstWord(element));
        }
        auto& implementation = static_cast<TARNIOEltImplementation&>(element);
        const unsigned int size = implementation.Serialize(nullptr, 0);
        std::vector<unsigned char> block(size);
        implementation.Serialize(block.data(), size);
        const uint32_t length = size;
        writer.Write(&length, sizeof length, nullptr);
        if (deferCompletion) {
            writer.Write(block.data(), static_cast<int>(size), nullptr);
            std::lock_guard lock(m_lock);
            deferred.push_back(&element);
            pending.fetch_add(1);
            return;
        }
        writer.Write(block.data(), static_cast<int>(size), &element);
        if (afterWrite) afterWrite(element);
    }
    long RecordTimeInfo(TARNIOElt&) override { return 7; }
    // With `copyTriggered`, triggered elements are copied before they are written.
    bool DoProcessBufferItem(TARNIOElt&) override { return copyTriggered.load(); }
    bool ReplayIOElt(TARNIOElt&, int, const char*, TARNTypeInfo&) override { return false; }

    // What identifies an element in the tests: its first 32-bit word of payload (for an
    // IPL image, of its pixels).
    static int FirstWord(TARNIOElt& element) {
        if (element.Data() == nullptr) return -1;
        if (element.Type().type & TARNTypeInfo::IplImage) {
            const _IplImage* image = static_cast<const _IplImage*>(element.Data());
            return *reinterpret_cast<const int*>(image->imageData);
        }
        return *static_cast<const int*>(element.Data());
    }

    std::vector<int> FirstWords() const {
        std::lock_guard lock(m_lock);
        return firstWords;
    }
    std::vector<long> Timestamps() const {
        std::lock_guard lock(m_lock);
        return timestamps;
    }
    // The elements whose completion was deferred and that are not given back yet, those
    // a CompleteDeferred in progress has taken included.
    std::size_t DeferredCount() const { return pending.load(); }
    // Gives back every element whose completion was deferred.
    void CompleteDeferred() {
        std::vector<TARNIOElt*> elements;
        {
            std::lock_guard lock(m_lock);
            elements.swap(deferred);
        }
        for (TARNIOElt* element : elements) {
            Unlock(*element);
            pending.fetch_sub(1);
        }
    }

    TARNRRMFileWriter writer;
    std::function<void(TARNIOElt&)> beforeWrite;
    std::function<void(TARNIOElt&)> afterWrite;
    bool deferCompletion = false;
    std::atomic<bool> copyTriggered{false};

  private:
    mutable std::mutex m_lock;
    std::vector<long> timestamps;
    std::vector<int> firstWords;
    std::vector<TARNIOElt*> deferred;
    std::atomic<std::size_t> pending{0};
};
