#include "tarn/engine/engine_recording.hpp"

#include "engine/kernel.hpp"
#include "engine/kernel_pointer.hpp"

using TARNPrivate::kernel;

namespace TARN {
bool IsRecording() {
    return kernel->IsRecording();
}
bool IsReplaying() {
    return kernel->IsReplaying();
}
void StartRecording() {
    kernel->SetRecording(true);
}
void StopRecording() {
    kernel->SetRecording(false);
}
bool Record(const char* a, const char* b, const char* c, bool d, bool e) {
    return kernel->RecordTo(a, b, c, d, e);
}
bool Replay(const char* path) {
    return kernel->Replay(path);
}
bool Copy(const char* from, const char* to) {
    return kernel->Copy(from, to);
}
long GetFirstTimestamp() {
    return kernel->GetFirstTimestamp();
}
long GetLastTimestamp() {
    return kernel->GetLastTimestamp();
}
int GetKeysState() {
    return kernel->GetKeysState();
}
TARNEvent* GetShutdownEvent() {
    return kernel->GetShutdownEvent();
}
int GetNbFifoOverflows() {
    return kernel->GetNbFifoOverflows();
}

void Play() {
    kernel->Play();
}
void Stop() {
    kernel->Stop();
}
void Pause() {
    kernel->Pause();
}
void Next() {
    kernel->Next();
}
void Previous() {
    kernel->Previous();
}
void Record() {
    kernel->Record();
}
void Go2Index(int index) {
    kernel->Go2Index(index);
}
void Go2PreviousIndex() {
    kernel->Go2PreviousIndex();
}
void Go2NextIndex() {
    kernel->Go2NextIndex();
}
}  // namespace TARN

namespace TARNPrivate {
int GetKeysState() {
    return kernel->GetKeysState();
}
void InitializeSession() {
    kernel->InitializeSession();
}
void StopSendingData() {
    kernel->StopSendingData();
}
void StopReplaying() {
    kernel->StopReplaying();
}
void FromNowOnDataAreUnsorted() {
    kernel->FromNowOnDataAreUnsorted();
}
void SignalRecordSkipped() {
    kernel->SignalRecordSkipped();
}
void SignalFifoOverflow(void* output) {
    kernel->SignalFifoOverflow(output);
}
int GetNbFifoOverflows() {
    return kernel->GetNbFifoOverflows();
}
}  // namespace TARNPrivate
