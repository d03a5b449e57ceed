#include "tarn/engine/keys_handler.hpp"

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

// The engine knows the handler from its registration: neither update names it.
unsigned long TARNHMIKeysHandler::UpdateKeysState() {
    return kernel->UpdateKeys();
}

void TARNHMIKeysHandler::UpdateFirstLastTimestamp() {
    return kernel->UpdateTimestamp();
}
