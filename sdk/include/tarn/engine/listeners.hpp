// Listeners: package objects the engine calls when its run state, time, recording state or
// HMI keys change.
#pragma once

// Each listener is registered with the engine from its construction (or Register) to its
// destruction (or Unregister); the engine calls its pure operations from its own threads
// in between. Destructors always unregister, also a listener that was never registered,
// and an exception there ends the process: the engine must not keep a listener that is
// gone. Nothing here locks; the registrations are the engine's business.
//
// The engine calls through the tables by position: the pure operations come first, in the
// order declared, then the destructor.

// Called when the engine runs the graph and when it shuts it down.
class TARNRunShutdownListener {
  public:
    // Registers.
    TARNRunShutdownListener();

    TARNRunShutdownListener(const TARNRunShutdownListener&) = delete;
    TARNRunShutdownListener& operator=(const TARNRunShutdownListener&) = delete;

    virtual void CallbackRun() = 0;
    virtual void CallbackShutdown() = 0;
    virtual ~TARNRunShutdownListener();

    void Register();
    void Unregister();
};

// Called when the engine time jumps, changes speed or pauses.
class TARNTimeStateListener {
  public:
    // Registers.
    TARNTimeStateListener();
    // Does not register: the owner calls Register when it is ready to be called.
    explicit TARNTimeStateListener(int);

    TARNTimeStateListener(const TARNTimeStateListener&) = delete;
    TARNTimeStateListener& operator=(const TARNTimeStateListener&) = delete;

    virtual void CallbackTimeJumped(long newTime) = 0;
    // Thousandths of real time, 1000 real time.
    virtual void CallbackTimeSpeedChanged(int speed) = 0;
    virtual void CallbackTimePaused(bool paused) = 0;
    virtual ~TARNTimeStateListener();

    void Register();
    void Unregister();
};

// Called when the engine starts or stops recording.
class TARNRecordingStateListener {
  public:
    // Registers.
    TARNRecordingStateListener();

    TARNRecordingStateListener(const TARNRecordingStateListener&) = delete;
    TARNRecordingStateListener& operator=(const TARNRecordingStateListener&) = delete;

    virtual void CallbackRecordingStateChanged(bool recording) = 0;
    virtual ~TARNRecordingStateListener();

    void Register();
    void Unregister();
};

// What the engine calls on HMI key events; its table is the listener's whole interface.
class TARNKeysListener {
  public:
    // The engine's keys state word after the event.
    virtual void CallbackKeysChanged(unsigned long keysState) = 0;
    virtual ~TARNKeysListener() = default;
};

// The base a module derives from to hear HMI keys: a TARNKeysListener that registers
// itself.
class TARNHMIKeysListener : public TARNKeysListener {
  public:
    // Registers only when `registerNow` is true.
    explicit TARNHMIKeysListener(bool registerNow);
    ~TARNHMIKeysListener() override;
    TARNHMIKeysListener(const TARNHMIKeysListener&) = delete;
    TARNHMIKeysListener& operator=(const TARNHMIKeysListener&) = delete;

    void Register();
    void Unregister();
};
