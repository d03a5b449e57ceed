// The engine API for engine time and clocks. Timestamps and times are signed microsecond
// counts; speeds are thousandths of real time (1000 real time, 0 stopped, negative
// backwards). Each function forwards to one operation of the kernel object.
#pragma once

class TARNBaseClock;

namespace TARN {
// The engine's monotonic clock, in microseconds.
long GetSystemAccurateTiming();
bool IsPaused();
long TimeReference();
int TimeSpeed();
// 2 counts as time standing still.
int TimeState();
void SetTimeAdapt(int adapt);
void SetCurrentTime(long time);
long CurrentTime(bool a, bool b);
void SetTimeSpeed(int speed);
}  // namespace TARN

namespace TARNPrivate {
unsigned char GetCurrentClockID();
unsigned char GetMasterCurrentClockID();
bool RegisterClock(TARNBaseClock* clock, unsigned char* id);
void UnregisterClock(TARNBaseClock* clock);
int GetAbsoluteTimeSpeed();
void SetAbsoluteTimeSpeed(int speed, int flags);
void SignalMasterClockChanged(unsigned char id);
long SynchClockCurrentTime();
long GetVirtualClockTimebase();
long GetVirtualClockTimebaseX();
void InitVirtualClockTime(long time, long base, int speed);
void UninitVirtualClockTime();
}  // namespace TARNPrivate
