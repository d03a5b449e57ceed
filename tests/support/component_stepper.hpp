// Running a component's life cycle by hand, for the tests of component bases: start and
// Birth, Core passes on the test's own thread or on a thread of its own, then Die and
// Death. It does what the engine's thread body does for a threaded component, without the
// engine.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "tarn/dataflow/component.hpp"

// Starts the component (running, threaded) and runs its Birth; Finish (or destruction)
// makes it die, waits for the Core thread if one runs, runs Death and marks its main loop
// ended, as the engine does at shutdown.
class ComponentStepper {
  public:
    explicit ComponentStepper(TARNComponent& component) : component(component) {}
    ~ComponentStepper() { Finish(); }
    ComponentStepper(const ComponentStepper&) = delete;
    ComponentStepper& operator=(const ComponentStepper&) = delete;

    // The integer Birth threw, or 0.
    int Begin() {
        component.threaded = true;
        // What Start does for a threaded component, short of starting its thread: the
        // kernel would run Birth and Core there too, beside the test's own passes.
        component.dieEvent.Reset();
        component.state = (component.State() & ~(TARNModule::InError | TARNModule::Dying |
                                                  TARNModule::MainLoopEnded)) |
                          TARNModule::Running;
        begun = true;
        try {
            component.Birth();
        } catch (int code) {
            return code;
        }
        return 0;
    }
    // One Core pass on the calling thread; the integer it threw, or 0.
    int Pass() {
        try {
            component.Core();
        } catch (int code) {
            return code;
        }
        return 0;
    }
    // Core passes on a thread of their own until the component dies. A pass that fails is
    // counted and the loop goes on, as a component run by its writer carries on after
    // reporting a failure.
    void RunInThread() {
        loop = std::thread([this] {
            for (;;) {
                const int code = Pass();
                if (code == 57005) return;
                if (code != 0) failures.fetch_add(1);
            }
        });
    }
    void Finish() {
        if (!begun) return;
        begun = false;
        component.Die();
        if (loop.joinable()) loop.join();
        component.Death();
        component.state = (component.State() | TARNModule::MainLoopEnded) & ~TARNModule::Running;
    }
    int Failures() const { return failures.load(); }

  private:
    TARNComponent& component;
    std::thread loop;
    std::atomic<int> failures{0};
    bool begun = false;
};
