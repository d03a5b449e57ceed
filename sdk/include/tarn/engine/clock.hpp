// Clocks: package objects that can drive the engine's time.
#pragma once

#include "tarn/runtime/stacked_string.hpp"

// The base of a clock the engine may follow. A clock is registered with the engine from
// its construction to its destruction (or between Register and Unregister); the engine
// gives it its id on registration and calls its pure operations from its own threads at
// any time in between. The order of the virtual operations is the engine's: Register,
// Unregister, IsSynchronizable, IsReplayable, the four pure operations, the destructor.
class TARNBaseClock {
  public:
    // Copies the name (null gives the empty name), then registers the clock.
    explicit TARNBaseClock(const char* name);
    TARNBaseClock(const TARNBaseClock&) = delete;
    TARNBaseClock& operator=(const TARNBaseClock&) = delete;

    // Registration with the engine, which writes the clock's id.
    virtual void Register();
    virtual void Unregister();
    virtual bool IsSynchronizable() { return false; }
    virtual bool IsReplayable() { return false; }
    // What the engine asks of a clock it follows: its time (microseconds) and speed
    // (thousandths of real time), and to move them.
    virtual long ClockCurrentTime() = 0;
    virtual void ClockSetCurrentTime(long time) = 0;
    virtual int ClockTimeSpeed() = 0;
    virtual void ClockSetTimeSpeed(int speed) = 0;
    // Unregisters the clock. The engine must not keep a clock that is gone, so an
    // exception here ends the process.
    virtual ~TARNBaseClock();

    unsigned char GetClockID() const { return clockID; }
    const char* GetClockName() const { return clockName.c_str(); }
    // Unregisters (virtual Unregister), takes the new name (null gives the empty name) and
    // registers again (virtual Register), which gives the clock a new id.
    void RenameClock(const char* name);

    // The engine's absolute speed, thousandths of real time.
    int GetAbsoluteTimeSpeed();
    // Sets the engine's absolute speed in the name of this clock.
    void SetAbsoluteTimeSpeed(int speed);

  protected:
    // Written by the engine when the clock is registered.
    unsigned char clockID = 0;
    TARNStackedString<40> clockName;
};
