#include "tarn/engine/listeners.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"

using TARNPrivate::kernel;

TARNRunShutdownListener::TARNRunShutdownListener() {
    Register();
}

TARNRunShutdownListener::~TARNRunShutdownListener() {
    Unregister();
}

void TARNRunShutdownListener::Register() {
    kernel->RegisterRunShutdownListener(this);
}

void TARNRunShutdownListener::Unregister() {
    kernel->UnregisterRunShutdownListener(this);
}

TARNTimeStateListener::TARNTimeStateListener() {
    Register();
}

TARNTimeStateListener::TARNTimeStateListener(int) {}

TARNTimeStateListener::~TARNTimeStateListener() {
    Unregister();
}

void TARNTimeStateListener::Register() {
    kernel->RegisterTimeStateListener(this);
}

void TARNTimeStateListener::Unregister() {
    kernel->UnregisterTimeStateListener(this);
}

TARNRecordingStateListener::TARNRecordingStateListener() {
    Register();
}

TARNRecordingStateListener::~TARNRecordingStateListener() {
    Unregister();
}

void TARNRecordingStateListener::Register() {
    kernel->RegisterRecordingStateListener(this);
}

void TARNRecordingStateListener::Unregister() {
    kernel->UnregisterRecordingStateListener(this);
}

TARNHMIKeysListener::TARNHMIKeysListener(bool registerNow) {
    if (registerNow) Register();
}

TARNHMIKeysListener::~TARNHMIKeysListener() {
    Unregister();
}

void TARNHMIKeysListener::Register() {
    kernel->RegisterKeysListener(this);
}

void TARNHMIKeysListener::Unregister() {
    kernel->UnregisterKeysListener(this);
}
