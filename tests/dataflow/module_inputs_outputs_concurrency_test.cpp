// An output handing elements to inputs of other modules on other threads, through its
// ring and its element buffers: nothing is copied, nothing a NeverSkippingReader input
// needs is lost, and a SamplingReader input only ever sees newer elements.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "connection_by_hand.hpp"
#include "dataflow/input_implementation.hpp"
#include "dataflow/io_element_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "module_fixture.hpp"
#include "tarn/dataflow/module.hpp"

namespace {

constexpr int Elements = 300;
// A reader that waits this long (microseconds) for an element fails instead of hanging.
constexpr long ReadTimeout = 10'000'000;

// Reads until the writer's last element arrived, or until the writer or a reader failed
// (the sampling reader never waits: it would spin for ever); each value read is handed to
// `seen`.
template <class Seen>
void ReadUntilLast(TARNInput& input, std::atomic<bool>& failed, const std::atomic<bool>& writerGaveUp,
                   Seen seen) {
    try {
        for (int value = 0; value != Elements && !writerGaveUp && !failed;) {
            TARNListIterator position = TakeByHand(input, ReadTimeout);
            TARNIOEltImplementation& element = TARNIOMonitorImplementation::Element(position);
            value = element.Integer32(0)[0];
            // The whole buffer was written before publication.
            if (element.Integer32(0)[3] != value || element.VectorSize() != 4) failed = true;
            seen(value);
            GiveBackByHand(input, position);
        }
    } catch (int) {
        failed = true;
    }
}

}  // namespace

TEST_F(ModuleTest, AnOutputFeedsInputsOnOtherThreads) {
    TARNModule writer("cam", false, false);
    TARNModule lossless("record", false, false);
    TARNModule sampling("view", false, false);
    TARNOutputDefinition definition{};
    definition.name = "out";
    definition.type = TARNTypeInfo(TARNTypeInfo::Integer32);
    definition.bufferSize = 4;
    definition.fifoSize = 3;
    definition.subsampling = 1;
    TARNOutput* out = writer.NewOutput(definition, nullptr);
    const TARNInputDefinition neverSkipping{"in", nullptr, nullptr, NeverSkippingReader, 1};
    const TARNInputDefinition newest{"in", nullptr, nullptr, SamplingReader, 1};
    TARNInput* all = lossless.NewInput(neverSkipping, nullptr);
    TARNInput* latest = sampling.NewInput(newest, nullptr);
    ConnectByHand(*out, *all);
    ConnectByHand(*out, *latest);
    auto& ring = *static_cast<TARNOutputImplementation*>(out)->ring;
    // A writer never woken by the lossless reader's releases gives up instead of hanging,
    // and so do the readers then (the sampling one never waits).
    ring.SetWriterTimeout(ReadTimeout);

    std::atomic<bool> failed{false};
    std::atomic<bool> writerGaveUp{false};
    std::vector<int> everything;
    std::vector<int> sampled;
    std::thread readAll(
        [&] { ReadUntilLast(*all, failed, writerGaveUp, [&](int value) { everything.push_back(value); }); });
    std::thread readLatest(
        [&] { ReadUntilLast(*latest, failed, writerGaveUp, [&](int value) { sampled.push_back(value); }); });
    try {
        for (int value = 1; value <= Elements; ++value) {
            TARNListIterator slot = ring.StartWriting();
            TARNIOElt& element = (*out->Monitor())[slot];
            for (int i = 0; i < 4; ++i) element.Integer32(i)[0] = value;
            element.VectorSize() = 4;
            ring.StopWriting(slot, false);
        }
    } catch (int) {
        writerGaveUp = true;
    }
    readAll.join();
    readLatest.join();

    ASSERT_FALSE(writerGaveUp) << "the writer waited for space in vain";
    EXPECT_FALSE(failed);
    ASSERT_EQ(everything.size(), static_cast<size_t>(Elements));
    for (int i = 0; i < Elements; ++i) EXPECT_EQ(everything[i], i + 1);
    for (size_t i = 1; i < sampled.size(); ++i) EXPECT_GE(sampled[i], sampled[i - 1]);
    EXPECT_EQ(sampled.back(), Elements);
}

// A reading call that leaves while the engine rebuilds its input acknowledges the rebuild
// and stays out until it is over, so that it never reads a ring being exchanged.
TEST_F(ModuleTest, ALeavingReaderWaitsOutARebuildOfItsInput) {
    TARNInputImplementation input;
    input.reading = true;
    input.ExitStartReading();
    EXPECT_FALSE(input.reading);

    input.reading = true;
    const std::uint64_t rebuild = input.BeginRebuild();
    std::atomic<bool> left{false};
    std::thread reader([&] {
        input.ExitStartReading();
        left = true;
    });
    ASSERT_EQ(input.rebuildAcknowledgedEvent.Wait(ReadTimeout), 0);
    EXPECT_FALSE(left);
    EXPECT_TRUE(input.reading);
    input.EndRebuild(rebuild);
    reader.join();
    EXPECT_TRUE(left);
    EXPECT_FALSE(input.reading);
}
