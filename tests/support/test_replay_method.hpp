// A replay method for the tests, reading what TestRecordMethod wrote: each record of a
// ".trec" file is one serialised element, filled into the output's element on replay.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dataflow/io_element_implementation.hpp"
#include "tarn/recording/record_replay_method.hpp"

// The records of a ".trec" file, in order; empty when it cannot be read.
inline std::vector<std::vector<unsigned char>> ReadTrecFile(const std::string& path) {
    std::vector<std::vector<unsigned char>> records;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return records;
    uint32_t length = 0;
    while (std::fread(&length, sizeof length, 1, file) == 1) {
        std::vector<unsigned char> block(length);
        if (std::fread(block.data(), 1, length, file) != length) break;
        records.push_back(std::move(block));
    }
    std::fclose(file);
    return records;
}

class TestReplayMethod : public TARNRecordReplayMethod {
  public:
    TestReplayMethod(TARNRecordReplayMethodDefinition& definition, TARNOutput& replayed, bool copyMode = false)
        : TARNRecordReplayMethod(definition, nullptr, replayed, false, copyMode) {}

    // Reads the ".trec" file of the replayed stream (its file path, found at birth).
    void BirthReplay() override { records = ReadTrecFile(std::string(FilePath()) + ".trec"); }

    bool ReplayIOElt(TARNIOElt& element, int recordNumber, const char*, TARNTypeInfo&) override {
        if (recordNumber < 0 || recordNumber >= static_cast<int>(records.size())) return false;
        const auto& block = records[static_cast<std::size_t>(recordNumber)];
        return static_cast<TARNIOEltImplementation&>(element).Deserialize(block.data(), block.size(), false) == 0;
    }

    void RecordIOElt(TARNIOElt&) override {}
    long RecordTimeInfo(TARNIOElt&) override { return 0; }
    void BirthRecord() override {}
    void DeathRecord() override {}

    std::vector<std::vector<unsigned char>> records;
};
