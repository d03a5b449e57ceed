// The engine API for recording and replay: the recorder's state, the replay transport and
// the FIFO overflow count. Each function forwards to one operation of the kernel object.
#pragma once

class TARNEvent;

namespace TARN {
bool IsRecording();
bool IsReplaying();
// Both reach the engine's one recording switch.
void StartRecording();
void StopRecording();
bool Record(const char* a, const char* b, const char* c, bool d, bool e);
bool Replay(const char* path);
bool Copy(const char* from, const char* to);
long GetFirstTimestamp();
long GetLastTimestamp();
int GetKeysState();
// Set when the engine shuts down.
TARNEvent* GetShutdownEvent();
int GetNbFifoOverflows();

void Play();
void Stop();
void Pause();
void Next();
void Previous();
void Record();
void Go2Index(int index);
void Go2PreviousIndex();
void Go2NextIndex();
}  // namespace TARN

namespace TARNPrivate {
int GetKeysState();
void InitializeSession();
void StopSendingData();
void StopReplaying();
void FromNowOnDataAreUnsorted();
void SignalRecordSkipped();
// Called by an output ring that had to drop an element nobody read; `output` is the
// output that owns the ring.
void SignalFifoOverflow(void* output);
int GetNbFifoOverflows();
}  // namespace TARNPrivate
