#include "tarn/engine/timer.hpp"

#include "tarn/engine/engine_time.hpp"

void TARNTimer::Start() {
    start = TARN::GetSystemAccurateTiming();
    running = true;
}

void TARNTimer::Stop() {
    if (!running) return;
    accumulated += TARN::GetSystemAccurateTiming() - start;
    running = false;
}

void TARNTimer::Reset() {
    accumulated = 0;
    running = false;
}

long TARNTimer::Time() const {
    if (!running) return accumulated;
    return accumulated + TARN::GetSystemAccurateTiming() - start;
}
