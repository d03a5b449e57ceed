// A player for the replay tests: it queues records into a replay method's queue the way the
// engine's player does, one TARNReplayAsyncCommData per record.
#pragma once

#include "dataflow/fast_io.hpp"
#include "tarn/recording/record_replay_method.hpp"
#include "tarn/recording/recorder.hpp"

class TestPlayer : public TARNPlayer {
  public:
    TestPlayer() = default;

    // Queues one record, waiting while the queue is full (the replay thread is a
    // never-skipping reader).
    static void Queue(TARNRecordReplayMethod& method, int recordNumber, long timeOfIssue, long timestamp,
                      bool immediate = false) {
        auto& queue = method.ReplayQueue();
        TARNListIterator position = queue.StartWriting();
        TARNReplayAsyncCommData& record = TARNFastIO<TARNReplayAsyncCommData>::Element(position);
        record.recordNumber = recordNumber;
        record.timeOfIssue = timeOfIssue;
        record.timestamp = timestamp;
        record.immediate = immediate;
        queue.StopWriting(position, false);
    }
};
