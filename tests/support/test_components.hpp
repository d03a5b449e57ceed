// Components for the graph tests and benchmarks, declared to this program's registry (the
// host finds them with HostGraph::AddProgramModels):
//   "test_source"   output "out": writes "count" elements, element i holding the value i in
//                   its first item and the timestamp (i + 1) * "period"; then waits to die
//   "test_pass"     input "in", output "out": passes each element's first item, vector size
//                   and timestamp on
//   "test_sink"     input "in": records what it reads; can hold an element and wait
//   "test_sync"     inputs "a" and "b": reads them synchronised and records the pairs
//   "test_thrower"  input "in": its Core reads, then throws what "throws" names
//   "test_stuck"    input "in": its Core reads, then loops until released, never calling
//                   anything that dying would end, then reads its element again
// Every element carries "items" 32-bit integers (4 by default); only the first is written,
// so that large elements cost what the hand-off costs, not a copy.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "support/recording_sink.hpp"
#include "tarn/dataflow/component.hpp"

namespace test_components {

inline constexpr const char* SourceModel = "test_source";
inline constexpr const char* PassModel = "test_pass";
inline constexpr const char* SinkModel = "test_sink";
inline constexpr const char* SyncModel = "test_sync";
inline constexpr const char* ThrowerModel = "test_thrower";
inline constexpr const char* StuckModel = "test_stuck";

// What a reader received, in order.
struct Received {
    int value;
    long timestamp;
};

// Lays out the output's buffers anew when "items" differs from what they hold.
void ResizeOutput(TARNComponent& component, TARNOutput& output);

class Source : public TARNComponent {
  public:
    Source(const char* name, TARNComponentDefinition& definition);
    void Birth() override;
    void Core() override;
    // Elements written so far.
    std::atomic<long> written{0};

  private:
    TARNEvent m_never;
};

class Pass : public TARNComponent {
  public:
    Pass(const char* name, TARNComponentDefinition& definition);
    void Birth() override;
    void Core() override;
    std::atomic<long> passed{0};
};

// Records every element it reads (with "record" false only counts it). With "holdAt" at n
// (not -1), after reading the element of value n it keeps holding it and waits for
// `release` (a die ends the wait), then reads the element's first item once more.
class Sink : public TARNComponent {
  public:
    Sink(const char* name, TARNComponentDefinition& definition);
    void Core() override;
    std::vector<Received> Taken() const;
    std::atomic<long> count{0};
    std::atomic<int> lastValue{-1};
    // Monotonic nanoseconds of the first and of the latest element read, for the benchmarks.
    std::atomic<long> firstAt{0};
    std::atomic<long> lastAt{0};
    // Set while it holds the element of "holdAt" and waits.
    std::atomic<bool> holding{false};
    // The value read again after the hold; -1 before.
    std::atomic<int> valueAfterHold{-1};
    TARNEvent release;
    std::atomic<int> deaths{0};
    void Death() override { ++deaths; }

  private:
    mutable std::mutex m_lock;
    std::vector<Received> m_taken;
};

class Sync : public TARNComponent {
  public:
    Sync(const char* name, TARNComponentDefinition& definition);
    void Core() override;
    // The pairs read: the value and timestamp of "a", then of "b".
    std::vector<std::pair<Received, Received>> Pairs() const;
    std::atomic<long> count{0};

  private:
    mutable std::mutex m_lock;
    std::vector<std::pair<Received, Received>> m_pairs;
};

// "throws": 0 an Error (-5), 1 the integer 42, 2 a std::runtime_error("broken"), 3 the
// text "broken", 4 an object of no known kind, 5 a time-out (-3).
class Thrower : public TARNComponent {
  public:
    Thrower(const char* name, TARNComponentDefinition& definition);
    void Core() override;
    std::atomic<int> cores{0};
};

class Stuck : public TARNComponent {
  public:
    Stuck(const char* name, TARNComponentDefinition& definition);
    void Core() override;
    // Set once its Core is stuck; it returns once `released` is set.
    std::atomic<bool> stuck{false};
    std::atomic<bool> released{false};
    std::atomic<bool> returned{false};
    // The first item of the element it holds, read when it took it and once more when
    // released; -1 before (or when it read nothing).
    std::atomic<int> valueTaken{-1};
    std::atomic<int> valueAfterRelease{-1};
    // The whole element (an image's header and pixels, or the bytes it uses), copied when
    // it took it and once more when released; read once `stuck`, and `returned`, are set.
    SinkRecord taken;
    SinkRecord afterRelease;
};

}  // namespace test_components
