#include "tarn/engine/clock.hpp"

#include "tarn/engine/engine_time.hpp"

TARNBaseClock::TARNBaseClock(const char* name) : clockName(name) {
    TARNPrivate::RegisterClock(this, &clockID);
}

TARNBaseClock::~TARNBaseClock() {
    TARNPrivate::UnregisterClock(this);
}

void TARNBaseClock::Register() {
    TARNPrivate::RegisterClock(this, &clockID);
}

void TARNBaseClock::Unregister() {
    TARNPrivate::UnregisterClock(this);
}

void TARNBaseClock::RenameClock(const char* name) {
    Unregister();
    clockName = name;
    Register();
}

int TARNBaseClock::GetAbsoluteTimeSpeed() {
    return TARNPrivate::GetAbsoluteTimeSpeed();
}

void TARNBaseClock::SetAbsoluteTimeSpeed(int speed) {
    TARNPrivate::SetAbsoluteTimeSpeed(speed, clockID);
}
