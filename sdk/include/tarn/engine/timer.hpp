// A stopwatch on the engine's accurate system clock.
#pragma once

// Microseconds of TARN::GetSystemAccurateTiming. One thread at a time.
class TARNTimer {
  public:
    // Stopped, nothing accumulated.
    TARNTimer() = default;

    // Runs from now on; what was accumulated is kept, so a Start after a Stop resumes.
    void Start();
    // Adds the span since Start and stops; a stopped timer stays as it is.
    void Stop();
    // Stopped, nothing accumulated.
    void Reset();
    // What was accumulated, plus the running span while running.
    long Time() const;
    bool IsRunning() const { return running; }

  private:
    long accumulated = 0;
    long start = 0;
    bool running = false;
};
