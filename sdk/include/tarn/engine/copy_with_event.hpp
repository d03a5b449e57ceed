// A memory copy that tells a waiting thread when it is done.
#pragma once

class TARNEvent;

namespace TARN {
// Copies `size` bytes like TARN::Memcpy, then sets `done` when it is given. Returns `to`.
void* Memcpy(void* to, const void* from, long size, TARNEvent* done);
}  // namespace TARN
