// The recorded input detached while the record method still holds an element: giving that
// element back acknowledges the rebuild in progress, and neither the give-back nor the detach
// waits for the other for ever.
#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <thread>

#include "dataflow/input_implementation.hpp"
#include "dataflow/io_monitor_implementation.hpp"
#include "dataflow/output_implementation.hpp"
#include "recording_fixture.hpp"
#include "support/await_condition.hpp"
#include "tarn/engine/engine_graph.hpp"

namespace {

using RecordDetach = RecordingTest;

constexpr auto Deadline = std::chrono::seconds(10);

long Issue(int i) {
    return 1'000'000 + 10'000L * i;
}

// The threads of a test that take part in a rebuild of `input`, each ending before the test
// does, whatever ends it. One still running at the end is stuck in the handshake: the rebuild
// is then acknowledged and ended by hand, as its reader and the engine would, and the reading
// call the test stands for is left, so that a thread waiting for any of these goes on. Should
// even that not end them, the process ends here with its failure told: a thread stuck for good
// must not hang the suite.
class HandshakeThreads {
  public:
    explicit HandshakeThreads(TARNInputImplementation& input) : m_input(input) {}
    ~HandshakeThreads() {
        if (!AllReturned()) rescue();
        for (std::thread& thread : m_threads) thread.join();
    }

    HandshakeThreads(const HandshakeThreads&) = delete;
    HandshakeThreads& operator=(const HandshakeThreads&) = delete;

    void Start(std::function<void()> body) {
        std::atomic<bool>& over = m_over.emplace_back(false);
        m_threads.emplace_back([body = std::move(body), &over] {
            body();
            over = true;
        });
    }
    bool AllReturned() const {
        return std::all_of(m_over.begin(), m_over.end(),
                           [](const std::atomic<bool>& over) { return over.load(); });
    }
    // Whether every thread started returned by the deadline.
    bool ReturnBy(std::chrono::milliseconds deadline) const {
        return AwaitCondition([&] { return AllReturned(); }, deadline);
    }

  private:
    void rescue() {
        const bool rescued = AwaitCondition(
            [&] {
                m_input.reading = false;
                m_input.rebuildsAcknowledged.store(m_input.rebuildsBegun.load());
                m_input.rebuildAcknowledgedEvent.Set();
                m_input.rebuildsEnded.store(m_input.rebuildsBegun.load());
                return AllReturned();
            },
            Deadline);
        if (!rescued) {
            std::fprintf(
                stderr,
                "A thread in the rebuild of %s never returned, not even with the rebuild acknowledged "
                "and ended by hand: ending the test.\n",
                m_input.Name().c_str());
            std::fflush(nullptr);
            std::_Exit(EXIT_FAILURE);
        }
    }

    TARNInputImplementation& m_input;
    std::deque<std::atomic<bool>> m_over;
    std::deque<std::thread> m_threads;
};

// The writer completes a deferred write while the engine detaches the recorded input and
// waits for the reader's acknowledgement. The element goes back and the give-back returns:
// the reading call in progress acknowledges the rebuild itself, as it leaves (a give-back
// that acknowledged for it and waited for the rebuild's end holding the input lock, which
// the engine takes to cut the connection, kept both waiting for ever). Then the engine
// cuts the connection and ends the rebuild.
TEST_F(RecordDetach, AnElementGivenBackWhileItsInputIsDetachedLetsBothReturn) {
    TARNOutputImplementation& output = MakeSource("cam");
    auto definition = TestMethodDefinition();
    ASSERT_GT(definition.heldElementLimit, 0);
    auto& method = Make<TestRecordMethod>(definition, MakeRecorder(), output);
    auto& input = static_cast<TARNInputImplementation&>(method.Input(0));
    method.deferCompletion = true;
    method.BirthRecordX();
    PublishQuietly(output, 1, Issue(1), Issue(1));
    method.Record();
    ASSERT_EQ(method.DeferredCount(), 1u);
    ASSERT_EQ(input.heldCount, 1);

    HandshakeThreads threads(input);
    {
        // The record loop's next reading call has begun, as takeElement begins it, and has not
        // looked for a rebuild yet: the detach waits for an acknowledgement.
        TARNMutexGuard guard(input.mutex);
        input.reading = true;
    }
    std::atomic<bool> detached{false};
    threads.Start([&] { detached = TARN::Detach(output, input); });
    ASSERT_TRUE(AwaitCondition([&] { return input.beingRebuilt.load(); }, Deadline))
        << "the detach never began the rebuild of the recorded input";

    std::atomic<bool> givenBack{false};
    threads.Start([&] {
        method.CompleteDeferred();
        givenBack = true;
    });
    ASSERT_TRUE(AwaitCondition([&] { return givenBack.load(); }, Deadline))
        << "the give-back never returned: it waits for the rebuild to end holding the input lock, which "
           "the detach needs to end it";
    EXPECT_TRUE(input.beingRebuilt.load()) << "the give-back acknowledged the rebuild for the reading call";
    // The reading call leaves holding nothing: it acknowledges and waits the rebuild out.
    input.ExitStartReading();
    ASSERT_TRUE(threads.ReturnBy(Deadline)) << "the detach never returned";

    EXPECT_TRUE(detached.load());
    EXPECT_EQ(input.ConnectedOutput(), nullptr);
    EXPECT_FALSE(input.beingRebuilt.load());
    EXPECT_EQ(input.heldCount, 0);
    EXPECT_EQ(method.DeferredCount(), 0u);
    EXPECT_TRUE(output.ring->IsIdle())
        << "the element given back during the detach is still held on the ring";
    method.DeathRecordX();
}

}  // namespace
