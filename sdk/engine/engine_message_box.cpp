#include "tarn/engine/engine_message_box.hpp"

#include "tarn/runtime/message_box.hpp"

namespace TARN {
void MessageBox(const char* message, int type, int other) {
    TARNPrivate::MessageBox(message, type, other, false);
}
}  // namespace TARN

namespace TARNPrivate {
void MessageBox(const char* message, int type, int, bool fromEngine) {
    TARN::MsgBox(fromEngine ? "Tarnvel Engine" : "Tarnvel", message, type);
}
}  // namespace TARNPrivate
