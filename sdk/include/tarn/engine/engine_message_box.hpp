// Message boxes of the engine API, titled after who raises them.
#pragma once

namespace TARN {
// A message box raised by a component: TARNPrivate::MessageBox without the engine flag.
void MessageBox(const char* message, int type, int other = 0);
}  // namespace TARN

namespace TARNPrivate {
// TARN::MsgBox titled "Tarnvel Engine" when `fromEngine`, else "Tarnvel". The third
// argument is kept for the engine's interface and not used.
void MessageBox(const char* message, int type, int other, bool fromEngine);
}  // namespace TARNPrivate
