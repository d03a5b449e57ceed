#include "tarn/engine/engine_time.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"

using TARNPrivate::kernel;

namespace TARN {
long GetSystemAccurateTiming() {
    return kernel->GetSystemAccurateTiming();
}
bool IsPaused() {
    return kernel->IsPaused();
}
long TimeReference() {
    return kernel->TimeReference();
}
int TimeSpeed() {
    return kernel->TimeSpeed();
}
int TimeState() {
    return kernel->TimeState();
}
void SetTimeAdapt(int adapt) {
    kernel->SetTimeAdapt(adapt);
}
void SetCurrentTime(long time) {
    kernel->SetCurrentTime(time);
}
long CurrentTime(bool a, bool b) {
    return kernel->CurrentTime(a, b);
}
void SetTimeSpeed(int speed) {
    kernel->SetTimeSpeed(speed);
}
}  // namespace TARN

namespace TARNPrivate {
unsigned char GetCurrentClockID() {
    return kernel->GetCurrentClockID();
}
unsigned char GetMasterCurrentClockID() {
    return kernel->GetMasterCurrentClockID();
}
bool RegisterClock(TARNBaseClock* clock, unsigned char* id) {
    return kernel->RegisterClock(clock, id);
}
void UnregisterClock(TARNBaseClock* clock) {
    kernel->UnregisterClock(clock);
}
int GetAbsoluteTimeSpeed() {
    return kernel->GetAbsoluteTimeSpeed();
}
void SetAbsoluteTimeSpeed(int speed, int flags) {
    kernel->SetAbsoluteTimeSpeed(speed, flags);
}
void SignalMasterClockChanged(unsigned char id) {
    kernel->SignalMasterClockChanged(id);
}
long SynchClockCurrentTime() {
    return kernel->SynchClockCurrentTime();
}
long GetVirtualClockTimebase() {
    return kernel->GetVirtualClockTimebase();
}
long GetVirtualClockTimebaseX() {
    return kernel->GetVirtualClockTimebaseX();
}
void InitVirtualClockTime(long time, long base, int speed) {
    kernel->InitVirtualClockTime(time, base, speed);
}
void UninitVirtualClockTime() {
    kernel->UninitVirtualClockTime();
}
}  // namespace TARNPrivate
