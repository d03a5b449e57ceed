#include "engine/keys_handler.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"

using TARNPrivate::kernel;

TARNHMIKeysHandler::TARNHMIKeysHandler() : keysState(0x600), firstTimestamp(-1), lastTimestamp(-1) {
    Register();
}

TARNHMIKeysHandler::~TARNHMIKeysHandler() {
    Unregister();
}

void TARNHMIKeysHandler::Register() {
    kernel->RegisterKeysHandler(this);
}

void TARNHMIKeysHandler::Unregister() {
    kernel->UnregisterKeysHandler(this);
}

unsigned long TARNHMIKeysHandler::UpdateKeysState() {
    kernel->UpdateKeys(this);
    return keysState;
}

void TARNHMIKeysHandler::UpdateFirstLastTimestamp() {
    // The engine writes both timestamps into the registered handler; the argument of its
    // timestamp-update operation carries nothing for this call.
    kernel->UpdateTimestamp(0);
}
