// The HMI keys handler: where the engine writes the state of the HMI keys.
#pragma once

// Registered with the engine from construction to destruction (or between Register and
// Unregister); the engine writes keysState and the two timestamps of the registered
// handler. What the bits of keysState mean is the engine's.
class TARNHMIKeysHandler {
  public:
    // keysState 0x600, both timestamps -1; registers.
    TARNHMIKeysHandler();
    // Unregisters; an exception there ends the process.
    virtual ~TARNHMIKeysHandler();

    TARNHMIKeysHandler(const TARNHMIKeysHandler&) = delete;
    TARNHMIKeysHandler& operator=(const TARNHMIKeysHandler&) = delete;

    void Register();
    void Unregister();
    // Has the engine read keysState again; answers what the engine answers.
    unsigned long UpdateKeysState();
    // Has the engine write the first and last timestamps again.
    void UpdateFirstLastTimestamp();

    unsigned long keysState;
    // Microseconds; -1 until the engine writes them.
    long firstTimestamp;
    long lastTimestamp;
};
