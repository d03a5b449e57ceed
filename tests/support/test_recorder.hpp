// A recorder for the record-method tests: the settings a recorder offers, as properties,
// and what its methods hand it (heading hints and time entries), kept in order.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "tarn/dataflow/property.hpp"
#include "tarn/recording/recorder.hpp"

class TestRecorder : public TARNRecorder {
  public:
    struct TimeEntry {
        long time;
        long timestamp;
        std::string stream;
        unsigned int recordCount;
        long timeInfo;
    };

    // With `startTime`, the recorder has "record_start_time" (so methods made afterwards get
    // "triggerAtStart").
    explicit TestRecorder(const char* name, bool startTime = false) : TARNRecorder(name) {
        recordPath = newProperty("recordPath", new TARNPropertyValue(""));
        fastRecordPath = newProperty("fastRecordPath", new TARNPropertyValue(""));
        if (startTime) recordStartTime = newProperty("record_start_time", new TARNPropertyValue(""));
        addStartTime = newProperty("add_record_start_time_to_folder_and_file_names", new TARNPropertyValue(false));
        toSubfolders = newProperty("record_to_subfolders", new TARNPropertyValue(false));
    }

    void RecordHeadingHint(const char* hint) override {
        std::lock_guard lock(m_lock);
        m_hints.emplace_back(hint);
    }
    void RecordTimeEntry(long time, long timestamp, const char* stream, unsigned int recordCount, long timeInfo,
                         TARNIOElt&) override {
        std::lock_guard lock(m_lock);
        m_entries.push_back({time, timestamp, stream, recordCount, timeInfo});
    }

    std::vector<std::string> Hints() const {
        std::lock_guard lock(m_lock);
        return m_hints;
    }
    std::vector<TimeEntry> Entries() const {
        std::lock_guard lock(m_lock);
        return m_entries;
    }

    TARNProperty* recordPath;
    TARNProperty* fastRecordPath;
    TARNProperty* recordStartTime = nullptr;
    TARNProperty* addStartTime;
    TARNProperty* toSubfolders;

  private:
    TARNProperty* newProperty(const char* name, TARNPropertyValue* value) {
        const TARNPropertyDefinition definition(name, value, nullptr, false, true);
        return NewProperty(definition, nullptr);
    }

    mutable std::mutex m_lock;
    std::vector<std::string> m_hints;
    std::vector<TimeEntry> m_entries;
};
