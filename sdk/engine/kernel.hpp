#pragma once

#include "tarn/runtime/stacked_string.hpp"

class TARNAction;
class TARNBaseClock;
class TARNComponent;
class TARNCondition;
class TARNCoreFunction;
class TARNEvent;
class TARNEventService;
class TARNHMIKeysHandler;
class TARNInput;
class TARNKeysListener;
class TARNMutex;
class TARNOutput;
class TARNProperty;
class TARNRecordingStateListener;
class TARNRunShutdownListener;
class TARNSymRec;
class TARNSynchronizer;
class TARNTimeStateListener;

// The engine's kernel object. The engine owns it and hands it to the package through
// TARNPckInit; every engine service the SDK forwards is one of its virtual operations.
// The engine calls through the table by position, so the declaration order below IS the
// binary contract: each operation sits in its slot (the number after each declaration), the slots
// nothing names are held by ReservedSlotN placeholders, and tests/engine pins the
// positions. Never insert, remove or reorder a declaration.
//
// There is deliberately no virtual destructor: slot 0 belongs to BeginChange, and the
// package never deletes the engine's kernel.
class TARNKernel {
  public:
    // Opens the removal bracket around element removal and re-creation.
    virtual void BeginChange(const char* reason) = 0;  // 0
    // Closes the removal bracket.
    virtual void EndChange() = 0;                                                      // 1
    virtual TARNCoreFunction* FindCoreFunction(const char* name) = 0;                  // 2
    virtual TARNComponent* FindComponent(const char* name) = 0;                        // 3
    virtual bool GetBoolProperty(const char* fullName, bool* found) = 0;               // 4
    virtual long GetIntegerProperty(const char* fullName, bool* found) = 0;            // 5
    virtual double GetFloatProperty(const char* fullName, bool* found) = 0;            // 6
    virtual TARNStackedString<40> GetGlobalConfigValue(const char* key) = 0;           // 7
    virtual void SynchronizationCommand(int command) = 0;                              // 8
    virtual bool CreateComponent(const char* model, const char* name, bool flag) = 0;  // 9
    // Also runs it.
    virtual bool StartComponent(const char* name) = 0;                           // 10
    virtual bool ShutdownComponent(const char* name) = 0;                        // 11
    virtual bool KillComponent(const char* name) = 0;                            // 12
    virtual bool RenameComponent(const char* oldName, const char* newName) = 0;  // 13
    // The engine reads the registered keys handler's state again; answers the keys state.
    virtual unsigned long UpdateKeys() = 0;                                              // 14
    virtual bool AttachPaths(const char* outputPath, const char* inputPath) = 0;         // 15
    virtual bool AttachPathsVariant(const char* outputPath, const char* inputPath) = 0;  // 16
    virtual void Exit() = 0;                                                             // 17
    // The symbol's record, or null.
    virtual TARNSymRec* FindSymbol(const char* fullName) = 0;  // 18
    // New record, or null when the name is taken.
    virtual TARNSymRec* RegisterSymbol(const char* name, int kind) = 0;  // 19
    // Confirms the symbol just registered.
    virtual void ConfirmSymbol() = 0;                         // 20
    virtual void UnregisterSymbol(const char* fullName) = 0;  // 21
    // Symbol-table lock.
    virtual void LockSymbols() = 0;    // 22
    virtual void UnlockSymbols() = 0;  // 23
    // False when the full name is taken.
    virtual bool RegisterInput(TARNInput* input) = 0;                                            // 24
    virtual bool RegisterOutput(TARNOutput* output) = 0;                                         // 25
    virtual bool RegisterProperty(TARNProperty* property) = 0;                                   // 26
    virtual bool RegisterAction(TARNAction* action) = 0;                                         // 27
    virtual void RecorderInputCreated(const char* recorderName, const char* inputFullName) = 0;  // 28
    virtual void OutputCreated(const char* outputFullName, const char* moduleName, const char* registeredName,
                               int index) = 0;                                           // 29
    virtual void InputRemoving(const char* fullName) = 0;                                // 30
    virtual void OutputRemoving(const char* fullName) = 0;                               // 31
    virtual bool Parse(const char* text) = 0;                                            // 32
    virtual bool ParseFile(const char* path) = 0;                                        // 33
    virtual void ModuleStateChanged(const char* moduleName, unsigned int state) = 0;     // 34
    virtual bool AsynchParse(const char* text) = 0;                                      // 35
    virtual bool AsynchParseFile(const char* path) = 0;                                  // 36
    virtual void Run() = 0;                                                              // 37
    virtual void Shutdown() = 0;                                                         // 38
    virtual void Reset() = 0;                                                            // 39
    virtual bool RegisterPackage(const char* name, const char* path) = 0;                // 40
    virtual bool UnregisterPackage(const char* name) = 0;                                // 41
    virtual void RegisterStandardPackages() = 0;                                         // 42
    virtual bool LoadCoreFunction(const char* name, const char* model) = 0;              // 43
    virtual bool UnloadCoreFunction(const char* name) = 0;                               // 44
    virtual bool GetSynchronizer(void* owner, TARNSynchronizer** synchronizer) = 0;      // 45
    virtual bool ReleaseSynchronizer(void* owner, TARNSynchronizer** synchronizer) = 0;  // 46
    // Global state.
    virtual int GetState() = 0;                           // 47
    virtual bool IsDistributedAsMaster() = 0;             // 48
    virtual bool IsDistributedAsSlave() = 0;              // 49
    virtual void About(TARNStackedString<40>& text) = 0;  // 50
    virtual TARNMutex* GlobalOSMutex() = 0;               // 51
    // After Exit.
    virtual void Release() = 0;                                                              // 52
    virtual int GetKeysState() = 0;                                                          // 53
    virtual void InitializeSession() = 0;                                                    // 54
    virtual void RegisterKeysHandler(TARNHMIKeysHandler* handler) = 0;                       // 55
    virtual void UnregisterKeysHandler(TARNHMIKeysHandler* handler) = 0;                     // 56
    virtual void StopSendingData() = 0;                                                      // 57
    virtual void StopReplaying() = 0;                                                        // 58
    virtual bool Replay(const char* path) = 0;                                               // 59
    virtual bool Copy(const char* from, const char* to) = 0;                                 // 60
    // The engine writes the registered keys handler's first and last timestamps again.
    virtual void UpdateTimestamp() = 0;                                                      // 61
    virtual void SetRecording(bool on) = 0;                                                  // 62
    virtual void FromNowOnDataAreUnsorted() = 0;                                             // 63
    virtual bool RecordTo(const char* a, const char* b, const char* c, bool d, bool e) = 0;  // 64
    virtual bool IsPaused() = 0;                                                             // 65
    virtual bool IsReplaying() = 0;                                                          // 66
    virtual void SignalRecordSkipped() = 0;                                                  // 67
    virtual void SignalFifoOverflow(void* output) = 0;                                       // 68
    virtual long GetFirstTimestamp() = 0;                                                    // 69
    virtual long GetLastTimestamp() = 0;                                                     // 70
    virtual int GetNbFifoOverflows() = 0;                                                    // 71
    virtual bool Attach(TARNOutput& output, TARNInput& input) = 0;                           // 72
    virtual bool Detach(TARNOutput& output, TARNInput& input) = 0;                           // 73
    virtual void Play() = 0;                                                                 // 74
    virtual void Stop() = 0;                                                                 // 75
    virtual void Next() = 0;                                                                 // 76
    virtual void Previous() = 0;                                                             // 77
    virtual void Go2Index(int index) = 0;                                                    // 78
    virtual TARNProperty* FindProperty(const char* fullName) = 0;                            // 79
    virtual void Go2PreviousIndex() = 0;                                                     // 80
    virtual void Go2NextIndex() = 0;                                                         // 81
    virtual void Record() = 0;                                                               // 82
    virtual long SynchClockCurrentTime() = 0;                                                // 83
    virtual long GetVirtualClockTimebase() = 0;                                              // 84
    virtual long GetVirtualClockTimebaseX() = 0;                                             // 85
    virtual void InitVirtualClockTime(long time, long base, int speed) = 0;                  // 86
    virtual void UninitVirtualClockTime() = 0;                                               // 87
    virtual long TimeReference() = 0;                                                        // 88
    // Thousandths of real time.
    virtual int TimeSpeed() = 0;                                              // 89
    virtual void SetTimeAdapt(int adapt) = 0;                                 // 90
    virtual bool RegisterClock(TARNBaseClock* clock, unsigned char* id) = 0;  // 91
    virtual void UnregisterClock(TARNBaseClock* clock) = 0;                   // 92
    // Monotonic microseconds.
    virtual long GetSystemAccurateTiming() = 0;                                               // 93
    virtual void SetAbsoluteTimeSpeed(int speed, int flags) = 0;                              // 94
    virtual unsigned char GetMasterCurrentClockID() = 0;                                      // 95
    virtual void Report(const char* message, int level, int parameter, bool fromEngine) = 0;  // 96
    virtual TARNEvent* GetShutdownEvent() = 0;                                                // 97
    virtual void SignalMasterClockChanged(unsigned char id) = 0;                              // 98
    virtual unsigned char GetCurrentClockID() = 0;                                            // 99
    virtual void SetCurrentTime(long time) = 0;                                               // 100
    virtual long CurrentTime(bool a, bool b) = 0;                                             // 101
    virtual bool IsRecording() = 0;                                                           // 102
    virtual void SetTimeSpeed(int speed) = 0;                                                 // 103
    virtual void RegisterRunShutdownListener(TARNRunShutdownListener* listener) = 0;          // 104
    virtual void UnregisterRunShutdownListener(TARNRunShutdownListener* listener) = 0;        // 105
    virtual void RegisterTimeStateListener(TARNTimeStateListener* listener) = 0;              // 106
    // 2 counts as stopped.
    virtual int TimeState() = 0;  // 107
    // Answered after each replayed element.
    virtual bool ReplayPausePending() = 0;                                                    // 108
    virtual void SetReplayPausePending(bool pending) = 0;                                     // 109
    virtual void UnregisterTimeStateListener(TARNTimeStateListener* listener) = 0;            // 110
    virtual void RegisterRecordingStateListener(TARNRecordingStateListener* listener) = 0;    // 111
    virtual void UnregisterRecordingStateListener(TARNRecordingStateListener* listener) = 0;  // 112
    virtual void RegisterKeysListener(TARNKeysListener* listener) = 0;                        // 113
    virtual void UnregisterKeysListener(TARNKeysListener* listener) = 0;                      // 114
    virtual void* ComponentMainThread(void* argument) = 0;                                    // 115
    // Above 0: typed accessors check types and indices.
    virtual int CheckLevel() = 0;                       // 116
    virtual void* ModuleThread(void* argument) = 0;     // 117
    virtual void* ComponentThread(void* argument) = 0;  // 118
    virtual void ReservedSlot119() {}                   // 119
    virtual void ReservedSlot120() {}                   // 120
    virtual void ReservedSlot121() {}                   // 121
    // Thousandths.
    virtual int GetAbsoluteTimeSpeed() = 0;            // 122
    virtual void ReservedSlot123() {}                  // 123
    virtual void ReservedSlot124() {}                  // 124
    virtual void ReservedSlot125() {}                  // 125
    virtual void ReservedSlot126() {}                  // 126
    virtual void ReservedSlot127() {}                  // 127
    virtual void ReservedSlot128() {}                  // 128
    virtual void ReservedSlot129() {}                  // 129
    virtual TARNCondition* EngineTimeCondition() = 0;  // 130
    virtual void BeginEngineTime() = 0;                // 131
    virtual void EndEngineTime() = 0;                  // 132
    virtual void ReservedSlot133() {}                  // 133
    virtual void ReservedSlot134() {}                  // 134
    virtual void ReservedSlot135() {}                  // 135
    virtual void ReservedSlot136() {}                  // 136
    virtual void ReservedSlot137() {}                  // 137
    virtual void Pause() = 0;                          // 138
    virtual void ReservedSlot139() {}                  // 139
    virtual void ReservedSlot140() {}                  // 140
    virtual void ReservedSlot141() {}                  // 141
    virtual void ReservedSlot142() {}                  // 142
    virtual void ReservedSlot143() {}                  // 143
    virtual void ReservedSlot144() {}                  // 144
    virtual void ReservedSlot145() {}                  // 145
    virtual void ReservedSlot146() {}                  // 146
    virtual void ReservedSlot147() {}                  // 147
    virtual void ReservedSlot148() {}                  // 148
    virtual void ReservedSlot149() {}                  // 149
    virtual void ReservedSlot150() {}                  // 150
    virtual void ReservedSlot151() {}                  // 151
    virtual void ReservedSlot152() {}                  // 152
    virtual void ReservedSlot153() {}                  // 153
    virtual void ReservedSlot154() {}                  // 154
    virtual void ReservedSlot155() {}                  // 155
    virtual void ReservedSlot156() {}                  // 156
    virtual void ReservedSlot157() {}                  // 157
    virtual void ReservedSlot158() {}                  // 158
    virtual void ReservedSlot159() {}                  // 159
    virtual TARNEventService* EventService() = 0;      // 160

  protected:
    TARNKernel() = default;
    TARNKernel(const TARNKernel&) = default;
    TARNKernel& operator=(const TARNKernel&) = default;
    ~TARNKernel() = default;
};
